#include "tests/support/RecordingHost.h"

#include "host/IOfficeIntegration.h"

using ::testing::_;

RecordingHost& RecordingHost::instance()
{
    static RecordingHost host;
    return host;
}

RecordingHost::RecordingHost() : helper(std::make_shared<::testing::NiceMock<MockPlatformHelper>>())
{
    // The library holds the helper until the process ends.
    ::testing::Mock::AllowLeak(helper.get());
    ON_CALL(*helper, log(_, _, _, _, _))
        .WillByDefault([shared = store](const std::string& message, std::int32_t level, std::int32_t,
                                        const std::string& file, const std::string& function) {
            std::lock_guard lock(shared->mutex);
            shared->kept.push_back({message, level, file, function});
        });
    ON_CALL(*helper, getContactPresence(_, _)).WillByDefault(::testing::Return(OutlookContactStatus::PresenceUnknown));
    getOutlookIntegration(helper);
}

void RecordingHost::reset()
{
    ::testing::Mock::VerifyAndClearExpectations(helper.get());
    forgetRecords();
}

void RecordingHost::forgetRecords()
{
    std::lock_guard lock(store->mutex);
    store->kept.clear();
}

std::vector<RecordingHost::Record> RecordingHost::records() const
{
    std::lock_guard lock(store->mutex);
    return store->kept;
}

std::vector<std::string> RecordingHost::messagesWhere(const std::function<bool(const Record&)>& wanted) const
{
    std::vector<std::string> result;
    for (const auto& record : records()) {
        if (wanted(record)) {
            result.push_back(record.message);
        }
    }
    return result;
}
