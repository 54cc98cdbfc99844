#include "tools/fuzz/FuzzRun.h"

#include "tools/common/Patience.h"
#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/MemberCaller.h"
#include "tools/fuzz/RegressionCases.h"
#include "tools/office/EventSink.h"

#include <objbase.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

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

// What a proxy answers once the process behind it is gone.
bool disconnected(HRESULT result)
{
    return result == RPC_E_DISCONNECTED || result == RPC_E_SERVER_DIED || result == RPC_E_SERVER_DIED_DNE ||
           result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

std::string suffixOf(INVOKEKIND kind)
{
    switch (kind) {
    case INVOKE_PROPERTYPUT:
        return " [put]";
    case INVOKE_PROPERTYPUTREF:
        return " [putref]";
    default:
        return "";
    }
}

} // namespace

FuzzRun::FuzzRun(const TypeCatalog& types, FuzzTarget& host, Watchdog& watchdog, const Settings& chosen)
    : catalog(types), target(host), dog(watchdog), settings(chosen),
      pool(types, host.crossProcess() ? 24 : 48, mix(chosen.seed), host.crossProcess()),
      system(
          [&] {
              std::vector<GUID> iids;
              for (const auto& entry : types.interfaces()) {
                  iids.push_back(entry.iid);
              }
              return iids;
          }(),
          [&] {
              std::vector<std::wstring> names;
              for (const auto& entry : types.interfaces()) {
                  for (const auto& member : entry.members) {
                      names.push_back(member.name);
                  }
              }
              return names;
          }()),
      friendly(host.addresses())
{
    for (const wchar_t* text : {L"15.0.0.0", L"16.0.0.0", L"me@orvex.example", L"sip:alice@orvex.example", L"@"}) {
        friendly.emplace_back(text);
    }
    foreign = EventSink::create(GUID_NULL, [](DISPID, const DISPPARAMS&) {});
    report.privateBound = settings.privateBound;
    pool.limitTo(settings.answeredBefore);
    report.interfacesInLibrary = catalog.interfaces().size();
}

FuzzRun::~FuzzRun() { stopPushing(); }

std::string FuzzRun::labelOf(const Choice& choice) const
{
    const ObjectPool::Face& face = const_cast<ObjectPool&>(pool).entries()[choice.entry].faces[choice.face];
    if (face.system) {
        const auto& described = SystemMembers::interfaces()[face.index];
        return std::string(described.name) + "::" + described.members[choice.member];
    }
    const InterfaceEntry& entry = catalog.interfaces()[face.index];
    const Member& member = entry.members[choice.member];
    return TypeCatalog::narrow(entry.name) + "::" + TypeCatalog::narrow(member.name) + suffixOf(member.invokeKind);
}

void FuzzRun::learnMembers()
{
    coverageComplete = false;
    for (auto& entry : pool.entries()) {
        for (std::size_t at = 0; at < entry.faces.size(); ++at) {
            const ObjectPool::Face& face = entry.faces[at];
            Choice choice;
            choice.entry = static_cast<std::size_t>(&entry - pool.entries().data());
            choice.face = at;
            const std::size_t members = face.system ? SystemMembers::interfaces()[face.index].members.size()
                                                    : catalog.interfaces()[face.index].members.size();
            for (choice.member = 0; choice.member < members; ++choice.member) {
                const std::string label = labelOf(choice);
                if (face.system) {
                    report.know(label, FuzzReport::System);
                    continue;
                }
                const InterfaceEntry& described = catalog.interfaces()[face.index];
                if (described.dual) {
                    report.know(label, FuzzReport::Invoke);
                }
                if (described.members[choice.member].callableThroughVtable) {
                    report.know(label, FuzzReport::Vtable);
                }
            }
        }
    }
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
    const HRESULT created = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(root.GetAddressOf()));
    if (FAILED(created) || !root) {
        report.failure("the class object created no integration object");
        return false;
    }
    pool.add(root.Get(), true);
    learnMembers();
    return true;
}

bool FuzzRun::firstUnreached(Choice& choice)
{
    auto& entries = pool.entries();
    for (choice.entry = 0; choice.entry < entries.size(); ++choice.entry) {
        const auto& faces = entries[choice.entry].faces;
        for (choice.face = 0; choice.face < faces.size(); ++choice.face) {
            const ObjectPool::Face& face = faces[choice.face];
            const std::size_t members = face.system ? SystemMembers::interfaces()[face.index].members.size()
                                                    : catalog.interfaces()[face.index].members.size();
            for (choice.member = 0; choice.member < members; ++choice.member) {
                const std::size_t key = (face.system ? 1u << 24 : 0u) | (face.index << 8) | choice.member;
                const std::size_t paths = face.system ? 1 : 2;
                for (std::size_t path = 0; path < paths; ++path) {
                    if (covered.contains(key * 4 + path)) {
                        continue;
                    }
                    if (face.system) {
                        choice.path = FuzzReport::System;
                    } else {
                        const InterfaceEntry& described = catalog.interfaces()[face.index];
                        choice.path = path == 0 ? FuzzReport::Invoke : FuzzReport::Vtable;
                        if ((path == 0 && !described.dual) ||
                            (path == 1 && !described.members[choice.member].callableThroughVtable)) {
                            covered.insert(key * 4 + path);
                            continue;
                        }
                    }
                    covered.insert(key * 4 + path);
                    return true;
                }
            }
        }
    }
    return false;
}

FuzzRun::Choice FuzzRun::choose(std::mt19937_64& engine)
{
    Choice choice;
    if (!coverageComplete && engine() % 4 == 0) {
        if (firstUnreached(choice)) {
            return choice;
        }
        coverageComplete = true;
    }
    // Three calls in four go to the library's own interfaces, the rest to the system ones.
    const bool wantSystem = engine() % 4 == 0;
    auto& entries = pool.entries();
    for (int attempt = 0;; ++attempt) {
        choice.entry = engine() % entries.size();
        const auto& faces = entries[choice.entry].faces;
        choice.face = engine() % faces.size();
        const ObjectPool::Face& face = faces[choice.face];
        if (face.system != wantSystem && attempt < 64) {
            continue;
        }
        if (face.system) {
            choice.member = engine() % SystemMembers::interfaces()[face.index].members.size();
            choice.path = FuzzReport::System;
            return choice;
        }
        const InterfaceEntry& described = catalog.interfaces()[face.index];
        if (described.members.empty()) {
            continue;
        }
        choice.member = engine() % described.members.size();
        const bool callable = described.members[choice.member].callableThroughVtable;
        if (!callable && !described.dual) {
            continue;
        }
        const bool vtable = callable && (!described.dual || engine() % 2);
        choice.path = vtable ? FuzzReport::Vtable : FuzzReport::Invoke;
        return choice;
    }
}

bool FuzzRun::perform(const Choice& choice, std::uint64_t seed)
{
    const ObjectPool::Face face = pool.entries()[choice.entry].faces[choice.face];
    const std::string label = labelOf(choice);
    HostileValues::Settings valueSettings;
    valueSettings.marshallable = target.crossProcess() || choice.path == FuzzReport::Invoke;
    // Through Invoke, where the system's dispatch code refused them only after taking
    // references to the objects before them.
    valueSettings.invalidTypes = !target.crossProcess() && choice.path == FuzzReport::Invoke;
    if (!settings.foreignObjectsOnly) {
        valueSettings.objects = pool.borrowed();
    }
    valueSettings.objects.push_back(foreign.Get());
    if (target.crossProcess()) {
        valueSettings.arrayObjects = {foreign.Get()};
    }
    valueSettings.friendlyTexts = &friendly;
    CallOutcome outcome;
    {
        HostileValues values(seed, valueSettings);
        dog.begin(label + " (" + FuzzReport::pathName(choice.path) + ")", seed);
        if (choice.path == FuzzReport::System) {
            outcome = system.call(face.index, choice.member, face.pointer.Get(), values, target.crossProcess());
        } else {
            const Member& member = catalog.interfaces()[face.index].members[choice.member];
            if (choice.path == FuzzReport::Vtable) {
                outcome = MemberCaller::throughVtable(face.pointer.Get(), member, values, target.crossProcess());
            } else {
                bool asDeclared = false;
                outcome = MemberCaller::throughInvoke(static_cast<IDispatch*>(face.pointer.Get()), member, values,
                                                      catalog.knownDispids(), target.crossProcess(), asDeclared);
            }
        }
        dog.end();
    }

    report.reached(label, choice.path);
    for (const std::string& fault : outcome.faults) {
        // A conversation opens in the messenger, not in Office: there is no window object
        // to hand out, the window argument is left as the caller passed it, and Office
        // relies on the success.
        if (label == "IUCCAutomation::StartConversation" && fault.find("object") != std::string::npos) {
            continue;
        }
        report.fault(label, choice.path, seed, fault);
    }
    if (target.crossProcess() && disconnected(outcome.result)) {
        std::string why;
        if (!target.alive(why)) {
            char text[64];
            std::snprintf(text, sizeof(text), " seed=0x%016" PRIx64 ": ", seed);
            report.failure("crash: the host died during " + label + " (" + FuzzReport::pathName(choice.path) + ")" +
                           text + why);
            dead = true;
            return false;
        }
    }
    const Watchdog::Step step(dog, "the walk taking in the objects " + label + " handed out", seed, kStepPatience);
    const std::size_t known = pool.interfacesSeen();
    const std::size_t capacity = target.crossProcess() ? 24 : 48;
    for (const auto& object : outcome.objects) {
        // Across processes a new object costs round trips to classify: most are let go.
        if (!target.crossProcess() || pool.entries().size() < capacity || mix(seed) % 8 == 0) {
            pool.add(object.Get());
        }
    }
    if (pool.interfacesSeen() != known) {
        learnMembers();
    }
    return true;
}

bool FuzzRun::wanted(const Choice& choice) const
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
        const Watchdog::Step step(dog, "the walk taking in the objects of events", seed, kStepPatience);
        const std::size_t known = pool.interfacesSeen();
        pool.takeEventObjects();
        if (pool.interfacesSeen() != known) {
            learnMembers();
        }
    }
    Choice choice = choose(engine);
    for (int attempt = 0; attempt < 1000 && !wanted(choice); ++attempt) {
        choice = choose(engine);
    }
    // Nothing the filters let through among the objects met so far: no call.
    return !wanted(choice) || perform(choice, seed);
}

void FuzzRun::checkpoint(bool last)
{
    const Watchdog::Step step(dog, "checkpoint " + std::to_string(checkpoints + 1), settings.seed, kStepPatience);
    pool.takeEventObjects();
    ++checkpoints;
    if (!last && checkpoints % settings.restartEvery == 0) {
        // With the walk's sinks still advised, Office's sinks hear OnStateChanged and
        // OnShuttingDown; their event data waits in the inbox for the next walk.
        target.restart();
        pool.unpinAll();
        pool.clear(false);
        system.unadviseAll();
        covered.clear();
        connect();
        pool.takeEventObjects();
        learnMembers();
    } else {
        pool.clear(false);
        system.unadviseAll();
    }
    // Warm-up ends at the checkpoint after the first restart: across processes the host's
    // RPC runtime starts a thread for each of Office's connections to the new class
    // object then, once, some megabytes of stacks that later restarts reuse.
    if (checkpoints == settings.restartEvery + 1) {
        report.privateAfterWarmUp = target.privateBytes();
    }
    if (settings.progress && !last) {
        showProgress();
    }
    if (last) {
        report.privateAtEnd = target.privateBytes();
    }
}

void FuzzRun::showProgress()
{
    const auto live = target.liveObjects();
    const auto bytes = target.privateBytes();
    const std::string more = target.hostFigures();
    std::printf("fuzz: checkpoint %" PRIu64 ": %" PRIu64 " calls, live objects %ld, private bytes %llu%s%s\n",
                checkpoints, checkpoints * settings.checkpointEvery, live.value_or(-1), bytes.value_or(0),
                more.empty() ? "" : ", host: ", more.c_str());
}

bool FuzzRun::regressionsReachable()
{
    for (const RegressionCase& regression : RegressionCases::all()) {
        if (!findCase(regression)) {
            return false;
        }
    }
    return true;
}

std::optional<FuzzRun::Choice> FuzzRun::findCase(const RegressionCase& regression)
{
    auto& entries = pool.entries();
    for (std::size_t entry = 0; entry < entries.size(); ++entry) {
        for (std::size_t at = 0; at < entries[entry].faces.size(); ++at) {
            const ObjectPool::Face& face = entries[entry].faces[at];
            const std::size_t members = face.system ? SystemMembers::interfaces()[face.index].members.size()
                                                    : catalog.interfaces()[face.index].members.size();
            for (std::size_t member = 0; member < members; ++member) {
                Choice choice{entry, at, member, FuzzReport::System};
                if (!face.system) {
                    choice.path = std::strcmp(regression.path, "vtable") == 0 ? FuzzReport::Vtable : FuzzReport::Invoke;
                }
                if (labelOf(choice) == regression.member &&
                    std::strcmp(FuzzReport::pathName(choice.path), regression.path) == 0) {
                    return choice;
                }
            }
        }
    }
    return std::nullopt;
}

void FuzzRun::replayRegressions()
{
    pool.takeEventObjects();
    learnMembers();
    for (const RegressionCase& regression : RegressionCases::all()) {
        const auto choice = findCase(regression);
        if (!choice) {
            report.failure(std::string("regression case not reached: ") + regression.member + " (" + regression.path +
                           ")");
        } else if (!perform(*choice, regression.seed)) {
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
            for (std::uint64_t step = static_cast<std::uint64_t>(thread); pushing; step += static_cast<std::uint64_t>(threads)) {
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
        std::optional<long> live = target.liveObjects();
        while (!(live && report.liveAtStart && *live == *report.liveAtStart) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            live = target.liveObjects();
        }
        return live;
    };
    std::optional<long> live = settled();
    report.liveAtEnd = live;
    if (target.crossProcess()) {
        // Wine's proxies keep a reference to every object that arrived as an element of an
        // array of interface pointers after this process has released it (reproduced
        // without the library by WineMarshallerTests), until this process's apartment
        // ends. What still lives after that is the provider's own leak.
        CoUninitialize();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        live = settled();
        report.liveAfterLeavingCom = live;
        report.privateAfterLeavingCom = target.privateBytes();
    }
    bool clean = true;
    // The fuzzer's own object, passed in arguments all along: a call that kept a
    // reference to it (a refused one above all) kept it for good.
    foreign->AddRef();
    const ULONG foreignReferences = foreign->Release();
    if (foreignReferences != 1) {
        report.failure("leak: the fuzzer's own object is still referenced " + std::to_string(foreignReferences - 1) +
                       " times by the provider");
        clean = false;
    }
    if (!live || !report.liveAtStart || *live != *report.liveAtStart) {
        report.failure("leak: live objects at start " + std::to_string(report.liveAtStart.value_or(-1)) + ", at end " +
                       std::to_string(live.value_or(-1)));
        clean = false;
    }
    if (report.privateAfterWarmUp && report.privateAtEnd &&
        *report.privateAtEnd > *report.privateAfterWarmUp + settings.privateBound) {
        report.failure("private bytes grew by " + std::to_string(*report.privateAtEnd - *report.privateAfterWarmUp) +
                       " after warm-up");
        clean = false;
    }
    if (pool.answered().size() < settings.interfacesExpected) {
        report.failure("the objects met answered " + std::to_string(pool.answered().size()) + " of the " +
                       std::to_string(settings.interfacesExpected) + " interfaces expected");
        clean = false;
    }
    if (settings.requireCoverage) {
        for (const auto& missing : report.unreached()) {
            report.failure("member not reached: " + missing);
            clean = false;
        }
    }
    return clean;
}

bool FuzzRun::run()
{
    const auto began = std::chrono::steady_clock::now();
    {
        const Watchdog::Step step(dog, "start-up (counting live objects, connecting to the provider)", settings.seed,
                                  kStepPatience);
        report.liveAtStart = target.liveObjects();
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
        return (settings.replayRegressions && !regressionsReachable()) ||
               pool.answered().size() < settings.interfacesExpected;
    };
    for (std::uint64_t extra = 0; !dead && extra < settings.calls && wanting(); ++extra) {
        call(index++);
    }
    {
        const Watchdog::Step step(dog, "stopping the pushes", settings.seed, kStepPatience);
        stopPushing();
    }
    if (!dead && settings.replayRegressions) {
        replayRegressions();
    }
    if (!dead) {
        checkpoint(true);
    }
    for (std::size_t index2 : pool.answered()) {
        report.answeredNames.push_back(TypeCatalog::narrow(catalog.interfaces()[index2].name));
    }
    report.interfacesAnswered = pool.answered().size();
    const bool clean = finish() && report.faultCount() == 0;
    report.print(target.crossProcess() ? "cross-process" : "in-process", settings.seed,
                 std::chrono::steady_clock::now() - began);
    return clean;
}
