#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Names what is in progress when the process dies or something does not return: a member
// call, or a step around the calls (starting the host, connecting, a checkpoint, the end).
// One that runs longer than its limit ends the program with exit code 4 after printing its
// name and seed; a crash prints them from the unhandled-exception filter.
class Watchdog {
public:
    // Watches one step for as long as it lives; without a limit, the one of a member call.
    class Step {
    public:
        Step(Watchdog& watchdog, const std::string& name, std::uint64_t seed,
             std::chrono::milliseconds limit = std::chrono::milliseconds(0));
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        Watchdog& dog;
    };

    explicit Watchdog(std::chrono::milliseconds callLimit);
    ~Watchdog();

private:
    void watch();

    const std::chrono::milliseconds callPatience;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool busy = false;
    std::chrono::milliseconds patience;
    std::chrono::steady_clock::time_point began;
    std::thread watcher;
};
