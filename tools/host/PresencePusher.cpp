#include "tools/host/PresencePusher.h"

#include "tools/host/HostConsole.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// The library calls Office's sinks on the reporting thread, so that thread joins the
// process's multithreaded apartment for as long as it reports.
class MultithreadedApartment {
public:
    MultithreadedApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~MultithreadedApartment()
    {
        if (initialised) {
            CoUninitialize();
        }
    }
    MultithreadedApartment(const MultithreadedApartment&) = delete;
    MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;

private:
    bool initialised;
};

std::int64_t performanceCounter()
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

} // namespace

void PresencePusher::push(std::vector<PresenceTable::Callback> callbacks, OutlookContactStatus status, std::string what)
{
    console.print("push " + what + " " + PresenceTable::statusName(status) + " to " +
                  std::to_string(callbacks.size()) + " watch(es)");
    spawn([this, callbacks = std::move(callbacks), status] {
        MultithreadedApartment apartment;
        for (const auto& callback : callbacks) {
            deliver(callback, status);
        }
    });
}

void PresencePusher::burst(PresenceTable& table, const std::string& address, int count, int threadCount,
                           bool printStarts)
{
    threadCount = std::max(1, threadCount);
    count = std::max(0, count);
    std::vector<std::int64_t> starts(static_cast<std::size_t>(count));
    std::vector<std::thread> workers;
    const auto began = std::chrono::steady_clock::now();
    for (int worker = 0; worker < threadCount; ++worker) {
        workers.emplace_back([&, worker] {
            MultithreadedApartment apartment;
            for (int i = worker; i < count; i += threadCount) {
                const auto status =
                    i % 2 == 0 ? OutlookContactStatus::OnlinePresent : OutlookContactStatus::OnlineAwayFromComputer;
                const auto callbacks = table.update(address, status);
                starts[static_cast<std::size_t>(i)] = performanceCounter();
                for (const auto& callback : callbacks) {
                    deliver(callback, status);
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    char summary[256];
    std::snprintf(summary, sizeof(summary), "burst address=%s pushes=%d threads=%d ms=%.1f per-second=%.0f",
                  address.c_str(), count, threadCount, milliseconds,
                  milliseconds > 0 ? count * 1000.0 / milliseconds : 0.0);
    console.print(summary);
    if (printStarts) {
        std::string line = "burst-starts";
        for (const auto start : starts) {
            line += " " + std::to_string(start);
        }
        console.print(line);
    }
}

void PresencePusher::joinAll()
{
    std::vector<Reporter> finished;
    {
        std::lock_guard lock(threadsMutex);
        finished.swap(threads);
    }
    for (auto& reporter : finished) {
        reporter.thread.join();
    }
}

void PresencePusher::deliver(const PresenceTable::Callback& callback, OutlookContactStatus status)
{
    try {
        callback(status);
    } catch (...) {
        console.print("error: a presence callback threw an exception into the host");
    }
}

void PresencePusher::spawn(std::function<void()> work)
{
    std::lock_guard lock(threadsMutex);
    // The threads that have returned are joined here, so that only those still reporting
    // are held between pushes.
    std::erase_if(threads, [](Reporter& reporter) {
        if (!reporter.finished->load(std::memory_order_acquire)) {
            return false;
        }
        reporter.thread.join();
        return true;
    });
    auto finished = std::make_shared<std::atomic<bool>>(false);
    threads.push_back({std::thread([work = std::move(work), finished] {
                           work();
                           finished->store(true, std::memory_order_release);
                       }),
                       finished});
}
