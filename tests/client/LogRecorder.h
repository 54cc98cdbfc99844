#pragma once

#include "tests/host/MockPlatformHelper.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Keeps every log record the library sends to a mock helper, in arrival order.
class LogRecorder {
public:
    struct Record {
        std::string message;
        std::int32_t level;
        std::string file;
        std::string function;
    };

    // Routes the helper's log calls here (as a default action, so expectations on
    // other calls stay the test's own).
    void attachTo(MockPlatformHelper& helper);

    std::vector<Record> records() const;
    // The messages alone, or those of one level, in order.
    std::vector<std::string> messages() const;
    std::vector<std::string> messages(std::int32_t level) const;
    void clear();

    // An object's address as the library logs it.
    static std::string address(const void* object);

private:
    mutable std::mutex mutex;
    std::vector<Record> kept;
};
