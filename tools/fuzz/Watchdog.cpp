#include "tools/fuzz/Watchdog.h"

#include <windows.h>

#include <cinttypes>
#include <cstdio>

namespace {

// Filled once per step, so that the crash filter reads it without taking a lock.
char lastStep[512] = "idle";

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("fuzz: crash: exception 0x%08lX during %s\n",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), lastStep);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

Watchdog::Step::Step(Watchdog& watchdog, const std::string& name, std::uint64_t seed, std::chrono::milliseconds limit)
    : dog(watchdog)
{
    std::lock_guard lock(dog.mutex);
    dog.busy = true;
    dog.patience = limit.count() > 0 ? limit : dog.callPatience;
    dog.began = std::chrono::steady_clock::now();
    std::snprintf(lastStep, sizeof(lastStep), "%s seed=0x%016" PRIx64, name.c_str(), seed);
}

Watchdog::Step::~Step()
{
    std::lock_guard lock(dog.mutex);
    dog.busy = false;
}

Watchdog::Watchdog(std::chrono::milliseconds callLimit) : callPatience(callLimit), patience(callLimit)
{
    SetUnhandledExceptionFilter(reportCrash);
    watcher = std::thread([this] { watch(); });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    watcher.join();
}

void Watchdog::watch()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        changed.wait_for(lock, std::chrono::milliseconds(250));
        if (busy && std::chrono::steady_clock::now() - began > patience) {
            std::printf("fuzz: hang: %s did not return within %lld ms\n", lastStep,
                        static_cast<long long>(patience.count()));
            TerminateProcess(GetCurrentProcess(), 4);
        }
    }
}
