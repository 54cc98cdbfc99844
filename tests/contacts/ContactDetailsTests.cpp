// The presence watcher against a mock host, with a clock the tests move by hand.
#include "contacts/ContactDetails.h"
#include "tests/contacts/ContactTestFixture.h"

#include <atomic>

using ::testing::_;
using ::testing::Return;

namespace {

std::atomic<std::int64_t> testNow{1'000'000};
std::int64_t testClock() { return testNow.load(); }

class ContactDetailsTest : public ContactTestFixture {
protected:
    void SetUp() override
    {
        ContactTestFixture::SetUp();
        testNow = 1'000'000;
    }

    // Starts watching `address` and hands back the callback the host was given for it; the
    // watcher's change calls are counted in `changes`.
    std::shared_ptr<ContactDetails> watching(const std::wstring& address, HostCallback& hostSide)
    {
        auto watcher = std::make_shared<ContactDetails>(orvex::com::Bstr(address).get(),
                                                        std::make_shared<ContactResolver>(), &testClock);
        EXPECT_CALL(host.mock(), getContactPresence(TextConversion::toUtf8(address), _))
            .WillOnce(RecordingHost::keepCallback(&hostSide));
        watcher->startWatchingContact([this](DISPPARAMS* params) { changes.push_back(changeKinds(params)); });
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
        EXPECT_TRUE(hostSide);
        return watcher;
    }

    // The change kinds of one notification: one positional VT_ARRAY|VT_I4 argument, which
    // the contact checks before it tells Office.
    static std::vector<LONG> changeKinds(DISPPARAMS* params)
    {
        EXPECT_EQ(params->rgvarg[0].vt, VT_ARRAY | VT_I4);
        return elementsOf<LONG>(params->rgvarg[0].parray);
    }

    std::vector<std::vector<LONG>> changes;
};

} // namespace

TEST_F(ContactDetailsTest, EvictionSilencesTheHostForTenSecondsThenResubscribes)
{
    HostCallback hostSide;
    const auto watcher = watching(L"eve@example.org", hostSide);

    testNow = 5'000'000;
    hostSide(OutlookContactStatus::ContactEvicted);
    ASSERT_EQ(changes.size(), 1u) << "an eviction is still a presence change";
    EXPECT_EQ(changes[0], std::vector<LONG>{4});
    EXPECT_TRUE(host.said("Request Contact presence state received: eve@example.org, Presence Status: "
                          "ucAvailabilityOffline"));
    EXPECT_TRUE(host.said("Contact has been evicted."));

    // Neither a cached read nor a new request while the interval runs, up to its last
    // millisecond.
    EXPECT_CALL(host.mock(), getContactPresence(_, _)).Times(0);
    EXPECT_EQ(watcher->getPresenceState(), 0);
    testNow = 5'010'000;
    EXPECT_EQ(watcher->getPresenceState(), 0);
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    EXPECT_FALSE(host.said("Resubscribe presence."));

    testNow = 5'010'001;
    HostCallback renewed;
    EXPECT_CALL(host.mock(), getContactPresence("eve@example.org", _)).WillOnce(RecordingHost::keepCallback(&renewed));
    EXPECT_EQ(watcher->getPresenceState(), 0) << "the read that resubscribes still knows nothing";
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    EXPECT_TRUE(renewed);
    EXPECT_TRUE(host.said("Resubscribe presence."));

    EXPECT_CALL(host.mock(), getContactPresence("eve@example.org", _))
        .WillOnce(Return(OutlookContactStatus::OnlinePresent));
    EXPECT_EQ(watcher->getPresenceState(), 3500);
}

TEST_F(ContactDetailsTest, AfterStopAReportIsLoggedButNotForwarded)
{
    HostCallback hostSide;
    const auto watcher = watching(L"sam@example.org", hostSide);
    EXPECT_CALL(host.mock(), stopContactPresence("sam@example.org"));
    watcher->stopWatchingContact();
    EXPECT_TRUE(host.said("Stop watching contact."));

    hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(host.said("Request Contact presence state received: sam@example.org, Presence Status: "
                          "OnlinePresent (ucAvailabilityFree)"));
}
