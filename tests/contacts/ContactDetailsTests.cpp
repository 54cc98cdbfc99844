// The presence watcher against a mock host, with a clock the tests move by hand.
#include "client/com/Bstr.h"
#include "contacts/ContactDetails.h"
#include "contacts/ContactResolver.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using orvex::com::Bstr;
using ::testing::_;
using ::testing::Return;

namespace {

std::atomic<std::int64_t> testNow{1'000'000};
std::int64_t testClock() { return testNow.load(); }

using HostCallback = IOfficeAdapterPlatformHelper::PresenceCallback;

class ContactDetailsTest : public HostedTest {
protected:
    void SetUp() override
    {
        HostedTest::SetUp();
        testNow = 1'000'000;
    }

    std::shared_ptr<ContactDetails> makeWatcher(const wchar_t* address)
    {
        const Bstr text(address);
        return std::make_shared<ContactDetails>(text.get(), resolver, &testClock);
    }

    // Starts the watch and hands back the callback the host was given for it; the
    // watcher's change calls are counted in `changes`.
    HostCallback startWatching(ContactDetails& watcher, const std::string& address)
    {
        HostCallback hostSide;
        EXPECT_CALL(host.mock(), getContactPresence(address, _)).WillOnce(RecordingHost::keepCallback(&hostSide));
        watcher.startWatchingContact([this](DISPPARAMS* params) { changes.push_back(changeKinds(params)); });
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
        EXPECT_TRUE(hostSide);
        return hostSide;
    }

    // The change kinds of one notification: one positional VT_ARRAY|VT_I4 argument.
    static std::vector<LONG> changeKinds(DISPPARAMS* params)
    {
        EXPECT_EQ(params->cArgs, 1u);
        EXPECT_EQ(params->cNamedArgs, 0u);
        EXPECT_EQ(params->rgvarg[0].vt, VT_ARRAY | VT_I4);
        LONG lowerBound = -1;
        SafeArrayGetLBound(params->rgvarg[0].parray, 1, &lowerBound);
        EXPECT_EQ(lowerBound, 0);
        return elementsOf<LONG>(params->rgvarg[0].parray);
    }

    std::shared_ptr<IContactResolver> resolver = std::make_shared<ContactResolver>();
    std::vector<std::vector<LONG>> changes;
};

} // namespace

TEST_F(ContactDetailsTest, EvictionSilencesTheHostForTenSecondsThenResubscribes)
{
    const auto watcher = makeWatcher(L"eve@example.org");
    const auto hostSide = startWatching(*watcher, "eve@example.org");

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
    const auto watcher = makeWatcher(L"sam@example.org");
    const auto hostSide = startWatching(*watcher, "sam@example.org");
    EXPECT_CALL(host.mock(), stopContactPresence("sam@example.org"));
    watcher->stopWatchingContact();
    EXPECT_TRUE(host.said("Stop watching contact."));

    hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(host.said("Request Contact presence state received: sam@example.org, Presence Status: "
                          "OnlinePresent (ucAvailabilityFree)"));
}
