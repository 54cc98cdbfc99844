#pragma once

#include "tools/common/ChildProcess.h"
#include "tools/common/CrossProcessCallCounter.h"

// The messenger stand-in (OrvexWindows.exe) of the product directory, driven as Office's
// side drives it: a command a line on its standard input, answered by the lines it prints,
// and no wait longer than the patience it was started with. Its output can still be read
// line by line as a ChildProcess's.
class MessengerStandIn : public ChildProcess {
public:
    // The figures of its `stats` line; -1 for each it did not answer with.
    struct Stats {
        long long live = -1;
        long long privateBytes = -1;
        long long callbacks = -1;
        long long watches = -1;
    };

    MessengerStandIn(const std::wstring& arguments, std::chrono::milliseconds patience);

    bool waitUntilReady();
    // Sends `line` and waits for the first line after it that contains `reply`.
    std::optional<std::string> command(const std::string& line, const std::string& reply);
    Stats stats();
    // The calls it has sent so far, by interface (it counts from the first ask); nothing
    // when it cannot count them.
    std::optional<CrossProcessCallCounter::Counts> calls();
    // Its last `count` lines, each after `prefix` and ended by a line break.
    std::string lastWords(std::size_t count, const std::string& prefix = "") const;
    // Tells it to quit and kills it when it does not; its exit code when it quit in time.
    std::optional<DWORD> stop();

private:
    const std::chrono::milliseconds patience;
};
