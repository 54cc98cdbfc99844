#include "tools/common/MessengerStandIn.h"

#include "tools/common/ProductInstallation.h"

#include <cstdlib>

MessengerStandIn::MessengerStandIn(const std::wstring& arguments, std::chrono::milliseconds longestWait)
    : ChildProcess(ProductInstallation::productFile(L"OrvexWindows.exe"), arguments), patience(longestWait)
{
}

bool MessengerStandIn::waitUntilReady()
{
    return started() && waitForLine("host: ready", patience);
}

std::optional<std::string> MessengerStandIn::command(const std::string& line, const std::string& reply)
{
    const std::size_t from = lineCount();
    send(line);
    return waitForLine(reply, patience, from);
}

MessengerStandIn::Stats MessengerStandIn::stats()
{
    const std::string line = command("stats", "stats live=").value_or("");
    const auto field = [&line](const std::string& name) {
        const auto at = line.find(" " + name + "=");
        return at == std::string::npos ? -1LL : std::atoll(line.c_str() + at + name.size() + 2);
    };
    return {field("live"), field("private"), field("callbacks"), field("watches")};
}

std::optional<CrossProcessCallCounter::Counts> MessengerStandIn::calls()
{
    const auto line = command("calls", "calls");
    return line && line->rfind("calls", 0) == 0 ? std::optional(CrossProcessCallCounter::parse(*line)) : std::nullopt;
}

std::string MessengerStandIn::lastWords(std::size_t count, const std::string& prefix) const
{
    std::string text;
    for (const std::string& line : lastLines(count)) {
        text += prefix + line + "\n";
    }
    return text;
}

std::optional<DWORD> MessengerStandIn::stop()
{
    send("quit");
    const auto exitCode = waitForExit(patience);
    if (!exitCode) {
        kill();
    }
    return exitCode;
}
