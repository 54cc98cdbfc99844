#pragma once

#include "tests/host/MockPlatformHelper.h"

#include <cstdint>
#include <memory>
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
    // other calls stay the test's own). The records are kept as long as the helper
    // needs them: the library may still log while the process ends, after this
    // recorder is gone.
    void attachTo(MockPlatformHelper& helper);

    std::vector<Record> records() const;
    // The messages alone, or those of one level, in order.
    std::vector<std::string> messages() const;
    std::vector<std::string> messages(std::int32_t level) const;
    void clear();

    // An object's address as the library logs it.
    static std::string address(const void* object);

private:
    struct Store {
        std::mutex mutex;
        std::vector<Record> kept;
    };
    const std::shared_ptr<Store> store = std::make_shared<Store>();
};
