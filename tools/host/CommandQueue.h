#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// Commands for the stand-in's main thread, from standard input, the console's Ctrl-C
// handler and the built-in script alike. The main thread runs them all, so that the
// integration is started, stopped and unloaded on the one thread that owns it.
class CommandQueue {
public:
    void push(std::string command);
    // The next command, or nothing when the deadline passes first.
    std::optional<std::string> pop(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::string> commands;
};
