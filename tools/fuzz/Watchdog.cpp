#include "tools/fuzz/Watchdog.h"

#include <windows.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// Written by a step before it publishes its deadline, so that the watcher and the crash
// filter read them without taking a lock.
char lastStep[512] = "idle";
std::chrono::milliseconds callPatience{0};
std::chrono::milliseconds patience{0};
// When the step in progress is overdue; zero between steps.
std::atomic<Clock::rep> deadline{0};

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("fuzz: crash: exception 0x%08lX during %s\n",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), lastStep);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

Watchdog::Step::Step(const std::string& name, std::uint64_t seed, std::chrono::milliseconds limit)
{
    deadline = 0;
    patience = limit.count() > 0 ? limit : callPatience;
    std::snprintf(lastStep, sizeof(lastStep), "%s seed=0x%016" PRIx64, name.c_str(), seed);
    deadline = (Clock::now() + patience).time_since_epoch().count();
}

Watchdog::Step::~Step() { deadline = 0; }

Watchdog::Watchdog(std::chrono::milliseconds callLimit)
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
