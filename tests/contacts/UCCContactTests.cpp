// The contact object as Office uses it, made by the manager and watched by the host, and
// the manager's subscription.
#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/UCCContact.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactSubscription.h"
#include "tests/contacts/ContactTestFixture.h"

#include <thread>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;
using ::testing::Return;

using UCCContactTest = ContactTestFixture;

TEST_F(UCCContactTest, EachInformationTypeAnswersItsKindOfValue)
{
    const auto bo = contactFor(L"Bo.Lind@example.org");
    for (const auto type : {ucPresenceActivityId, ucPresenceActivity, ucPresenceDisplayName}) {
        Variant value;
        EXPECT_EQ(bo.contact->GetContactInformation(type, value.out()), S_OK) << type;
        ASSERT_EQ(value.type(), VT_BSTR) << type;
        EXPECT_NE(value.get().bstrVal, nullptr);
        EXPECT_EQ(SysStringLen(value.get().bstrVal), 0u);
    }
    for (const auto type : {ucPresenceLegacyInstantMessageAddresses, ucPresenceInstantMessageAddresses}) {
        Variant value;
        EXPECT_EQ(bo.contact->GetContactInformation(type, value.out()), S_OK) << type;
        ASSERT_EQ(value.type(), VT_ARRAY | VT_BSTR) << type;
        const auto addresses = elementsOf<BSTR>(value.get().parray);
        ASSERT_EQ(addresses.size(), 1u);
        EXPECT_EQ(Bstr::copyOf(addresses[0]).view(), L"Bo.Lind@example.org") << "without a scheme";
        SysFreeString(addresses[0]);
    }
    Variant custom;
    ASSERT_EQ(bo.contact->GetContactInformation(ucPresenceCustomActivity, custom.out()), S_OK);
    ASSERT_EQ(custom.type(), VT_ARRAY | VT_DISPATCH);
    const auto strings = elementsOf<IDispatch*>(custom.get().parray);
    ASSERT_EQ(strings.size(), 1u);
    ComPtr<IUCCLocaleString> localeString;
    ASSERT_EQ(strings[0]->QueryInterface(IID_PPV_ARGS(&localeString)), S_OK);
    strings[0]->Release();
    LONG locale = 0;
    EXPECT_EQ(localeString->get_LocaleId(&locale), S_OK);
    EXPECT_EQ(locale, -1);
    for (const LONG type : {2, 3, 12, 1000, -1}) {
        Variant value = Variant::fromBstr(Bstr(L"left over"));
        EXPECT_EQ(bo.contact->GetContactInformation(static_cast<ContactInformationType>(type), value.out()), E_NOTIMPL);
        EXPECT_EQ(value.type(), VT_EMPTY) << type;
    }
    Bstr uri;
    EXPECT_EQ(bo.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:Bo.Lind@example.org");
}

// What Office reads of a contact besides its presence: a contact of unified
// communications, whose settings and groups it may not change.
TEST_F(UCCContactTest, TheContactIsUnifiedCommunicationsEnabledAndFixed)
{
    const auto cy = contactFor(L"cy@example.org");
    UnifiedCommunicationType kind{};
    EXPECT_EQ(cy.contact->get_UnifiedCommunicationType(&kind), S_OK);
    EXPECT_EQ(kind, ucUnifiedCommunicationEnabled);
    VARIANT_BOOL changeable = VARIANT_TRUE;
    EXPECT_EQ(cy.contact->CanChangeSetting(static_cast<ContactSetting>(0), &changeable), S_OK);
    EXPECT_EQ(changeable, VARIANT_FALSE);
    VARIANT_BOOL movable = VARIANT_TRUE;
    EXPECT_EQ(cy.contact->CanMoveToGroup(nullptr, nullptr, &movable), S_OK);
    EXPECT_EQ(movable, VARIANT_FALSE);
}

// A batch lists every requested type, supported or not, in the order asked, and however
// Office reads the dictionary it finds the same entries: the keys once each, in ascending
// order, and every value requested in the order requested. (That each [out] VARIANT is
// written over unread, COM leaving it uninitialised, is the fuzzer's, for every member.)
TEST_F(UCCContactTest, EveryWayOfReadingABatchFindsEveryRequestedEntry)
{
    const auto fay = contactFor(L"fay@example.org");
    EXPECT_CALL(host.mock(), getContactPresence("fay@example.org", ::testing::_))
        .WillRepeatedly(Return(OutlookContactStatus::OnlinePresent));
    // Availability twice, a display name and a type no contact has.
    const std::vector<LONG> requested = {ucPresenceAvailability, ucPresenceDisplayName, 2, ucPresenceAvailability};
    const VARTYPE types[] = {VT_I4, VT_BSTR, VT_EMPTY, VT_I4};
    // A position names its key while the key's value there is the newest, among the first
    // as many positions as there are keys.
    const HRESULT keyAnswers[] = {E_FAIL, S_OK, S_OK, E_FAIL};
    ComPtr<IUCCContactInformationDictionary> dictionary;
    ASSERT_EQ(fay.contact->BatchGetContactInformation(SafeArray::ofInt32(requested).get(), &dictionary), S_OK);
    SAFEARRAY* keys = nullptr;
    ASSERT_EQ(dictionary->get_Keys(&keys), S_OK);
    EXPECT_EQ(elementsOf<LONG>(keys), (std::vector<LONG>{ucPresenceAvailability, 2, ucPresenceDisplayName}));
    SafeArrayDestroy(keys);
    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    SAFEARRAY* values = nullptr;
    ASSERT_EQ(dictionary->get_Values(&values), S_OK);
    const SafeArray allValues = SafeArray::attach(values);
    ASSERT_EQ(allValues.count(), requested.size());
    for (std::size_t at = 0; at < requested.size(); ++at) {
        SCOPED_TRACE(at);
        const auto key = static_cast<ContactInformationType>(requested[at]);
        ContactInformationType named{};
        EXPECT_EQ(dictionary->GetKeyAt(static_cast<LONG>(at), &named), keyAnswers[at]);
        if (keyAnswers[at] == S_OK) {
            EXPECT_EQ(named, key);
        }
        Variant listed;
        allValues.getElement(allValues.lowerBound() + static_cast<LONG>(at), &listed.get());
        Variant byIndex;
        Variant byKey;
        EXPECT_EQ(dictionary->GetValueAt(static_cast<LONG>(at), byIndex.out()), S_OK);
        EXPECT_EQ(dictionary->get_Item(key, byKey.out()), S_OK);
        VARIANT_BOOL contained = VARIANT_FALSE;
        EXPECT_EQ(dictionary->ContainsKey(key, &contained), S_OK);
        EXPECT_EQ(contained, VARIANT_TRUE);
        for (const Variant* value : {&listed, &byIndex, &byKey}) {
            EXPECT_EQ(value->type(), types[at]);
            if (value->type() == VT_I4) {
                EXPECT_EQ(value->get().lVal, 3500);
            }
        }
    }
    // (A key that is there is found through TryGetValue in the dispatch tests.)
    Variant found;
    VARIANT_BOOL present = VARIANT_TRUE;
    EXPECT_EQ(dictionary->TryGetValue(ucPresenceTimeZone, found.out(), &present), S_OK);
    EXPECT_EQ(present, VARIANT_FALSE);
    EXPECT_EQ(found.type(), VT_EMPTY);
    EXPECT_EQ(dictionary->ContainsKey(ucPresenceTimeZone, &present), S_OK);
    EXPECT_EQ(present, VARIANT_FALSE) << "a key never requested";
}

// The manager's one subscription object, whoever asks first, and what it does with the
// contacts Office subscribes. (That every request makes a contact with a watch of its own
// is the end-to-end tests', through the host.)
TEST_F(UCCContactTest, OneSubscriptionObjectForEveryCallerAndThread)
{
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
