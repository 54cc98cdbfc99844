#pragma once

#include <cstdint>

// The level numbers handed to the host with every log record; the host gives them
// their meaning. 0 and 2 are never sent.
enum class LogLevel : std::int32_t {
    Verbose = 1,
    Debug = 3,
    Info = 4,
    Warning = 5,
    Error = 6,
    PresenceTrace = 7,
};
