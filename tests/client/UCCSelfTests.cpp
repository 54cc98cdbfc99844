// The signed-in user's object: its own contact through the contact manager, and the
// publishing and phone requests it declines.
#include "client/UCCLyncClient.h"
#include "client/UCCSelf.h"
#include "client/com/Bstr.h"
#include "contacts/ContactResolver.h"
#include "tests/client/EventSink.h"
#include "tests/client/HostedClientTest.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

using ::testing::_;
using ::testing::Return;
using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;

namespace {

class UCCSelfTest : public HostedClientTest {
protected:
    void SetUp() override
    {
        HostedClientTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCCSelf>::CreateInstance(object));
        self = object.Get();
        recorder().clear();
    }

    ComPtr<CComObject<UCCSelf>> object;
    ComPtr<IUCCSelf> self;
};

} // namespace

TEST_F(UCCSelfTest, ContactIsWhateverTheWiredContactManagerAnswers)
{
    auto* const untouched = reinterpret_cast<IUCCContact*>(std::uintptr_t{0x77});
    IUCCContact* unwired = untouched;
    EXPECT_EQ(self->get_Contact(&unwired), E_FAIL) << "no manager to ask before the wiring";
    EXPECT_EQ(unwired, untouched);

    ComPtr<CComObject<UCCLyncClient>> client;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCCLyncClient>::CreateInstance(client));
    client->wireContacts(std::make_shared<ContactResolver>());
    ComPtr<IUCCSelf> wired;
    ASSERT_HRESULT_SUCCEEDED(client->get_Self(&wired));

    EXPECT_CALL(host(), getSelfUri()).WillOnce(Return("me@example.org")).WillOnce(Return(""));
    ComPtr<IUCCContact> contact;
    ASSERT_EQ(wired->get_Contact(&contact), S_OK);
    ASSERT_NE(contact, nullptr);
    Bstr uri;
    ASSERT_HRESULT_SUCCEEDED(contact->get_Uri(uri.out()));
    EXPECT_EQ(uri.view(), L"sip:me@example.org") << "the contact's own form of the host's identity";
    // An empty identity: the manager's own refusal comes back unchanged.
    ComPtr<IUCCContact> none;
    EXPECT_EQ(wired->get_Contact(&none), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
}

TEST_F(UCCSelfTest, WiringTheSameManagerTwiceKeepsIt)
{
    ComPtr<CComObject<UCCLyncClient>> client;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCCLyncClient>::CreateInstance(client));
    ComPtr<IUCCContactManager> manager;
    ASSERT_HRESULT_SUCCEEDED(client->get_ContactManager(&manager));
    const ULONG references = referencesOf(manager.Get());

    object->setContactManager(manager.Get());
    EXPECT_EQ(referencesOf(manager.Get()), references + 1);
    object->setContactManager(manager.Get());
    EXPECT_EQ(referencesOf(manager.Get()), references + 1) << "no second reference for the same manager";
    object->setContactManager(nullptr);
    EXPECT_EQ(referencesOf(manager.Get()), references) << "a replaced manager is released";
}

TEST_F(UCCSelfTest, CannotSetPhonesAndIsNeverInResiliencyMode)
{
    for (const auto type : {ucContactEndpointTypeWorkPhone, ucContactEndpointTypeMobilePhone,
                            static_cast<ContactEndpointType>(99)}) {
        VARIANT_BOOL canSet = VARIANT_TRUE;
        EXPECT_EQ(self->CanSetPhone(type, &canSet), E_NOTIMPL);
        EXPECT_EQ(canSet, VARIANT_FALSE);
    }
    EXPECT_EQ(self->CanSetPhone(ucContactEndpointTypeWorkPhone, nullptr), E_NOTIMPL);

    VARIANT_BOOL resilient = VARIANT_TRUE;
    EXPECT_EQ(self->get_IsInResiliencyMode(&resilient), S_OK);
    EXPECT_EQ(resilient, VARIANT_FALSE);
    EXPECT_EQ(self->get_IsInResiliencyMode(nullptr), E_POINTER);
}

TEST_F(UCCSelfTest, AnswersIDispatchWithItsFirstInterfaceAndIsNoEventSource)
{
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(self.As(&dispatch));
    EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(self.Get()));
    ComPtr<IUCCSelf2> self2;
    EXPECT_HRESULT_SUCCEEDED(self.As(&self2));
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(self.As(&container), E_NOINTERFACE);
}
