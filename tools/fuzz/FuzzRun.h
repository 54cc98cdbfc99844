#pragma once

#include "tools/fuzz/FuzzTarget.h"
#include "tools/fuzz/MemberCaller.h"
#include "tools/fuzz/Watchdog.h"

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

// One fuzzing run against one target: the walk over the provider's objects, one call at a
// time, each with its own seed; checkpoints that drop the walk's objects and measure the
// host; the integration restarted now and then, so that the state and shut-down events
// reach Office's sinks; and at the end, with everything released, the leak checks and the
// figures: calls by path, members reached, faults (each printed once, with the member and
// the seed that found it), live objects and private bytes.
class FuzzRun {
public:
    struct Settings {
        std::uint64_t seed = 1;
        std::uint64_t calls = 20000;
        std::chrono::seconds duration{0}; // 0: no time limit
        // The short pass: every member reached, the regression cases replayed.
        bool shortPass = false;
        std::size_t interfacesExpected = 0;
        // The interfaces objects answered in an earlier run: across processes objects are
        // asked for these alone (empty: for all).
        std::set<std::size_t> answeredBefore;
    };

    FuzzRun(const TypeCatalog& types, FuzzTarget& target, const Settings& settings);
    ~FuzzRun();

    // Answers whether the run was clean: no fault, crash, hang, leak or growth.
    bool run();
    const std::set<std::size_t>& answered() const;

private:
    struct Choice {
        std::size_t entry = 0;
        std::size_t face = 0;
        std::size_t member = 0;
        MemberCaller::Path path = MemberCaller::Invoke;
    };

    bool connect();
    // Calls `visit` with every member of every object in the pool, by every path it can be
    // called by, until `visit` answers true.
    bool forEachChoice(const std::function<bool(const Choice&)>& visit);
    void learnMembers();
    Choice choose(std::mt19937_64& engine);
    // "Interface::Member", with " (path)" when `withPath`.
    std::string labelOf(const Choice& choice, bool withPath = false);
    bool call(std::uint64_t index);
    bool judge(const Choice& choice, std::uint64_t seed, const CallOutcome& outcome);
    // The objects a call handed out and those that came with events join the pool.
    void takeObjects(const std::vector<Microsoft::WRL::ComPtr<IUnknown>>& objects, std::uint64_t seed);
    void checkpoint(bool last);
    // The first choice that calls `member` ("Interface::Member") by `path`.
    std::optional<Choice> findCase(const std::string& member, MemberCaller::Path path);
    void replayRegressions();
    void finish(std::chrono::duration<double> elapsed);
    void failure(const std::string& what);

    const TypeCatalog& catalog;
    FuzzTarget& target;
    const Settings settings;
    // The provider objects the walk holds, with the interfaces each answers.
    struct Pool;
    std::unique_ptr<Pool> pool;
    MemberCaller caller;
    std::vector<std::wstring> friendly;
    Microsoft::WRL::ComPtr<IUnknown> foreign;
    bool dead = false;
    std::uint64_t checkpoints = 0;
    // Across processes calls are slower and the stand-in's memory is measured more finely.
    const std::uint64_t checkpointEvery;
    const long long privateBound;
    // Set once every member of the walk's objects has been called; cleared when new
    // interfaces turn up.
    bool coverageComplete = false;
    // Threads reporting presence as the host's own would; dropping them stops them.
    std::vector<std::jthread> pushers;
    // Calls of each member (known ones at 0) by path, and the faults found.
    std::map<std::string, std::uint64_t> counts[3];
    std::set<std::string> faults;
    std::size_t failures = 0;
    // -1 until known.
    long long liveAtStart = -1;
    long long privateAfterWarmUp = -1;
    long long privateAtEnd = -1;
};
