#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
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
        Step(const std::string& name, std::uint64_t seed, std::chrono::milliseconds limit = {})
        {
            deadline = 0;
            patience = limit.count() > 0 ? limit : callPatience;
            std::snprintf(lastStep, sizeof(lastStep), "%s seed=0x%016" PRIx64, name.c_str(), seed);
            deadline = (Clock::now() + patience).time_since_epoch().count();
        }
        ~Step() { deadline = 0; }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;
    };

    explicit Watchdog(std::chrono::milliseconds callLimit)
    {
        callPatience = callLimit;
        SetUnhandledExceptionFilter(reportCrash);
        watcher = std::jthread([](const std::stop_token& stopping) {
            while (!stopping.stop_requested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                const Clock::rep due = deadline;
                if (due != 0 && Clock::now().time_since_epoch().count() > due) {
                    std::printf("fuzz: hang: %s did not return within %lld ms\n", lastStep,
                                static_cast<long long>(patience.count()));
                    TerminateProcess(GetCurrentProcess(), 4);
                }
            }
        });
    }

private:
    using Clock = std::chrono::steady_clock;

    static LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
    {
        std::printf("fuzz: crash: exception 0x%08lX during %s\n",
                    static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), lastStep);
        return EXCEPTION_CONTINUE_SEARCH;
    }

    // Written by a step before it publishes its deadline, so that the watcher and the crash
    // filter read them without taking a lock.
    static inline char lastStep[512] = "idle";
    static inline std::chrono::milliseconds callPatience{0};
    static inline std::chrono::milliseconds patience{0};
    // When the step in progress is overdue; zero between steps.
    static inline std::atomic<Clock::rep> deadline{0};
    std::jthread watcher;
};
