#include "tools/fuzz/FuzzRun.h"

#include "tools/common/Patience.h"
#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/RegressionCases.h"
#include "tools/office/EventSink.h"

#include <objbase.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

// Steps around the calls wait for the host's answers, each within a minute; a step that
// outlasts a few of those is a hang.
const auto kStepPatience = Patience::scaled(std::chrono::minutes(4));
// The host lets go of what this process released, and of the old class object after a
// restart, on its own threads a moment later.
const auto kSettlePatience = Patience::scaled(std::chrono::seconds(10));

std::uint64_t mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Across processes a new object costs round trips to classify: the pool stays smaller.
std::size_t capacityFor(bool crossProcess) { return crossProcess ? 24 : 48; }

// What a proxy answers once the process behind it is gone.
bool disconnected(HRESULT result)
{
    return result == RPC_E_DISCONNECTED || result == RPC_E_SERVER_DIED || result == RPC_E_SERVER_DIED_DNE ||
           result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

std::string seedText(std::uint64_t seed)
{
    char text[32];
    std::snprintf(text, sizeof(text), "seed=0x%016" PRIx64, seed);
    return text;
}

} // namespace

FuzzRun::FuzzRun(const TypeCatalog& types, FuzzTarget& host, Watchdog& watchdog, const Settings& chosen)
    : catalog(types), target(host), dog(watchdog), settings(chosen),
      pool(types, capacityFor(host.crossProcess()), mix(chosen.seed), host.crossProcess()), system(types),
      friendly(FuzzTarget::addresses())
{
    for (const wchar_t* text : {L"15.0.0.0", L"16.0.0.0", L"me@orvex.example", L"sip:alice@orvex.example", L"@"}) {
        friendly.emplace_back(text);
    }
    foreign = EventSink::create(GUID_NULL, [](DISPID, const DISPPARAMS&) {});
    pool.limitTo(settings.answeredBefore);
    report.interfacesInLibrary = static_cast<std::size_t>(std::count_if(
        catalog.interfaces().begin(), catalog.interfaces().end(), [](const InterfaceEntry& entry) { return !entry.system; }));
}

FuzzRun::~FuzzRun() { stopPushing(); }

bool FuzzRun::forEachChoice(const std::function<bool(const Choice&)>& visit)
{
    const auto& entries = pool.entries();
    for (std::size_t entry = 0; entry < entries.size(); ++entry) {
        for (std::size_t face = 0; face < entries[entry].faces.size(); ++face) {
            const InterfaceEntry& described = catalog.interfaces()[entries[entry].faces[face].index];
            for (std::size_t member = 0; member < described.members.size(); ++member) {
                const bool by[3] = {!described.system && described.dual,
                                    !described.system && described.members[member].callableThroughVtable,
                                    described.system};
                for (const auto path : {FuzzReport::Invoke, FuzzReport::Vtable, FuzzReport::System}) {
                    if (by[path] && visit({entry, face, member, path})) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

std::string FuzzRun::labelOf(const Choice& choice)
{
    const InterfaceEntry& described = catalog.interfaces()[pool.entries()[choice.entry].faces[choice.face].index];
    const Member& member = described.members[choice.member];
    const char* suffix = member.invokeKind == INVOKE_PROPERTYPUT      ? " [put]"
                         : member.invokeKind == INVOKE_PROPERTYPUTREF ? " [putref]"
                                                                      : "";
    return described.name + "::" + member.name + suffix;
}

void FuzzRun::learnMembers()
{
    coverageComplete = false;
    forEachChoice([&](const Choice& choice) {
        report.know(labelOf(choice), choice.path);
        return false;
    });
}

bool FuzzRun::connect()
{
    const auto factory = target.classObject();
    if (!factory) {
        report.failure("no class object: the provider is not running");
        return false;
    }
    pool.add(factory.Get(), true);
    ComPtr<IUnknown> root;
    if (FAILED(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(root.GetAddressOf()))) || !root) {
        report.failure("the class object created no integration object");
        return false;
    }
    pool.add(root.Get(), true);
    learnMembers();
    return true;
}

FuzzRun::Choice FuzzRun::choose(std::mt19937_64& engine)
{
    Choice choice;
    // Now and then the first member no call has reached yet.
    if (!coverageComplete && engine() % 4 == 0) {
        if (forEachChoice([&](const Choice& candidate) {
                choice = candidate;
                return !report.wasReached(labelOf(candidate), candidate.path) && wanted(candidate);
            })) {
            return choice;
        }
        coverageComplete = true;
    }
    // Three calls in four go to the library's own interfaces, the rest to the system ones.
    const bool wantSystem = engine() % 4 == 0;
    const auto& entries = pool.entries();
    for (int attempt = 0;; ++attempt) {
        choice.entry = engine() % entries.size();
        const auto& faces = entries[choice.entry].faces;
        choice.face = engine() % faces.size();
        const InterfaceEntry& described = catalog.interfaces()[faces[choice.face].index];
        if ((described.system != wantSystem && attempt < 64) || described.members.empty()) {
            continue;
        }
        choice.member = engine() % described.members.size();
        const bool callable = described.members[choice.member].callableThroughVtable;
        if (described.system) {
            choice.path = FuzzReport::System;
        } else if (callable || described.dual) {
            choice.path = callable && (!described.dual || engine() % 2) ? FuzzReport::Vtable : FuzzReport::Invoke;
        } else {
            continue;
        }
        return choice;
    }
}

bool FuzzRun::wanted(const Choice& choice)
{
    if (settings.only.empty() && settings.skip.empty()) {
        return true;
    }
    const std::string label = labelOf(choice) + " (" + FuzzReport::pathName(choice.path) + ")";
    const auto within = [&](const std::vector<std::string>& texts) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string& text) { return label.find(text) != std::string::npos; });
    };
    return (settings.only.empty() || within(settings.only)) && !within(settings.skip);
}

bool FuzzRun::call(std::uint64_t index)
{
    const std::uint64_t seed = mix(settings.seed ^ mix(index));
    std::mt19937_64 engine(seed ^ 0xC0FFEEull);
    if (index % 16 == 0) {
        takeObjects({}, seed);
    }
    Choice choice = choose(engine);
    for (int attempt = 0; attempt < 1000 && !wanted(choice); ++attempt) {
        choice = choose(engine);
    }
    // Nothing the filters let through among the objects met so far: no call.
    return !wanted(choice) || perform(choice, seed);
}

bool FuzzRun::perform(const Choice& choice, std::uint64_t seed)
{
    const bool across = target.crossProcess();
    const ObjectPool::Face face = pool.entries()[choice.entry].faces[choice.face];
    const InterfaceEntry& described = catalog.interfaces()[face.index];
    HostileValues::Settings chosen;
    // Through Invoke in this process, where the system's dispatch code refused them only
    // after taking references to the objects before them.
    chosen.invalidTypes = !across && choice.path == FuzzReport::Invoke;
    if (!settings.foreignObjectsOnly) {
        chosen.objects = pool.borrowed();
    }
    chosen.objects.push_back(foreign.Get());
    if (across) {
        chosen.arrayObjects = {foreign.Get()};
    }
    chosen.friendlyTexts = friendly;
    CallOutcome outcome;
    {
        HostileValues values(seed, chosen);
        const Member& member = described.members[choice.member];
        dog.begin(labelOf(choice) + " (" + FuzzReport::pathName(choice.path) + ")", seed);
        if (choice.path == FuzzReport::System) {
            outcome = system.call(described, choice.member, face.pointer.Get(), values, across);
        } else if (choice.path == FuzzReport::Vtable) {
            auto arguments = MemberCaller::planVtable(member, values, across);
            outcome = MemberCaller::throughVtable(face.pointer.Get(), member, arguments);
        } else {
            InvokeCall call = MemberCaller::planInvoke(member, values, catalog.knownDispids(), across);
            outcome = MemberCaller::throughInvoke(static_cast<IDispatch*>(face.pointer.Get()), member, call);
        }
        dog.end();
    }
    return judge(choice, seed, outcome);
}

bool FuzzRun::judge(const Choice& choice, std::uint64_t seed, const CallOutcome& outcome)
{
    const std::string label = labelOf(choice);
    report.reached(label, choice.path);
    if (!MemberCaller::readable(outcome.result)) {
        char text[48];
        std::snprintf(text, sizeof(text), "unreadable HRESULT 0x%08lX", static_cast<unsigned long>(outcome.result));
        report.fault(label, choice.path, seed, text);
    }
    for (const std::string& fault : outcome.faults) {
        // A conversation opens in the messenger, not in Office: there is no window object to
        // hand out, the window argument is left as the caller passed it, and Office relies
        // on the success.
        if (label != "IUCCAutomation::StartConversation" || fault.find("object") == std::string::npos) {
            report.fault(label, choice.path, seed, fault);
        }
    }
    std::string why;
    if (target.crossProcess() && disconnected(outcome.result) && !target.alive(why)) {
        report.failure("crash: the host died during " + label + " (" + FuzzReport::pathName(choice.path) + ") " +
                       seedText(seed) + ": " + why);
        dead = true;
        return false;
    }
    takeObjects(outcome.objects, seed);
    return true;
}

void FuzzRun::takeObjects(const std::vector<ComPtr<IUnknown>>& objects, std::uint64_t seed)
{
    const Watchdog::Step step(dog, "the walk taking in the objects handed out or carried by events", seed,
                              kStepPatience);
    const std::size_t known = pool.answered().size();
    if (objects.empty()) {
        pool.takeEventObjects();
    }
    for (const auto& object : objects) {
        if (!target.crossProcess() || pool.entries().size() < capacityFor(true) || mix(seed) % 8 == 0) {
            pool.add(object.Get());
        }
    }
    if (pool.answered().size() != known) {
        learnMembers();
    }
}

void FuzzRun::checkpoint(bool last)
{
    const Watchdog::Step step(dog, "checkpoint " + std::to_string(checkpoints + 1), settings.seed, kStepPatience);
    pool.takeEventObjects();
    ++checkpoints;
    const bool restarting = !last && checkpoints % settings.restartEvery == 0;
    if (restarting) {
        // With the walk's sinks still advised, Office's sinks hear OnStateChanged and
        // OnShuttingDown; the objects those carry wait in the inbox for the next walk.
        target.restart();
        pool.unpinAll();
    }
    pool.clear(false);
    system.unadviseAll();
    if (restarting) {
        connect();
        pool.takeEventObjects();
        learnMembers();
    }
    // Warm-up ends at the checkpoint after the first restart: across processes the host's
    // RPC runtime starts a thread for each of Office's connections to the new class object
    // then, once, some megabytes of stacks that later restarts reuse.
    const auto figures = target.figures();
    if (checkpoints == settings.restartEvery + 1) {
        report.privateAfterWarmUp = figures.privateBytes;
    }
    if (last) {
        report.privateAtEnd = figures.privateBytes;
    } else if (settings.progress) {
        std::printf("fuzz: checkpoint %" PRIu64 ": %" PRIu64 " calls, live objects %ld, private bytes %llu%s%s\n",
                    checkpoints, checkpoints * settings.checkpointEvery, figures.live.value_or(-1),
                    figures.privateBytes.value_or(0), figures.more.empty() ? "" : ", host: ", figures.more.c_str());
    }
}

bool FuzzRun::regressionsReachable()
{
    return std::all_of(RegressionCases::all().begin(), RegressionCases::all().end(), [&](const RegressionCase& regression) {
        return forEachChoice([&](const Choice& choice) {
            return choice.path == regression.path && labelOf(choice) == regression.member;
        });
    });
}

void FuzzRun::replayRegressions()
{
    takeObjects({}, settings.seed);
    for (const RegressionCase& regression : RegressionCases::all()) {
        Choice found;
        const std::string label = std::string(regression.member) + " (" + FuzzReport::pathName(regression.path) + ")";
        if (!forEachChoice([&](const Choice& choice) {
                found = choice;
                return choice.path == regression.path && labelOf(choice) == regression.member;
            })) {
            report.failure("regression case not reached: " + label);
            continue;
        }
        const ObjectPool::Face face = pool.entries()[found.entry].faces[found.face];
        const Member& member = catalog.interfaces()[face.index].members[found.member];
        dog.begin("regression case " + label, 0);
        const CallOutcome outcome = RegressionCases::replay(regression, member, face.pointer.Get(), foreign.Get());
        dog.end();
        if (!judge(found, 0, outcome)) {
            return;
        }
    }
}

void FuzzRun::startPushing()
{
    if (!settings.push) {
        return;
    }
    pushing = true;
    const int threads = target.crossProcess() ? 1 : 2;
    const auto interval = std::chrono::milliseconds(target.crossProcess() ? 20 : 2);
    for (int thread = 0; thread < threads; ++thread) {
        pushers.emplace_back([this, thread, threads, interval] {
            const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            for (auto step = static_cast<std::uint64_t>(thread); pushing; step += static_cast<std::uint64_t>(threads)) {
                target.push(step);
                std::this_thread::sleep_for(interval);
            }
            if (initialised) {
                CoUninitialize();
            }
        });
    }
}

void FuzzRun::stopPushing()
{
    pushing = false;
    for (auto& pusher : pushers) {
        pusher.join();
    }
    pushers.clear();
}

bool FuzzRun::finish()
{
    const Watchdog::Step step(dog, "the end of the run (releasing everything, counting live objects)", settings.seed,
                              kStepPatience);
    pool.clear(true);
    system.unadviseAll();
    report.eventsReceived = pool.eventsReceived();
    report.misreadAnswers = system.misreadAnswers();
    if (dead) {
        return false;
    }
    // With everything released, a restart lets the old class object and its integration
    // object go: what then still lives beyond the new class object has leaked.
    target.restart();
    const auto settled = [&] {
        const auto deadline = std::chrono::steady_clock::now() + kSettlePatience;
        std::optional<long> live = target.figures().live;
        while (live != report.liveAtStart && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            live = target.figures().live;
        }
        return live;
    };
    std::optional<long> live = report.liveAtEnd = settled();
    if (target.crossProcess()) {
        // Wine's proxies keep a reference to every object that arrived as an element of an
        // array of interface pointers after this process has released it (reproduced without
        // the library by WineMarshallerTests), until this process's apartment ends. What
        // still lives after that is the provider's own leak.
        CoUninitialize();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        live = report.liveAfterLeavingCom = settled();
        report.privateAfterLeavingCom = target.figures().privateBytes;
    }
    // The fuzzer's own object, passed in arguments all along: a call that kept a reference
    // to it (a refused one above all) kept it for good.
    foreign->AddRef();
    const ULONG foreignReferences = foreign->Release();
    if (foreignReferences != 1) {
        report.failure("leak: the fuzzer's own object is still referenced " + std::to_string(foreignReferences - 1) +
                       " times by the provider");
    }
    if (!live || live != report.liveAtStart) {
        report.failure("leak: live objects at start " + std::to_string(report.liveAtStart.value_or(-1)) + ", at end " +
                       std::to_string(live.value_or(-1)));
    }
    if (report.privateAfterWarmUp && report.privateAtEnd &&
        *report.privateAtEnd > *report.privateAfterWarmUp + settings.privateBound) {
        report.failure("private bytes grew by " + std::to_string(*report.privateAtEnd - *report.privateAfterWarmUp) +
                       " after warm-up (bound " + std::to_string(settings.privateBound) + ")");
    }
    if (pool.libraryInterfacesAnswered() < settings.interfacesExpected) {
        report.failure("the objects met answered " + std::to_string(pool.libraryInterfacesAnswered()) + " of the " +
                       std::to_string(settings.interfacesExpected) + " interfaces expected");
    }
    if (settings.shortPass) {
        for (const auto& missing : report.unreached()) {
            report.failure("member not reached: " + missing);
        }
    }
    return true;
}

bool FuzzRun::run()
{
    const auto began = std::chrono::steady_clock::now();
    {
        const Watchdog::Step step(dog, "start-up (counting live objects, connecting to the provider)", settings.seed,
                                  kStepPatience);
        report.liveAtStart = target.figures().live;
        if (!connect()) {
            return false;
        }
    }
    startPushing();
    std::uint64_t index = 0;
    for (; index < settings.calls && !dead; ++index) {
        if (settings.duration.count() > 0 && std::chrono::steady_clock::now() - began > settings.duration) {
            break;
        }
        if (index > 0 && index % settings.checkpointEvery == 0) {
            checkpoint(false);
        }
        if (!call(index)) {
            break;
        }
    }
    // The regression cases need objects of their interfaces, and the interfaces expected
    // must all be met: the walk goes on until they are, within a bound.
    const auto wanting = [&] {
        return (settings.shortPass && !regressionsReachable()) ||
               pool.libraryInterfacesAnswered() < settings.interfacesExpected;
    };
    for (std::uint64_t extra = 0; !dead && extra < settings.calls && wanting(); ++extra) {
        call(index++);
    }
    {
        const Watchdog::Step step(dog, "stopping the pushes", settings.seed, kStepPatience);
        stopPushing();
    }
    if (!dead && settings.shortPass) {
        replayRegressions();
    }
    if (!dead) {
        checkpoint(true);
    }
    for (const std::size_t index2 : pool.answered()) {
        if (!catalog.interfaces()[index2].system) {
            report.answeredNames.push_back(catalog.interfaces()[index2].name);
        }
    }
    const bool clean = finish() && report.faultCount() == 0;
    report.print(target.crossProcess() ? "cross-process" : "in-process", settings.seed,
                 std::chrono::steady_clock::now() - began);
    return clean;
}
