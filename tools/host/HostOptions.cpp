#include "tools/host/HostOptions.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

struct LevelName {
    const char* name;
    int level;
};

// Least important first; the position is the rank.
constexpr std::array<LevelName, 6> kLevels{{
    {"verbose", 1},
    {"trace", 7},
    {"debug", 3},
    {"info", 4},
    {"warning", 5},
    {"error", 6},
}};

std::optional<long> parseNumber(const std::string& text)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

int HostOptions::rankOfLevel(int level)
{
    for (std::size_t rank = 0; rank < kLevels.size(); ++rank) {
        if (kLevels[rank].level == level) {
            return static_cast<int>(rank);
        }
    }
    // A level the library does not define is shown rather than silently dropped.
    return static_cast<int>(kLevels.size());
}

std::optional<int> HostOptions::parseLevelName(const std::string& name)
{
    if (name == "none") {
        return static_cast<int>(kLevels.size()) + 1;
    }
    for (std::size_t rank = 0; rank < kLevels.size(); ++rank) {
        if (name == kLevels[rank].name) {
            return static_cast<int>(rank);
        }
    }
    return std::nullopt;
}

HostOptions HostOptions::parse(const std::vector<std::string>& arguments)
{
    HostOptions options;
    auto fail = [&options](std::string message) {
        options.error = std::move(message);
        return options;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options.showHelp = true;
            continue;
        }
        if (option == "--no-script") {
            options.runScript = false;
            continue;
        }
        if (option == "--no-start") {
            options.startIntegration = false;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            return fail("unknown option or missing value: " + option);
        }
        const std::string& value = arguments[++i];
        if (option == "--identity") {
            options.identity = value;
        } else if (option == "--table") {
            options.tableFile = value;
        } else if (option == "--log-level") {
            const auto rank = parseLevelName(value);
            if (!rank) {
                return fail("unknown log level: " + value);
            }
            options.minimumLogRank = *rank;
        } else if (option == "--seconds" || option == "--script-delay-ms" || option == "--script-step-ms") {
            const auto number = parseNumber(value);
            if (!number) {
                return fail("not a number: " + value);
            }
            if (option == "--seconds") {
                options.runFor = std::chrono::seconds(*number);
            } else if (option == "--script-delay-ms") {
                options.scriptDelay = std::chrono::milliseconds(*number);
            } else {
                options.scriptStep = std::chrono::milliseconds(*number);
            }
        } else {
            return fail("unknown option: " + option);
        }
    }
    return options;
}

std::string HostOptions::usage()
{
    return "usage: OrvexWindows.exe [options]\n"
           "  --identity ADDRESS      the signed-in user (default me@orvex.example)\n"
           "  --table FILE            presence table: lines of 'address status', status one of\n"
           "                          present, away, dnd, oof, unknown (default: a built-in table)\n"
           "  --log-level LEVEL       least important log record shown: verbose, trace, debug,\n"
           "                          info (default), warning, error, none\n"
           "  --seconds N             stop after N seconds (default: on Ctrl-C, 'quit' or end of input)\n"
           "  --no-script             do not run the built-in script of presence changes\n"
           "  --script-delay-ms N     when the script starts after start-up (default 4000)\n"
           "  --script-step-ms N      time between two steps of the script (default 1500)\n"
           "  --no-start              load the library but wait for 'start' before starting\n"
           "Commands on standard input: start, stop, restart, set ADDRESS STATUS, evict ADDRESS,\n"
           "  burst ADDRESS COUNT THREADS, stats, script, quit.\n";
}
