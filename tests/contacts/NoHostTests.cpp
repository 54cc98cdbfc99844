// A process whose host gave no helper: presence questions have nobody to ask.
#include "client/com/Bstr.h"
#include "contacts/ContactDetails.h"
#include "contacts/ContactResolver.h"
#include "client/com/Variant.h"
#include "contacts/UCCContactManager.h"
#include "host/IOfficeIntegration.h"

#include <gtest/gtest.h>

namespace {

class NoHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() { getOutlookIntegration(nullptr); }
};

} // namespace

TEST_F(NoHost, TheResolverFailsRequestsAndAnswersUnknown)
{
    ContactResolver resolver;
    auto token = std::make_shared<int>(0);
    bool called = false;
    EXPECT_EQ(resolver.requestContactPresence("a@example.org",
                                              [token, &called](OutlookContactStatus) { called = true; }),
              E_FAIL);
    EXPECT_EQ(token.use_count(), 1) << "the callback is dropped, not kept somewhere";
    EXPECT_FALSE(called);
    EXPECT_EQ(resolver.requestCachedContactPresence("a@example.org"), OutlookContactStatus::PresenceUnknown);
}

TEST_F(NoHost, AWatcherStartsAndStopsAndAnswersNoAvailability)
{
    const orvex::com::Bstr address(L"a@example.org");
    const auto watcher = std::make_shared<ContactDetails>(address.get(), std::make_shared<ContactResolver>());
    bool changed = false;
    watcher->startWatchingContact([&](DISPPARAMS*) { changed = true; });
    EXPECT_EQ(watcher->getPresenceState(), 0);
    EXPECT_NO_THROW(watcher->stopWatchingContact());
    EXPECT_FALSE(changed);
}

TEST_F(NoHost, TheManagerStillMakesContactsButNoSelfContact)
{
    Microsoft::WRL::ComPtr<orvex::atl::CComObject<UCCContactManager>> manager;
    ASSERT_EQ(orvex::atl::CComObject<UCCContactManager>::CreateInstance(manager), S_OK);
    manager->setResolver(std::make_shared<ContactResolver>());

    IUCCContact* self = reinterpret_cast<IUCCContact*>(0x5A5A);
    EXPECT_EQ(manager->GetSelfContact(&self), E_FAIL);
    EXPECT_EQ(self, reinterpret_cast<IUCCContact*>(0x5A5A));

    const orvex::com::Bstr address(L"a@example.org");
    Microsoft::WRL::ComPtr<IUCCContact> contact;
    ASSERT_EQ(manager->GetContactByUri(address.get(), &contact), S_OK);
    orvex::com::Variant availability;
    EXPECT_EQ(contact->GetContactInformation(ucPresenceAvailability, availability.out()), S_OK);
    EXPECT_EQ(availability.type(), VT_I4);
    EXPECT_EQ(availability.get().lVal, 0);
    VARIANT_BOOL canStart = VARIANT_TRUE;
    EXPECT_EQ(contact->CanStart(ucModalityInstantMessage, &canStart), S_OK);
    EXPECT_EQ(canStart, VARIANT_FALSE) << "without a host nobody is the signed-in user";
}
