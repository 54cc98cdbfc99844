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
    // Calls whose member and path ("IUCCContact::get_Uri (vtable)") contain one of `only`
    // (when given) and none of `skip`: to find which members a fault needs.
    std::vector<std::string> only;
    std::vector<std::string> skip;
    // Whether the host pushes presence while the calls go on.
    bool push = true;
    // Across processes, object arguments are this program's own objects only, never the
    // provider's handed back (a narrowing, to tell the two apart when a leak turns up).
    bool crossForeignOnly = false;
    // A line at every checkpoint with the calls made, the live objects and private bytes.
    bool progress = false;
    bool showHelp = false;
    std::string error;
};
