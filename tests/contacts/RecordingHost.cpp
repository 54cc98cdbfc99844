#include "tests/contacts/RecordingHost.h"

#include "host/IOfficeIntegration.h"

#include <algorithm>

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
    installDefaults();
    getOutlookIntegration(helper);
}

void RecordingHost::reset()
{
    ::testing::Mock::VerifyAndClearExpectations(helper.get());
    std::lock_guard lock(mutex);
    kept.clear();
}

void RecordingHost::installDefaults()
{
    ON_CALL(*helper, log(_, _, _, _, _))
        .WillByDefault([this](const std::string& message, std::int32_t level, std::int32_t, const std::string& file,
                              const std::string& function) {
            std::lock_guard lock(mutex);
            kept.push_back({message, level, file, function});
        });
    ON_CALL(*helper, getContactPresence(_, _)).WillByDefault(::testing::Return(OutlookContactStatus::PresenceUnknown));
}

std::vector<RecordingHost::Record> RecordingHost::records() const
{
    std::lock_guard lock(mutex);
    return kept;
}

std::vector<std::string> RecordingHost::messages(std::int32_t level) const
{
    std::vector<std::string> result;
    for (const auto& record : records()) {
        if (record.level == level) {
            result.push_back(record.message);
        }
    }
    return result;
}

bool RecordingHost::said(const std::string& message) const
{
    const auto all = records();
    return std::any_of(all.begin(), all.end(), [&](const Record& record) { return record.message == message; });
}
