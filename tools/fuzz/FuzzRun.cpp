#include "tools/fuzz/FuzzRun.h"

#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "tools/common/Patience.h"
#include "tools/fuzz/FuzzTarget.h"
#include "tools/fuzz/MemberCaller.h"
#include "tools/fuzz/Watchdog.h"
#include "tools/office/EventSink.h"
#include "tools/office/HResultText.h"

#include <ocidl.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <ranges>
#include <thread>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// Steps around the calls (installing the product, starting or stopping the host, a
// checkpoint) wait for the host's answers, each within a minute; a step that outlasts a few
// of those is a hang.
const auto kStepPatience = Patience::scaled(std::chrono::minutes(4));
// The host lets go of what this process released, and of the old class object after a
// restart, on its own threads a moment later.
const auto kSettlePatience = Patience::scaled(std::chrono::seconds(10));
// Checkpoints between restarts of the integration.
constexpr std::uint64_t kRestartEvery = 4;
constexpr std::size_t kInboxLimit = 64;
// Connection points and enumerators come with every call that asks for them: they may
// take only a few places, so that the objects of the library's interfaces stay.
constexpr std::ptrdiff_t kSystemOnlyPlaces = 6;
constexpr MemberCaller::Path kPaths[] = {MemberCaller::Invoke, MemberCaller::Vtable, MemberCaller::Direct};

std::uint64_t mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Whether a COM client can read the answer: a success code it knows, or a failure of a
// known facility.
bool readable(HRESULT result)
{
    const int facility = HRESULT_FACILITY(result);
    return SUCCEEDED(result)
               ? result == S_OK || result == S_FALSE
               : facility == FACILITY_NULL || facility == FACILITY_RPC || facility == FACILITY_DISPATCH ||
                     facility == FACILITY_STORAGE || facility == FACILITY_ITF || facility == FACILITY_WIN32;
}

bool reachable(const InterfaceEntry& described, std::size_t member, MemberCaller::Path path)
{
    return path == MemberCaller::Direct ? described.system
           : path == MemberCaller::Invoke ? !described.system && described.dual
                                          : !described.system && described.members[member].callableThroughVtable;
}

// Calls that once found a fault in the provider, replayed by every short pass with the
// arguments written out, so that they stay what they were whatever the generator becomes.
// The arguments of a regression case: through the vtable, one for each declared parameter
// in order (those left out and every [out] one: zero, null, or storage); through Invoke, in
// the order of the dispatch arguments (named ones first, then the others last first). Each
// is given by its type: VT_EMPTY nothing, VT_DISPATCH a null object, VT_UNKNOWN the caller's
// own object, VT_I4 the number 1, VT_BSTR an address, VT_ARRAY | VT_I4 two integers in an
// array whose features say strings.
struct RegressionCase {
    const char* member;
    MemberCaller::Path path;
    std::vector<VARTYPE> arguments;
    // Through Invoke, the DISPIDs the first arguments are named for.
    std::vector<DISPID> named;
};

// Each found a fault that is fixed in the library; the comment says which.
const RegressionCase kRegressionCases[] = {
    // A null DISPID array (and null names) went straight to the system's lookup: crash.
    {"IDispatch::GetIDsOfNames", MemberCaller::Direct, {VT_DISPATCH, VT_DISPATCH}, {}},
    // An integer array whose features say strings was copied as strings: crash. (Such a
    // descriptor is a caller's own, built by hand, as a compiler builds a static array.)
    {"IUCCContact::BatchGetContactInformation", MemberCaller::Vtable, {VT_ARRAY | VT_I4}, {}},
    // Succeeded without writing the [out] argument.
    {"IUCCLyncClient::DelegatorClients", MemberCaller::Vtable, {}, {}},
    {"IUCCLyncClient::InSuppressedMode", MemberCaller::Vtable, {}, {}},
    {"IUCCLyncClient::Initialize", MemberCaller::Vtable, {}, {}},
    {"IUCCLyncClient::Shutdown", MemberCaller::Vtable, {}, {}},
    // Succeeded with a null object (there is none to hand out).
    {"IUCCLyncClient::Utilities", MemberCaller::Vtable, {}, {}},
    {"IUCCLyncClient::Utilities", MemberCaller::Invoke, {}, {}},
    {"IUCCLyncClient::CreateApplicationRegistration", MemberCaller::Vtable, {}, {}},
    // An object named for a parameter beyond the argument count (the optional state,
    // with the callback between left out) stayed referenced for good: the system's
    // dispatch code does not release its copy of such an argument.
    {"IUCCContactManager::RemoveContactFromAllGroups", MemberCaller::Invoke, {VT_UNKNOWN, VT_DISPATCH}, {2}},
    // A string given by value for the [out] VARIANT: the system's dispatch code wrote the
    // answer back over it and freed the caller's string, which the caller freed again.
    {"IUCCContactInformationDictionary::TryGetValue", MemberCaller::Invoke, {VT_BSTR, VT_I4}, {}},
};

// Makes the call; `foreign` is the caller's own object.
CallOutcome replay(const RegressionCase& regression, const Member& member, IUnknown* face, IUnknown* foreign,
                   bool inProcess)
{
    const Watchdog::Step step(std::string("regression case ") + regression.member, 0);
    const LONG integers[] = {1, 2};
    const orvex::com::SafeArray marked = orvex::com::SafeArray::ofInt32(integers);
    const orvex::com::Bstr text(L"alice@orvex.example");
    // Zeroed: VT_EMPTY, and a null object once typed.
    std::vector<VARIANT> arguments(regression.path == MemberCaller::Vtable ? member.params.size()
                                                                          : regression.arguments.size());
    for (std::size_t at = 0; at < regression.arguments.size(); ++at) {
        switch (arguments[at].vt = regression.arguments[at]) {
        case VT_I4: arguments[at].lVal = 1; break;
        case VT_BSTR: arguments[at].bstrVal = text.get(); break;
        case VT_UNKNOWN: arguments[at].punkVal = foreign; break;
        case VT_ARRAY | VT_I4: arguments[at].parray = marked.get(); break;
        }
    }
    // The integers' array says strings until the call is over.
    const USHORT features = marked.get()->fFeatures;
    marked.get()->fFeatures = static_cast<USHORT>(features | FADF_BSTR);
    CallOutcome outcome;
    if (regression.path == MemberCaller::Direct) {
        // IDispatch::GetIDsOfNames, the one member of a system interface here.
        LPOLESTR name = const_cast<LPOLESTR>(L"Uri");
        DISPID dispid = 0;
        outcome.result = static_cast<IDispatch*>(face)->GetIDsOfNames(
            GUID_NULL, arguments[0].vt == VT_DISPATCH ? nullptr : &name, 1, 0,
            arguments[1].vt == VT_DISPATCH ? nullptr : &dispid);
    } else if (regression.path == MemberCaller::Vtable) {
        outcome = MemberCaller::throughVtable(face, member, arguments, inProcess);
    } else {
        InvokeCall call{.dispid = member.dispid, .flags = static_cast<WORD>(member.invokeKind),
                        .arguments = arguments, .named = regression.named};
        call.asDeclared = call.named.empty() && call.arguments.size() == MemberCaller::argumentCount(member);
        outcome = MemberCaller::throughInvoke(static_cast<IDispatch*>(face), member, call);
    }
    marked.get()->fFeatures = features;
    return outcome;
}

// The walk. Its pool holds the provider's objects it has been handed so far, each with the
// interfaces of the catalog (the library's and the system's) it answers QueryInterface for.
// Every object that is an event source gets a sink on each of its connection points, and
// the objects those events carry join the pool too.
class FuzzRun {
public:
    FuzzRun(const TypeCatalog& types, FuzzTarget& host, const FuzzSettings& chosen,
            const std::set<std::size_t>& answeredBefore)
        : catalog(types), target(host), settings(chosen), across(host.crossProcess()),
          calls(across ? chosen.crossCalls : chosen.calls),
          // Across processes a new object costs round trips to classify: the pool stays smaller.
          capacity(across ? 24 : 48), checkpointEvery(across ? 500 : 2000),
          // Across processes calls are slower and the stand-in's memory is measured more finely.
          privateBound(across ? 2ll << 20 : 8ll << 20), worthAsking(answeredBefore), engine(mix(chosen.seed)),
          caller(types), friendly(std::begin(FuzzTarget::kAddresses), std::end(FuzzTarget::kAddresses)),
          foreign(EventSink::create(GUID_NULL, [](DISPID, const DISPPARAMS&) {}))
    {
        friendly.insert(friendly.end(),
                        {L"15.0.0.0", L"16.0.0.0", L"me@orvex.example", L"sip:alice@orvex.example", L"@"});
    }

    ~FuzzRun() { clear(true, true); }

    bool run()
    {
        const auto began = std::chrono::steady_clock::now();
        {
            const Watchdog::Step step("start-up (counting live objects, connecting to the provider)", settings.seed,
                                      kStepPatience);
            liveAtStart = target.figures().live;
            if (!connect()) {
                return false;
            }
        }
        // The host reports presence from threads of its own while the calls go on, as the
        // host's own would; dropping them stops them.
        const std::uint64_t threads = across ? 1 : 2;
        const auto interval = std::chrono::milliseconds(across ? 20 : 2);
        std::vector<std::jthread> pushers;
        for (std::uint64_t thread = 0; thread < threads; ++thread) {
            pushers.emplace_back([this, thread, threads, interval](const std::stop_token& stopping) {
                const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                for (std::uint64_t step = thread; !stopping.stop_requested(); step += threads) {
                    target.push(step);
                    std::this_thread::sleep_for(interval);
                }
                if (initialised) {
                    CoUninitialize();
                }
            });
        }
        // Past the calls or the time asked for, the walk goes on while the regression cases
        // still want objects of their interfaces, a member met is not yet reached on each of
        // its paths (an object of a rare kind may have left the pool before the walk came to
        // it), or the interfaces expected are not all met, within as many calls again.
        const auto never = [](const auto& member) { return member.second == 0; };
        const auto unreached = [&](const auto& byPath) { return std::ranges::any_of(byPath, never); };
        const auto met = [&](const RegressionCase& regression) {
            return findCase(regression.member, regression.path).has_value();
        };
        const auto wanting = [&] {
            return (settings.shortPass &&
                    (std::ranges::any_of(counts, unreached) || !std::ranges::all_of(kRegressionCases, met))) ||
                   libraryInterfacesAnswered() < settings.interfacesExpected;
        };
        bool overtime = false;
        for (std::uint64_t index = 0, extra = 0; !dead; ++index) {
            overtime = overtime || index >= calls ||
                       (settings.seconds > 0 &&
                        std::chrono::steady_clock::now() - began > std::chrono::seconds(settings.seconds));
            if (overtime && (++extra > calls || !wanting())) {
                break;
            }
            if (!overtime && index > 0 && index % checkpointEvery == 0) {
                checkpoint(false);
            }
            // In overtime the walk looks again for what it has not reached among the objects
            // it holds now, which the pool may have taken in since it last looked.
            coverageComplete = coverageComplete && !overtime;
            call(index);
        }
        {
            const Watchdog::Step step("stopping the pushes", settings.seed, kStepPatience);
            pushers.clear();
        }
        if (!dead && settings.shortPass) {
            replayRegressions();
        }
        if (!dead) {
            checkpoint(true);
        }
        finish(std::chrono::steady_clock::now() - began);
        std::printf("fuzz: faults: %zu\n", faults.size() + failures);
        return !dead && faults.empty() && failures == 0;
    }

    // The catalog's interfaces (library and system) that some object answered, by index.
    std::set<std::size_t> answered;

private:
    struct Face {
        std::size_t index = 0; // into the catalog's interfaces
        ComPtr<IUnknown> pointer;
    };
    struct Entry {
        ComPtr<IUnknown> identity;
        std::vector<Face> faces{};
        bool pinned = false;
        // Answers no interface of the library, only system ones.
        bool systemOnly = false;
        Advised listeners{};
    };
    struct Inbox {
        std::mutex mutex;
        std::vector<ComPtr<IUnknown>> objects;
        std::atomic<std::size_t> events{0};
    };
    struct Choice {
        std::size_t entry = 0;
        std::size_t face = 0;
        std::size_t member = 0;
        MemberCaller::Path path = MemberCaller::Invoke;
    };

    bool systemAt(std::size_t index) const { return catalog.interfaces()[index].system; }

    std::size_t libraryInterfacesAnswered() const
    {
        return static_cast<std::size_t>(std::ranges::count_if(answered, [&](std::size_t at) { return !systemAt(at); }));
    }

    // Adds an object not yet in the pool; a full pool drops one of its unpinned objects.
    void add(IUnknown* object, bool pinned = false)
    {
        ComPtr<IUnknown> identity;
        if (object == nullptr || FAILED(object->QueryInterface(IID_IUnknown, &identity))) {
            return;
        }
        const auto known =
            std::ranges::find(entries, identity.Get(), [](const Entry& held) { return held.identity.Get(); });
        if (known != entries.end()) {
            known->pinned = known->pinned || pinned;
            return;
        }
        Entry entry{.identity = identity, .pinned = pinned};
        classify(entry);
        entry.systemOnly = std::ranges::all_of(entry.faces, [&](const Face& face) { return systemAt(face.index); });
        const auto placeTaken = [](const Entry& held) { return !held.pinned && held.systemOnly; };
        const bool quotaFull = entry.systemOnly && std::ranges::count_if(entries, placeTaken) >= kSystemOnlyPlaces;
        if (quotaFull || entries.size() >= capacity) {
            std::vector<std::size_t> candidates;
            for (std::size_t at = 0; at < entries.size(); ++at) {
                if (!entries[at].pinned && (!quotaFull || entries[at].systemOnly)) {
                    candidates.push_back(at);
                }
            }
            if (candidates.empty()) {
                return;
            }
            const std::size_t victim = candidates[engine() % candidates.size()];
            unadviseAll(entries[victim].listeners);
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(victim));
        }
        listen(entry);
        entries.push_back(std::move(entry));
    }

    // What waits in the inbox, to be released outside its lock: a release may wait for an
    // event in progress on a host thread, and that event may be waiting for this lock.
    std::vector<ComPtr<IUnknown>> emptyInbox()
    {
        std::lock_guard lock(inbox->mutex);
        return std::exchange(inbox->objects, {});
    }

    // Moves the objects that arrived with events into the pool.
    void takeEventObjects()
    {
        for (const auto& object : emptyInbox()) {
            add(object.Get());
        }
    }

    // Drops the unpinned objects, the pinned ones too (after a restart the old class object
    // and integration object are just objects), and those waiting in the inbox.
    void clear(bool pinnedToo, bool inboxToo)
    {
        const auto dropped = [&](const Entry& entry) { return !entry.pinned || pinnedToo; };
        for (Entry& entry : entries | std::views::filter(dropped)) {
            unadviseAll(entry.listeners);
        }
        std::erase_if(entries, dropped);
        if (inboxToo) {
            emptyInbox();
        }
    }

    void classify(Entry& entry)
    {
        // Across processes every QueryInterface the object does not answer is a round trip, and
        // the first one for each interface costs Wine a tenth of a second. So an object is
        // first asked for the interfaces some object answered before and for the system ones;
        // if it answers exactly what an earlier object answered after being asked for
        // everything, it is taken to be of that object's kind and asked no more.
        std::set<std::size_t> answeredHere;
        std::set<std::size_t> system;
        std::set<std::size_t> library;
        for (std::size_t index = 0; index < catalog.interfaces().size(); ++index) {
            (systemAt(index) ? system : library).insert(index);
        }
        probe(entry, answered, answeredHere);
        probe(entry, system, answeredHere);
        // Only IUnknown and IDispatch tell nothing of the kind: such an object may answer an
        // interface no object answered before, as a locale string does, so it is asked for all.
        const bool telling = std::ranges::any_of(answeredHere, [&](std::size_t index) {
            return catalog.interfaces()[index].iid != IID_IUnknown && catalog.interfaces()[index].iid != IID_IDispatch;
        });
        if (!across || !telling || !knownKinds.contains(answeredHere)) {
            probe(entry, worthAsking.empty() ? library : worthAsking, answeredHere);
            knownKinds.insert(answeredHere);
        }
    }

    // Asks the object for those of `indices` not yet in `answeredHere`, and adds those it
    // answers there and to its faces.
    void probe(Entry& entry, const std::set<std::size_t>& indices, std::set<std::size_t>& answeredHere)
    {
        for (const std::size_t index : std::vector<std::size_t>(indices.begin(), indices.end())) {
            ComPtr<IUnknown> face;
            if (!answeredHere.contains(index) &&
                SUCCEEDED(entry.identity->QueryInterface(catalog.interfaces()[index].iid, &face))) {
                answered.insert(index);
                answeredHere.insert(index);
                entry.faces.push_back({index, face});
            }
        }
    }

    void listen(Entry& entry)
    {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IEnumConnectionPoints> points;
        if (FAILED(entry.identity.As(&container)) || FAILED(container->EnumConnectionPoints(&points)) || !points) {
            return;
        }
        std::weak_ptr<Inbox> weakInbox = inbox;
        // Judged by the item, not the answer: Wine's proxy misreads the answer of Next across
        // processes whenever it carries one.
        for (ComPtr<IConnectionPoint> point;
             (points->Next(1, point.ReleaseAndGetAddressOf(), nullptr), point != nullptr);) {
            IID events{};
            if (FAILED(point->GetConnectionInterface(&events))) {
                continue;
            }
            // Events come on the host's threads: the objects they carry wait in the inbox.
            const auto sink = EventSink::create(events, [weakInbox](DISPID, const DISPPARAMS& parameters) {
                const auto box = weakInbox.lock();
                if (!box) {
                    return;
                }
                ++box->events;
                std::lock_guard lock(box->mutex);
                for (UINT at = 0; at < parameters.cArgs && box->objects.size() < kInboxLimit; ++at) {
                    const VARIANT& argument = parameters.rgvarg[at];
                    if ((argument.vt == VT_DISPATCH || argument.vt == VT_UNKNOWN) && argument.punkVal != nullptr) {
                        box->objects.emplace_back(argument.punkVal);
                    }
                }
            });
            DWORD cookie = 0;
            if (sink && SUCCEEDED(point->Advise(sink.Get(), &cookie))) {
                entry.listeners.emplace_back(point, cookie);
            }
        }
    }

    const Face& faceOf(const Choice& choice) const { return entries[choice.entry].faces[choice.face]; }

    // Calls `visit` with every member of every object in the pool, by every path it can be
    // called by, until `visit` answers true.
    bool forEachChoice(const std::function<bool(const Choice&)>& visit)
    {
        for (std::size_t entry = 0; entry < entries.size(); ++entry) {
            for (std::size_t face = 0; face < entries[entry].faces.size(); ++face) {
                const InterfaceEntry& described = catalog.interfaces()[entries[entry].faces[face].index];
                for (std::size_t member = 0; member < described.members.size(); ++member) {
                    for (const auto path : kPaths) {
                        if (reachable(described, member, path) && visit({entry, face, member, path})) {
                            return true;
                        }
                    }
                }
            }
        }
        return false;
    }

    // "Interface::Member", with " (path)" when `withPath`.
    std::string labelOf(const Choice& choice, bool withPath = false) const
    {
        const InterfaceEntry& described = catalog.interfaces()[faceOf(choice).index];
        const Member& member = described.members[choice.member];
        const char* suffix = member.invokeKind == INVOKE_PROPERTYPUT      ? " [put]"
                             : member.invokeKind == INVOKE_PROPERTYPUTREF ? " [putref]"
                                                                          : "";
        return described.name + "::" + member.name + suffix +
               (withPath ? std::string(" (") + MemberCaller::pathName(choice.path) + ")" : "");
    }

    void learnMembers()
    {
        coverageComplete = false;
        forEachChoice([&](const Choice& choice) {
            counts[choice.path].try_emplace(labelOf(choice), 0);
            return false;
        });
    }

    bool connect()
    {
        const auto factory = target.classObject();
        ComPtr<IUnknown> root;
        if (!factory || FAILED(factory->CreateInstance(nullptr, IID_IUnknown, &root))) {
            failure("no integration object from the class object: the provider is not running");
            return false;
        }
        add(factory.Get(), true);
        add(root.Get(), true);
        learnMembers();
        return true;
    }

    Choice choose(std::mt19937_64& random)
    {
        Choice choice;
        // Now and then the first member no call has reached yet.
        if (!coverageComplete && random() % 4 == 0) {
            if (forEachChoice([&](const Choice& candidate) {
                    choice = candidate;
                    return counts[candidate.path][labelOf(candidate)] == 0;
                })) {
                return choice;
            }
            coverageComplete = true;
        }
        // Three calls in four go to the library's own interfaces, the rest to the system ones.
        const bool wantSystem = random() % 4 == 0;
        for (int attempt = 0;; ++attempt) {
            choice.entry = random() % entries.size();
            choice.face = random() % entries[choice.entry].faces.size();
            const InterfaceEntry& described = catalog.interfaces()[faceOf(choice).index];
            if ((described.system != wantSystem && attempt < 64) || described.members.empty()) {
                continue;
            }
            choice.member = random() % described.members.size();
            choice.path = described.system ? MemberCaller::Direct
                          : random() % 2   ? MemberCaller::Vtable
                                           : MemberCaller::Invoke;
            if (!reachable(described, choice.member, choice.path)) {
                choice.path = choice.path == MemberCaller::Vtable ? MemberCaller::Invoke : MemberCaller::Vtable;
            }
            if (reachable(described, choice.member, choice.path)) {
                return choice;
            }
        }
    }

    bool call(std::uint64_t index)
    {
        const std::uint64_t seed = mix(settings.seed ^ mix(index));
        std::mt19937_64 random(seed ^ 0xC0FFEEull);
        const Choice choice = choose(random);
        const Face face = faceOf(choice);
        // Invalid types through Invoke in this process, where the system's dispatch code
        // refused them only after taking references to the objects before them.
        HostileValues::Settings chosen{.invalidTypes = !across && choice.path == MemberCaller::Invoke,
                                       .arrayObjects = across ? std::vector{foreign.Get()} : std::vector<IUnknown*>{},
                                       .friendlyTexts = friendly};
        for (const Entry& entry : entries) {
            chosen.objects.push_back(entry.identity.Get());
        }
        chosen.objects.push_back(foreign.Get());
        CallOutcome outcome;
        {
            HostileValues values(seed, chosen);
            const Watchdog::Step step(labelOf(choice, true), seed);
            outcome = caller.call(catalog.interfaces()[face.index], choice.member, choice.path, face.pointer.Get(),
                                  values, across);
        }
        return judge(choice, seed, outcome);
    }

    bool judge(const Choice& choice, std::uint64_t seed, const CallOutcome& outcome)
    {
        const std::string label = labelOf(choice, true);
        ++counts[choice.path][labelOf(choice)];
        std::vector<std::string> found = outcome.faults;
        if (!readable(outcome.result)) {
            found.push_back("unreadable HRESULT " + HResultText::hex(outcome.result));
        }
        for (const std::string& fault : found) {
            // A conversation opens in the messenger, not in Office: there is no window object to
            // hand out, the window argument is left as the caller passed it, and Office relies
            // on the success. One line for each kind of fault of a member; its seed replays it.
            if ((label.rfind("IUCCAutomation::StartConversation ", 0) != 0 ||
                 fault.find("object") == std::string::npos) &&
                faults.insert(label + ": " + fault).second) {
                std::printf("fuzz: fault: %s: %s seed=0x%016" PRIx64 "\n", label.c_str(), fault.c_str(), seed);
            }
        }
        // A failure is what a proxy answers once the process behind it is gone.
        std::string why;
        if (across && FAILED(outcome.result) && !target.alive(why)) {
            ++failures;
            std::printf("fuzz: failure: crash: the host died during %s seed=0x%016" PRIx64 ": %s\n", label.c_str(), seed,
                        why.c_str());
            dead = true;
            return false;
        }
        takeObjects(outcome.objects, seed);
        return true;
    }

    // The objects a call handed out and those that came with events join the pool.
    void takeObjects(const std::vector<ComPtr<IUnknown>>& objects, std::uint64_t seed)
    {
        const Watchdog::Step step("the walk taking in the objects handed out or carried by events", seed, kStepPatience);
        const std::size_t known = answered.size();
        takeEventObjects();
        for (const auto& object : objects) {
            if (!across || entries.size() < capacity || mix(seed) % 8 == 0) {
                add(object.Get());
            }
        }
        if (answered.size() != known) {
            learnMembers();
        }
    }

    void checkpoint(bool last)
    {
        const Watchdog::Step step("checkpoint " + std::to_string(checkpoints + 1), settings.seed, kStepPatience);
        takeEventObjects();
        ++checkpoints;
        const bool restarting = !last && checkpoints % kRestartEvery == 0;
        if (restarting) {
            // With the walk's sinks still advised, Office's sinks hear OnStateChanged and
            // OnShuttingDown; the objects those carry wait in the inbox for the next walk.
            target.restart();
        }
        clear(restarting, false);
        caller.unadviseAll();
        if (restarting && connect()) {
            takeObjects({}, settings.seed);
        }
        // Warm-up ends at the checkpoint after the first restart: across processes the host's
        // RPC runtime starts a thread for each of Office's connections to the new class object
        // then, once, some megabytes of stacks that later restarts reuse.
        if (last) {
            privateAtEnd = target.figures().privateBytes;
        } else if (checkpoints == kRestartEvery + 1) {
            privateAfterWarmUp = target.figures().privateBytes;
        }
    }

    // The first choice that calls `member` ("Interface::Member") by `path`.
    std::optional<Choice> findCase(const std::string& member, MemberCaller::Path path)
    {
        Choice found;
        const auto matches = [&](const Choice& choice) {
            found = choice;
            return choice.path == path && labelOf(choice) == member;
        };
        return forEachChoice(matches) ? std::optional(found) : std::nullopt;
    }

    void replayRegressions()
    {
        takeObjects({}, settings.seed);
        for (const RegressionCase& regression : kRegressionCases) {
            const auto found = findCase(regression.member, regression.path);
            if (!found) {
                failure(std::string("regression case not reached: ") + regression.member);
                continue;
            }
            const Face& face = faceOf(*found);
            const Member& member = catalog.interfaces()[face.index].members[found->member];
            if (!judge(*found, 0, replay(regression, member, face.pointer.Get(), foreign.Get(), !across))) {
                return;
            }
        }
    }

    void failure(const std::string& what)
    {
        ++failures;
        std::printf("fuzz: failure: %s\n", what.c_str());
    }

    void finish(std::chrono::duration<double> elapsed)
    {
        const Watchdog::Step step("the end of the run (releasing everything, counting live objects)", settings.seed,
                                  kStepPatience);
        clear(true, true);
        caller.unadviseAll();
        std::printf("fuzz: %s seed=0x%" PRIx64 " in %.1f s:", across ? "cross-process" : "in-process", settings.seed,
                    elapsed.count());
        for (const auto path : kPaths) {
            std::uint64_t made = 0;
            std::size_t reached = 0;
            for (const auto& [member, count] : counts[path]) {
                made += count;
                reached += count > 0 ? 1 : 0;
                if (count == 0 && settings.shortPass) {
                    failure("member not reached: " + member + " (" + MemberCaller::pathName(path) + ")");
                }
            }
            std::printf(" %s %" PRIu64 " calls, %zu of %zu members;", MemberCaller::pathName(path), made, reached,
                        counts[path].size());
        }
        std::string names;
        for (const std::size_t index : answered) {
            names += systemAt(index) ? "" : " " + catalog.interfaces()[index].name;
        }
        std::printf("\nfuzz: the library's interfaces answered (%zu):%s\nfuzz: events received: %zu, enumerator answers "
                    "misread by the proxy (judged by their items): %zu\n",
                    libraryInterfacesAnswered(), names.c_str(), inbox->events.load(), caller.misreadAnswers());
        if (libraryInterfacesAnswered() < settings.interfacesExpected) {
            failure("the objects met answered " + std::to_string(libraryInterfacesAnswered()) + " of the " +
                    std::to_string(settings.interfacesExpected) + " interfaces expected");
        }
        if (dead) {
            return;
        }
        // With everything released, a restart lets the old class object and its integration
        // object go: what then still lives beyond the new class object has leaked.
        target.restart();
        if (across) {
            // Wine's proxies keep a reference to every object that arrived as an element of an
            // array of interface pointers after this process has released it (a behaviour of
            // Wine's marshaller, seen without the library too), until this process's apartment
            // ends. What still lives after that is the provider's own leak.
            CoUninitialize();
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        }
        const auto deadline = std::chrono::steady_clock::now() + kSettlePatience;
        long long live = target.figures().live;
        for (; live != liveAtStart && std::chrono::steady_clock::now() < deadline; live = target.figures().live) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        // The fuzzer's own object, passed in arguments all along: a call that kept a reference
        // to it (a refused one above all) kept it for good.
        foreign->AddRef();
        if (const ULONG references = foreign->Release(); references != 1) {
            failure("leak: the fuzzer's own object is still referenced " + std::to_string(references - 1) +
                    " times by the provider");
        }
        if (live != liveAtStart) {
            failure("leak: live objects at start " + std::to_string(liveAtStart) + ", at end " + std::to_string(live));
        }
        if (privateAfterWarmUp >= 0 && privateAtEnd >= 0) {
            const long long growth = privateAtEnd - privateAfterWarmUp;
            std::printf("fuzz: private bytes: after warm-up %lld, at end %lld\n", privateAfterWarmUp, privateAtEnd);
            if (growth > privateBound) {
                failure("private bytes grew by " + std::to_string(growth) + " after warm-up, more than " +
                        std::to_string(privateBound));
            }
        }
    }

    const TypeCatalog& catalog;
    FuzzTarget& target;
    const FuzzSettings settings;
    const bool across;
    const std::uint64_t calls;
    const std::size_t capacity;
    const std::uint64_t checkpointEvery;
    const long long privateBound;
    // Across processes, objects are asked only for the interfaces objects answered in
    // another run (each question unanswered costs a round trip); empty: all.
    const std::set<std::size_t> worthAsking;
    std::mt19937_64 engine;
    MemberCaller caller;
    std::vector<std::wstring> friendly;
    ComPtr<IUnknown> foreign;
    std::vector<Entry> entries;
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
    // The interfaces objects asked for every one answered: across processes an object that
    // answers the same is taken to be of that kind and asked no more.
    std::set<std::set<std::size_t>> knownKinds;
    bool dead = false;
    std::uint64_t checkpoints = 0;
    // Set once every member of the walk's objects has been called; cleared when new
    // interfaces turn up.
    bool coverageComplete = false;
    // Calls of each member (known ones at 0) by path, and the faults found.
    std::map<std::string, std::uint64_t> counts[3];
    std::set<std::string> faults;
    std::size_t failures = 0;
    // -1 until known.
    long long liveAtStart = -1;
    long long privateAfterWarmUp = -1;
    long long privateAtEnd = -1;
};

} // namespace

bool fuzz(const TypeCatalog& catalog, bool crossProcess, const FuzzSettings& settings, std::set<std::size_t>& answered)
{
    FuzzTarget target(crossProcess);
    std::string error;
    bool clean = false;
    {
        const Watchdog::Step step("start-up (installing the product, starting the host)", settings.seed,
                                  kStepPatience);
        clean = target.start(error);
    }
    if (clean) {
        FuzzRun run(catalog, target, settings, answered);
        clean = run.run();
        answered = run.answered;
    }
    const Watchdog::Step step("stopping the host", settings.seed, kStepPatience);
    target.finish(error);
    if (!error.empty()) {
        std::printf("fuzz: failure: %s\n", error.c_str());
        clean = false;
    }
    return clean;
}
