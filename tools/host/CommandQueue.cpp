#include "tools/host/CommandQueue.h"

void CommandQueue::push(std::string command)
{
    {
        std::lock_guard lock(mutex);
        commands.push_back(std::move(command));
    }
    ready.notify_one();
}

std::optional<std::string> CommandQueue::pop(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(mutex);
    if (!ready.wait_until(lock, deadline, [this] { return !commands.empty(); })) {
        return std::nullopt;
    }
    std::string command = std::move(commands.front());
    commands.pop_front();
    return command;
}
