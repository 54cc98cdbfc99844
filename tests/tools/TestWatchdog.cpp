#include "tests/tools/TestWatchdog.h"

TestWatchdog::TestWatchdog(std::chrono::milliseconds limit, std::function<void()> onExpiry)
{
    watcher = std::thread([this, limit, onExpiry = std::move(onExpiry)] {
        std::unique_lock lock(mutex);
        if (!cancelled.wait_for(lock, limit, [this] { return stopping; })) {
            lock.unlock();
            onExpiry();
        }
    });
}

TestWatchdog::~TestWatchdog()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    cancelled.notify_all();
    watcher.join();
}
