#pragma once

#include "tests/support/MockPlatformHelper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The host of a test process: one mock helper, handed to the library on first use (the
// library keeps the first helper it is given for the life of the process), which keeps
// every log record it receives from any thread. Other calls are the mock's.
class RecordingHost {
public:
    struct Record {
        std::string message;
        std::int32_t level;
        std::string file;
        std::string function;
    };

    static RecordingHost& instance();

    ::testing::NiceMock<MockPlatformHelper>& mock() { return *helper; }

    // Verifies and clears the mock's expectations and forgets the records; the defaults
    // stay (records are kept, the cache answers PresenceUnknown).
    void reset();
    // Forgets the records alone; expectations stay.
    void forgetRecords();

    std::vector<Record> records() const;
    std::vector<std::string> messagesWhere(const std::function<bool(const Record&)>& wanted) const;
    std::vector<std::string> messages(std::int32_t level) const
    {
        return messagesWhere([level](const Record& record) { return record.level == level; });
    }
    // The messages logged by one qualified function, in order.
    std::vector<std::string> messagesOf(const std::string& function) const
    {
        return messagesWhere([&function](const Record& record) { return record.function == function; });
    }
    bool said(const std::string& message) const
    {
        return !messagesWhere([&message](const Record& record) { return record.message == message; }).empty();
    }

    // An action for getContactPresence that keeps the callback and answers `cached`.
    static auto keepCallback(IOfficeAdapterPlatformHelper::PresenceCallback* where,
                             OutlookContactStatus cached = OutlookContactStatus::PresenceUnknown)
    {
        return ::testing::DoAll(::testing::SaveArg<1>(where), ::testing::Return(cached));
    }

private:
    RecordingHost();

    // Shared with the helper's log action: the library still logs while the process ends.
    struct Store {
        std::mutex mutex;
        std::vector<Record> kept;
    };
    std::shared_ptr<Store> store = std::make_shared<Store>();
    std::shared_ptr<::testing::NiceMock<MockPlatformHelper>> helper;
};

// A test with the process's recording host, starting and ending with it reset.
class HostedTest : public ::testing::Test {
protected:
    void SetUp() override { host.reset(); }
    void TearDown() override { host.reset(); }

    RecordingHost& host = RecordingHost::instance();
};
