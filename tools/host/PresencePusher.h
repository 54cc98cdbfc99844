#pragma once

#include "tools/host/PresenceTable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HostConsole;

// Delivers presence reports the way the messenger does: on threads of its own, never on
// the thread that changed the status. Every thread is joined before the library is
// unloaded, because the callbacks it runs live in the library.
class PresencePusher {
public:
    explicit PresencePusher(HostConsole& output) : console(output) {}
    ~PresencePusher() { joinAll(); }
    PresencePusher(const PresencePusher&) = delete;
    PresencePusher& operator=(const PresencePusher&) = delete;

    // Tells every callback about the status, on a new thread.
    void push(std::vector<PresenceTable::Callback> callbacks, OutlookContactStatus status, std::string what);

    // Pushes `count` alternating reports for the address from `threads` threads and
    // prints the figures; with `printStarts`, also when each report began, in
    // performance-counter ticks, so that a receiving process can measure the latency.
    void burst(PresenceTable& table, const std::string& address, int count, int threads, bool printStarts);

    void joinAll();

private:
    // Runs one callback; the library must not throw across the boundary, and if it does
    // the stand-in says so instead of dying.
    void deliver(const PresenceTable::Callback& callback, OutlookContactStatus status);
    void spawn(std::function<void()> work);

    // A reporting thread and whether it has returned. A returned thread is freed only when
    // joined: left until shutdown, they cost some hundreds of bytes for every push.
    struct Reporter {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    HostConsole& console;
    std::mutex threadsMutex;
    std::vector<Reporter> threads;
};
