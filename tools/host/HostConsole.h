#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Everything the stand-in prints goes through here, one whole line at a time, so that
// lines from the library's threads, the presence threads and the command loop never
// interleave. It also counts the library's live objects from their construction and
// destruction records, whatever the log filter shows.
class HostConsole {
public:
    explicit HostConsole(int minimumRank) : minimumLogRank(minimumRank) {}

    void print(const std::string& line);
    // Detail of the host's own work, shown when the log filter shows debug records.
    void detail(const std::string& line);
    void logRecord(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
                   const std::string& function);

    long liveObjects() const { return live.load(); }
    static const char* levelName(std::int32_t level);

private:
    const int minimumLogRank;
    std::mutex outputMutex;
    std::atomic<long> live{0};
};
