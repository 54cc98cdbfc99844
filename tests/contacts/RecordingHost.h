#pragma once

#include "tests/host/MockPlatformHelper.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The mock host installed for the whole test process (the library keeps the first
// helper it is given). It keeps every log record it receives, from any thread, so that
// tests can look at what was said and by whom; other calls are the mock's.
class RecordingHost {
public:
    struct Record {
        std::string message;
        std::int32_t level;
        std::string file;
        std::string function;
    };

    // Installs the helper on first use.
    static RecordingHost& instance();

    ::testing::NiceMock<MockPlatformHelper>& mock() { return *helper; }

    // Verifies and clears the mock's expectations and forgets the records. The defaults
    // stay: log records are kept, the cache answers PresenceUnknown.
    void reset();

    std::vector<Record> records() const;
    // The messages of the records at `level`, in the order they arrived.
    std::vector<std::string> messages(std::int32_t level) const;
    bool said(const std::string& message) const;

    // An action for getContactPresence that keeps the callback the host is given and
    // answers `cached`.
    static auto keepCallback(IOfficeAdapterPlatformHelper::PresenceCallback* where,
                             OutlookContactStatus cached = OutlookContactStatus::PresenceUnknown)
    {
        return ::testing::DoAll(::testing::SaveArg<1>(where), ::testing::Return(cached));
    }

private:
    RecordingHost();
    void installDefaults();

    std::shared_ptr<::testing::NiceMock<MockPlatformHelper>> helper;
    mutable std::mutex mutex;
    std::vector<Record> kept;
};
