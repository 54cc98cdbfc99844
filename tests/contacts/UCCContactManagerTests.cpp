// The contact manager: which addresses become contacts, the self contact, and the one
// subscription object.
#include "client/com/Bstr.h"
#include "host/HostLog.h"
#include "contacts/UCCContactSubscription.h"
#include "tests/contacts/ContactTestFixture.h"

#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using ::testing::_;
using ::testing::Return;
using namespace std::string_literals;

namespace {

using UCCContactManagerTest = ContactTestFixture;

} // namespace

TEST_F(UCCContactManagerTest, EveryRequestMakesANewContactWithItsOwnWatch)
{
    auto first = contactFor(L"ann@example.org");
    auto second = contactFor(L"ann@example.org");
    EXPECT_NE(identityOf(first.contact.Get()), identityOf(second.contact.Get()));
    EXPECT_TRUE(host.said("Start watching contact."));

    const auto sink = ContactSink::create();
    ASSERT_NE(advise(second.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    first.hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_EQ(sink->count(), 0u) << "the first contact's report is not the second's";
    second.hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_EQ(sink->count(), 1u);

    EXPECT_CALL(host.mock(), stopContactPresence("ann@example.org")).Times(2);
    first.contact.Reset();
    second.contact.Reset();
}

TEST_F(UCCContactManagerTest, OneSubscriptionObjectForEveryCallerAndThread)
{
    ComPtr<IUCCContactSubscription> first;
    ComPtr<IUCCContactSubscription> second;
    ASSERT_EQ(manager->CreateSubscription(&first), S_OK);
    ASSERT_EQ(manager->CreateSubscription(&second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(manager->CreateSubscription(nullptr), E_POINTER);

    // Concurrent first requests on a fresh manager.
    ComPtr<orvex::com::CComObject<UCCContactManager>> fresh;
    ASSERT_EQ(orvex::com::CComObject<UCCContactManager>::CreateInstance(fresh), S_OK);
    std::vector<ComPtr<IUCCContactSubscription>> got(8);
    std::vector<std::thread> callers;
    for (auto& slot : got) {
        callers.emplace_back([&fresh, &slot] { EXPECT_EQ(fresh->CreateSubscription(&slot), S_OK); });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    for (const auto& subscription : got) {
        ASSERT_NE(subscription, nullptr);
        EXPECT_EQ(subscription.Get(), got[0].Get());
    }
    ComPtr<IUCCContactSubscription> later;
    EXPECT_EQ(fresh->CreateSubscription(&later), S_OK);
    EXPECT_EQ(later.Get(), got[0].Get());
}
