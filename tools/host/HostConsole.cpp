#include "tools/host/HostConsole.h"

#include "tools/host/HostOptions.h"

#include <cstdio>

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

void HostConsole::print(const std::string& line)
{
    std::lock_guard lock(outputMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void HostConsole::detail(const std::string& line)
{
    if (minimumLogRank <= HostOptions::rankOfLevel(3)) {
        print(line);
    }
}

void HostConsole::logRecord(const std::string& message, std::int32_t level, std::int32_t line,
                            const std::string& file, const std::string& function)
{
    // Every object of the library logs "Constructor" and "Destructor" followed by its
    // address (some with a blank or colon between), which makes the records a census.
    if (startsWith(message, "Constructor")) {
        ++live;
    } else if (startsWith(message, "Destructor")) {
        --live;
    }
    if (HostOptions::rankOfLevel(level) < minimumLogRank) {
        return;
    }
    print("log " + std::string(levelName(level)) + " " + file + ":" + std::to_string(line) + " " + function + ": " +
          message);
}

const char* HostConsole::levelName(std::int32_t level)
{
    switch (level) {
    case 1:
        return "Verbose";
    case 3:
        return "Debug";
    case 4:
        return "Info";
    case 5:
        return "Warning";
    case 6:
        return "Error";
    case 7:
        return "PresenceTrace";
    default:
        return "Level?";
    }
}
