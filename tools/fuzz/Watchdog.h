#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Names the call in progress when the process dies or a call does not return: a call
// that runs longer than the limit ends the program with exit code 4 after printing its
// member and seed; a crash prints them from the unhandled-exception filter.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds limit);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void begin(const std::string& member, std::uint64_t seed);
    void end();
    // What is running now, for a crash report ("idle" between calls).
    std::string current() const;

private:
    void watch();

    const std::chrono::milliseconds patience;
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool busy = false;
    std::string member;
    std::uint64_t seed = 0;
    std::chrono::steady_clock::time_point began;
    std::thread watcher;
};
