#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Runs `onExpiry` once if it is still alive after `limit`. A test that hangs on the other
// process is otherwise only cut off by ctest, which prints nothing of why; the end-to-end
// fixture uses this to show the messenger stand-in's last lines first.
class TestWatchdog {
public:
    TestWatchdog(std::chrono::milliseconds limit, std::function<void()> onExpiry);
    ~TestWatchdog();
    TestWatchdog(const TestWatchdog&) = delete;
    TestWatchdog& operator=(const TestWatchdog&) = delete;

private:
    std::mutex mutex;
    std::condition_variable cancelled;
    bool stopping = false;
    std::thread watcher;
};
