// The resolver against a mock host: which host calls it makes, what it logs, and the
// status table that turns host codes into log texts and Office availability numbers.
#include "contacts/ContactResolver.h"
#include "tests/contacts/RecordingHost.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using ::testing::_;
using ::testing::Return;

namespace {

constexpr std::int32_t kPresenceTrace = 7;

class ContactResolverTest : public ::testing::Test {
protected:
    void SetUp() override { host.reset(); }
    void TearDown() override { host.reset(); }

    RecordingHost& host = RecordingHost::instance();
    ContactResolver resolver;
};

struct TableRow {
    OutlookContactStatus status;
    const char* text;
    LONG availability;
};

const TableRow kTable[] = {
    {OutlookContactStatus::OnlinePresent, "OnlinePresent (ucAvailabilityFree)", 3500},
    {OutlookContactStatus::OnlineAwayFromComputer, "OnlineAwayFromComputer (ucAvailabilityAway)", 15500},
    {OutlookContactStatus::OnlineDoNotDisturb, "OnlineDoNotDisturb (ucAvailabilityDoNotDisturb)", 9500},
    {OutlookContactStatus::OfflineOOF, "OfflineOOF (ucAvailabilityOffline)", 18500},
    {OutlookContactStatus::PresenceUnknown, "PresenceUnknown (ucAvailabilityNone)", 0},
    // The host's eviction report and codes it may add later have no text of their own
    // and never reach Office as offline.
    {OutlookContactStatus::ContactEvicted, "ucAvailabilityOffline", 0},
    {static_cast<OutlookContactStatus>(0x4259455F), "ucAvailabilityOffline", 0},
    {static_cast<OutlookContactStatus>(0), "ucAvailabilityOffline", 0},
};

} // namespace

TEST_F(ContactResolverTest, CachedReadsAnswerTheHostsStatusAndLogItsText)
{
    for (const auto& row : kTable) {
        host.reset();
        EXPECT_CALL(host.mock(), getContactPresence("j\xC3\xB6rg@example.org", _))
            .WillOnce([&](const std::string&, IOfficeAdapterPlatformHelper::PresenceCallback callback) {
                EXPECT_FALSE(callback) << "a cached read hands the host no callback";
                return row.status;
            });

        EXPECT_EQ(resolver.requestCachedContactPresence("j\xC3\xB6rg@example.org"), row.status);

        const auto records = host.records();
        ASSERT_EQ(records.size(), 1u) << row.text;
        EXPECT_EQ(records[0].message, std::string("Get presence state: j\xC3\xB6rg@example.org, presence status: ") +
                                          row.text);
        EXPECT_EQ(records[0].level, kPresenceTrace);
        EXPECT_EQ(records[0].file, "ContactResolver");
        EXPECT_EQ(records[0].function, "ContactResolver::requestCachedContactPresence");
        EXPECT_STREQ(ContactResolver::statusText(row.status), row.text);
        EXPECT_EQ(ContactResolver::availability(row.status), row.availability) << row.text;
    }
}

TEST_F(ContactResolverTest, CallbackRequestsForwardEveryReportUnchangedAndLogIt)
{
    IOfficeAdapterPlatformHelper::PresenceCallback hostSide;
    // Whatever the host has cached at the time of the request changes nothing.
    EXPECT_CALL(host.mock(), getContactPresence("ann@example.org", _))
        .WillOnce(RecordingHost::keepCallback(&hostSide, OutlookContactStatus::OnlinePresent));

    std::vector<OutlookContactStatus> received;
    EXPECT_EQ(resolver.requestContactPresence("ann@example.org",
                                              [&](OutlookContactStatus status) { received.push_back(status); }),
              S_OK);
    ASSERT_TRUE(hostSide);
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(host.records().empty());

    hostSide(OutlookContactStatus::OnlineDoNotDisturb);
    hostSide(OutlookContactStatus::ContactEvicted);

    EXPECT_EQ(received, (std::vector{OutlookContactStatus::OnlineDoNotDisturb, OutlookContactStatus::ContactEvicted}));
    const auto records = host.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "Request contact presence state received: ann@example.org, presence status: "
                                  "OnlineDoNotDisturb (ucAvailabilityDoNotDisturb)");
    EXPECT_EQ(records[1].message,
              "Request contact presence state received: ann@example.org, presence status: ucAvailabilityOffline");
    for (const auto& record : records) {
        EXPECT_EQ(record.level, kPresenceTrace);
        EXPECT_EQ(record.function, "ContactResolver::requestContactPresence");
    }
}

TEST_F(ContactResolverTest, TheHostsCallbackOutlivesTheResolverAndNeverThrowsAtTheHost)
{
    IOfficeAdapterPlatformHelper::PresenceCallback hostSide;
    EXPECT_CALL(host.mock(), getContactPresence("bo@example.org", _)).WillOnce(RecordingHost::keepCallback(&hostSide));
    int calls = 0;
    {
        ContactResolver shortLived;
        shortLived.requestContactPresence("bo@example.org", [&](OutlookContactStatus) {
            ++calls;
            throw std::runtime_error("the caller's callback failed");
        });
    }
    ASSERT_TRUE(hostSide);
    EXPECT_NO_THROW(hostSide(OutlookContactStatus::OnlinePresent));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(host.said("Request contact presence state received: bo@example.org, presence status: "
                          "OnlinePresent (ucAvailabilityFree)"));
}
