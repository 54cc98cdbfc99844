#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the fuzzer was asked to do on its command line.
class FuzzOptions {
public:
    static FuzzOptions parse(const std::vector<std::string>& arguments);
    static std::string usage();

    bool inProcess = true;
    bool crossProcess = true;
    std::uint64_t seed = 1;
    std::uint64_t inProcessCalls = 20000;
    std::uint64_t crossProcessCalls = 2000;
    // A time limit for each of the two runs; 0 for none.
    std::chrono::seconds seconds{0};
    // The short pass: every member must be reached and the regression cases replayed.
    bool shortPass = false;
    // How many of the library's interfaces the objects must answer between them: the walk
    // goes on (within a bound) until it has met them all; 0 for no such demand.
    std::size_t interfaces = 0;
    bool showHelp = false;
    std::string error;
};
