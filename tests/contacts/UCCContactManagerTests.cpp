// The contact manager: which addresses become contacts, the self contact, and the one
// subscription object.
#include "client/com/Bstr.h"
#include "host/HostLog.h"
#include "contacts/UCCContactSubscription.h"
#include "tests/contacts/ContactEventSink.h"
#include "tests/contacts/ContactTestFixture.h"

#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using ::testing::_;
using ::testing::Return;
using namespace std::string_literals;

namespace {

constexpr std::int32_t kVerbose = 1;
constexpr std::int32_t kDebug = 3;
constexpr std::int32_t kError = 6;

IUCCContact* const kUntouched = reinterpret_cast<IUCCContact*>(0x5A5A);

class UCCContactManagerTest : public ContactTestFixture {};

} // namespace

TEST_F(UCCContactManagerTest, OnlyAddressesWithAnAtSignBecomeContacts)
{
    EXPECT_CALL(host.mock(), getContactPresence(_, _)).Times(0);
    host.reset();
    IUCCContact* contact = kUntouched;
    const Bstr name(L"Ann Example");
    EXPECT_EQ(manager->GetContactByUri(name.get(), &contact), E_FAIL);
    EXPECT_EQ(contact, kUntouched);
    EXPECT_EQ(host.messages(kDebug), (std::vector<std::string>{"GetContactByUri request for Ann Example",
                                                               "Contact URI is not an email address, not supported"}));
    const Bstr empty(L"");
    EXPECT_EQ(manager->GetContactByUri(empty.get(), &contact), E_FAIL);
    EXPECT_EQ(contact, kUntouched);
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());

    // The at sign alone is enough; nothing else is checked or changed.
    const auto at = contactFor(L"@");
    Bstr uri;
    EXPECT_EQ(at.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:@");
    const auto odd = contactFor(L"SIP:Odd@@Example");
    EXPECT_EQ(odd.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:SIP:Odd@@Example");
}

TEST_F(UCCContactManagerTest, MalformedAddressesAreInvalidArguments)
{
    EXPECT_CALL(host.mock(), getContactPresence(_, _)).Times(0);
    IUCCContact* contact = kUntouched;
    EXPECT_EQ(manager->GetContactByUri(nullptr, &contact), E_INVALIDARG);
    for (const auto& address : {L"ann@example.org\0evil"s, L"\0@"s, L"ann\xD800@example.org"s,
                                L"ann@example.org\xDC00"s, L"ann@example.org\xD83D"s}) {
        const Bstr text(address);
        EXPECT_EQ(manager->GetContactByUri(text.get(), &contact), E_INVALIDARG);
    }
    EXPECT_EQ(contact, kUntouched);
    EXPECT_EQ(host.messages(kError), std::vector<std::string>(6, "Invalid argument"));
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());

    // A well-formed pair of surrogates is ordinary text.
    const auto emoji = contactFor(L"\xD83D\xDE00@example.org");
    Bstr uri;
    EXPECT_EQ(emoji.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:\xD83D\xDE00@example.org");

    const Bstr address(L"ann@example.org");
    EXPECT_EQ(manager->GetContactByUri(address.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(host.messages(kError).back(), "Invalid Argument(s)");
}

TEST_F(UCCContactManagerTest, EveryRequestMakesANewContactWithItsOwnWatch)
{
    auto first = contactFor(L"ann@example.org");
    auto second = contactFor(L"ann@example.org");
    EXPECT_NE(identityOf(first.contact.Get()), identityOf(second.contact.Get()));
    EXPECT_TRUE(host.said("Start watching contact."));

    const auto sink = ContactEventSink::create();
    ASSERT_NE(advise(second.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    first.hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_EQ(sink->count(), 0u) << "the first contact's report is not the second's";
    second.hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_EQ(sink->count(), 1u);

    EXPECT_CALL(host.mock(), stopContactPresence("ann@example.org")).Times(2);
    first.contact.Reset();
    second.contact.Reset();
}

TEST_F(UCCContactManagerTest, TheSelfContactIsMadeFromTheHostsIdentity)
{
    EXPECT_CALL(host.mock(), getSelfUri()).WillOnce(Return("J\xC3\xB6rg@example.org"));
    EXPECT_CALL(host.mock(), getContactPresence("J\xC3\xB6rg@example.org", _));
    ComPtr<IUCCContact> self;
    ASSERT_EQ(manager->GetSelfContact(&self), S_OK);
    Bstr uri;
    EXPECT_EQ(self->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:J\u00F6rg@example.org");
    EXPECT_EQ(host.messages(kVerbose).front(), "Received request for self contact");
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());

    EXPECT_CALL(host.mock(), getSelfUri()).WillOnce(Return(""));
    IUCCContact* none = kUntouched;
    EXPECT_EQ(manager->GetSelfContact(&none), E_INVALIDARG);
    EXPECT_EQ(host.messages(kError).back(), "Invalid Argument(s)");
    EXPECT_CALL(host.mock(), getSelfUri()).WillOnce(Return("me@example.org"));
    EXPECT_EQ(manager->GetSelfContact(nullptr), E_INVALIDARG);
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
    ComPtr<orvex::atl::CComObject<UCCContactManager>> fresh;
    ASSERT_EQ(orvex::atl::CComObject<UCCContactManager>::CreateInstance(fresh), S_OK);
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

TEST_F(UCCContactManagerTest, SubscribingChangesNoWatch)
{
    auto lou = contactFor(L"lou@example.org");
    const auto sink = ContactEventSink::create();
    ASSERT_NE(advise(lou.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    ComPtr<IUCCContactSubscription> subscription;
    ASSERT_EQ(manager->CreateSubscription(&subscription), S_OK);
    EXPECT_CALL(host.mock(), stopContactPresence(_)).Times(0);
    EXPECT_EQ(subscription->AddContact(lou.contact.Get()), S_OK);
    EXPECT_EQ(subscription->Subscribe(ucSubscriptionFreshnessHigh, nullptr), S_OK);
    EXPECT_EQ(subscription->Unsubscribe(), S_OK);
    lou.hostSide(OutlookContactStatus::OnlinePresent);
    EXPECT_EQ(sink->count(), 1u);
    SAFEARRAY* contacts = nullptr;
    EXPECT_EQ(subscription->get_Contacts(&contacts), E_NOTIMPL);
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    EXPECT_CALL(host.mock(), stopContactPresence("lou@example.org"));
}

TEST_F(UCCContactManagerTest, UnsupportedOperationsAndTheInterfaceTable)
{
    EXPECT_EQ(manager->SuspendSubscriptions(), E_NOTIMPL);
    EXPECT_EQ(manager->ResumeSubscriptions(), E_NOTIMPL);
    IUCCContact* contact = kUntouched;
    EXPECT_EQ(manager->GetContactByTel(nullptr, &contact), E_NOTIMPL);
    EXPECT_EQ(contact, kUntouched);
    EXPECT_EQ(manager->get_Groups(nullptr), E_NOTIMPL);
    EXPECT_EQ(manager->GetSearchFields(nullptr), E_NOTIMPL);
    VARIANT state;
    VariantInit(&state);
    EXPECT_EQ(manager->Lookup(nullptr, nullptr, state, nullptr), E_NOTIMPL);

    IUCCContactManager* asManager = manager.Get();
    ComPtr<IUnknown> answered;
    EXPECT_EQ(asManager->QueryInterface(IID_IDispatch, &answered), S_OK);
    EXPECT_EQ(asManager->QueryInterface(IID_IUCCContact, &answered), E_NOINTERFACE);
    // Sinks are accepted, though nothing is ever fired to them.
    const auto sink = ContactEventSink::create();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(asManager->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCCContactManagerEvents, &point), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCCContactEvents, &point), CONNECT_E_NOCONNECTION);
}

TEST_F(UCCContactManagerTest, LifecycleLogs)
{
    host.reset();
    ComPtr<orvex::atl::CComObject<UCCContactManager>> other;
    ASSERT_EQ(orvex::atl::CComObject<UCCContactManager>::CreateInstance(other), S_OK);
    std::ostringstream address;
    address << LogAddress{static_cast<UCCContactManager*>(other.Get())};
    other.Reset();
    EXPECT_EQ(host.messages(kDebug),
              (std::vector<std::string>{"Constructor: " + address.str(), "Destructor: " + address.str()}));
}
