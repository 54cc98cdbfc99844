#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// What the messenger stand-in was asked to do on its command line. Every option has a
// default, so that the program runs with none.
class HostOptions {
public:
    // Where a log record's level stands in the filter, least important first. The
    // library's numbers are not in that order (presence tracing is 7), so the filter
    // ranks them instead of comparing numbers.
    static int rankOfLevel(int level);
    static std::optional<int> parseLevelName(const std::string& name);

    // Parses the arguments after the program name; on a mistake `error` says what.
    static HostOptions parse(const std::vector<std::string>& arguments);
    static std::string usage();

    std::string identity = "me@orvex.example";
    std::string tableFile;
    int minimumLogRank = 3; // Info
    std::chrono::milliseconds runFor{0};
    bool runScript = true;
    std::chrono::milliseconds scriptDelay{4000};
    std::chrono::milliseconds scriptStep{1500};
    bool startIntegration = true;
    bool showHelp = false;
    std::string error;
};
