#pragma once

#include "tools/fuzz/FuzzReport.h"
#include "tools/fuzz/FuzzTarget.h"
#include "tools/fuzz/ObjectPool.h"
#include "tools/fuzz/SystemMembers.h"
#include "tools/fuzz/TypeCatalog.h"
#include "tools/fuzz/Watchdog.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct RegressionCase;

// One fuzzing run against one target: the walk over the provider's objects, one call at a
// time, each with its own seed; checkpoints that drop the walk's objects and measure the
// library's live objects and the host's private bytes; the integration restarted now and
// then, so that the state and shut-down events reach Office's sinks; and at the end, with
// everything released and the integration stopped, the live-object count.
class FuzzRun {
public:
    struct Settings {
        std::uint64_t seed = 1;
        std::uint64_t calls = 20000;
        std::chrono::seconds duration{0}; // 0: no time limit
        std::uint64_t checkpointEvery = 2000;
        std::uint64_t restartEvery = 4; // checkpoints
        bool requireCoverage = false;
        bool replayRegressions = false;
        std::size_t interfacesExpected = 0;
        unsigned long long privateBound = 8ull << 20;
        // The library's interfaces objects answered in an earlier run: across processes,
        // objects are asked for these alone (empty: for every interface of the library).
        std::set<std::size_t> answeredBefore;
        // Filters on "Interface::Member (path)"; see FuzzOptions.
        std::vector<std::string> only;
        std::vector<std::string> skip;
        bool push = true;
        // Object arguments are this program's own only, never the provider's handed back
        // (which across processes never go inside arrays of interface pointers anyway: see
        // HostileValues::Settings::arrayObjects).
        bool foreignObjectsOnly = false;
        bool progress = false;
    };

    FuzzRun(const TypeCatalog& types, FuzzTarget& target, Watchdog& watchdog, const Settings& settings);
    ~FuzzRun();
    FuzzRun(const FuzzRun&) = delete;
    FuzzRun& operator=(const FuzzRun&) = delete;

    // Answers whether the run was clean: no fault, crash, hang, leak or growth.
    bool run();
    // The library's interfaces (catalog indices) that some object answered.
    const std::set<std::size_t>& answered() const { return pool.answered(); }

private:
    struct Choice {
        std::size_t entry = 0;
        std::size_t face = 0;
        std::size_t member = 0;
        FuzzReport::Path path = FuzzReport::Invoke;
    };

    bool connect();
    void learnMembers();
    bool call(std::uint64_t index);
    void showProgress();
    bool perform(const Choice& choice, std::uint64_t seed);
    Choice choose(std::mt19937_64& engine);
    bool firstUnreached(Choice& choice);
    std::string labelOf(const Choice& choice) const;
    bool wanted(const Choice& choice) const;
    void checkpoint(bool last);
    void replayRegressions();
    bool regressionsReachable();
    std::optional<Choice> findCase(const RegressionCase& regression);
    bool finish();
    void startPushing();
    void stopPushing();

    const TypeCatalog& catalog;
    FuzzTarget& target;
    Watchdog& dog;
    const Settings settings;
    FuzzReport report;
    ObjectPool pool;
    SystemMembers system;
    std::vector<std::wstring> friendly;
    Microsoft::WRL::ComPtr<IUnknown> foreign;
    bool dead = false;
    std::uint64_t checkpoints = 0;
    // Members (by interface, member and path) the coverage pass has already called.
    std::set<std::size_t> covered;
    // Set once every member of the walk's objects has been called; cleared when new
    // interfaces turn up.
    bool coverageComplete = false;
    std::atomic<bool> pushing{false};
    std::vector<std::thread> pushers;
};
