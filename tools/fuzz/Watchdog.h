#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

// Names what is in progress when the process dies or something does not return: a member
// call, or a step around the calls (starting the host, connecting, a checkpoint, the end).
// One that runs longer than its limit ends the program with exit code 4 after printing its
// name and seed; a crash prints them from the unhandled-exception filter. There is one
// process to watch, so the steps need no handle on the watchdog.
class Watchdog {
public:
    // Watches one step for as long as it lives; without a limit, the one of a member call.
    // A step begun inside another ends the watch of both.
    class Step {
    public:
        Step(const std::string& name, std::uint64_t seed, std::chrono::milliseconds limit = {});
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;
    };

    explicit Watchdog(std::chrono::milliseconds callLimit);

private:
    std::jthread watcher;
};
