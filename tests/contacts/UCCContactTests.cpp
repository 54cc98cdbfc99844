// The contact object as Office uses it, made by the manager and watched by the host, and
// the manager's subscription.
#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/UCCContact.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactSubscription.h"
#include "tests/contacts/ContactTestFixture.h"

#include <cstring>
#include <functional>
#include <map>
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

// A batch lists every requested type, supported or not, in the order asked. COM lets a
// caller leave an [out] VARIANT uninitialised: whatever it holds is written over, never
// read or freed, and a success always writes it.
TEST_F(UCCContactTest, BatchRequestsFillADictionaryThatWritesEveryOutVariant)
{
    const auto fay = contactFor(L"fay@example.org");
    EXPECT_CALL(host.mock(), getContactPresence("fay@example.org", ::testing::_))
        .WillRepeatedly(Return(OutlookContactStatus::OnlinePresent));
    ComPtr<IUCCContactInformationDictionary> dictionary;
    for (const VARTYPE wrong : {VT_BSTR, VT_I2}) {
        EXPECT_EQ(fay.contact->BatchGetContactInformation(SafeArray::create(wrong, 1).get(), &dictionary), E_INVALIDARG);
    }
    SAFEARRAYBOUND square[2] = {{2, 0}, {2, 0}};
    const auto twoDimensional = SafeArray::attach(SafeArrayCreate(VT_I4, 2, square));
    EXPECT_EQ(fay.contact->BatchGetContactInformation(twoDimensional.get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(fay.contact->BatchGetContactInformation(nullptr, &dictionary), E_INVALIDARG);
    const auto request = SafeArray::ofInt32(std::vector<LONG>{0, 10, 2});
    ASSERT_EQ(fay.contact->BatchGetContactInformation(request.get(), &dictionary), S_OK);
    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(1, &key), S_OK);
    EXPECT_EQ(key, ucPresenceDisplayName);
    VARIANT_BOOL found = VARIANT_FALSE;
    struct Reader {
        const char* what;
        std::function<HRESULT(VARIANT*)> read;
        VARTYPE expected;
    };
    const Reader readers[] = {
        {"GetContactInformation",
         [&](VARIANT* value) { return fay.contact->GetContactInformation(ucPresenceAvailability, value); }, VT_I4},
        {"get_Item", [&](VARIANT* value) { return dictionary->get_Item(ucPresenceAvailability, value); }, VT_I4},
        {"GetValueAt", [&](VARIANT* value) { return dictionary->GetValueAt(0, value); }, VT_I4},
        {"TryGetValue", [&](VARIANT* value) { return dictionary->TryGetValue(ucPresenceAvailability, value, &found); },
         VT_I4},
        {"TryGetValue of a key not asked for",
         [&](VARIANT* value) { return dictionary->TryGetValue(ucPresenceTimeZone, value, &found); }, VT_EMPTY},
        {"get_Item of an unsupported type asked for",
         [&](VARIANT* value) { return dictionary->get_Item(static_cast<ContactInformationType>(2), value); }, VT_EMPTY},
    };
    for (const Reader& reader : readers) {
        VARIANT value;
        std::memset(&value, 0xA5, sizeof(value)); // a type VariantClear refuses
        EXPECT_EQ(reader.read(&value), S_OK) << reader.what;
        EXPECT_EQ(value.vt, reader.expected) << reader.what;
        if (reader.expected == VT_I4) {
            EXPECT_EQ(value.lVal, 3500) << reader.what;
        }
    }
}

// However Office reads a dictionary, it finds the same entries: the keys once each, in
// ascending order, each with its newest value, and among the values every one added, in
// the order added.
TEST_F(UCCContactTest, EveryWayOfReadingADictionaryFindsTheSameEntries)
{
    ComPtr<orvex::com::CComObject<UCCContactInformationDictionary>> filled;
    ASSERT_EQ(orvex::com::CComObject<UCCContactInformationDictionary>::CreateInstance(filled), S_OK);
    const std::pair<ContactInformationType, LONG> added[] = {
        {ucPresenceDisplayName, 1}, {ucPresenceAvailability, 2}, {ucPresenceDisplayName, 3}, {ucPresenceActivity, 4}};
    std::map<LONG, LONG> newest;
    for (const auto& [key, value] : added) {
        filled->add(key, Variant::fromInt32(value));
        newest[key] = value;
    }
    IUCCContactInformationDictionary* const dictionary = filled.Get();
    SAFEARRAY* keys = nullptr;
    ASSERT_EQ(dictionary->get_Keys(&keys), S_OK);
    std::map<LONG, LONG> found;
    for (const LONG key : elementsOf<LONG>(keys)) {
        Variant item;
        EXPECT_EQ(dictionary->get_Item(static_cast<ContactInformationType>(key), item.out()), S_OK) << key;
        VARIANT_BOOL contained = VARIANT_FALSE;
        EXPECT_EQ(dictionary->ContainsKey(static_cast<ContactInformationType>(key), &contained), S_OK);
        EXPECT_EQ(contained, VARIANT_TRUE) << key;
        EXPECT_TRUE(found.emplace(key, item.get().lVal).second) << "listed twice: " << key;
        EXPECT_EQ(found.rbegin()->first, key) << "not in ascending order";
    }
    SafeArrayDestroy(keys);
    EXPECT_EQ(found, newest);
    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, static_cast<LONG>(newest.size()));
    VARIANT_BOOL contained = VARIANT_TRUE;
    EXPECT_EQ(dictionary->ContainsKey(ucPresenceTimeZone, &contained), S_OK);
    EXPECT_EQ(contained, VARIANT_FALSE) << "a key never added";
    SAFEARRAY* values = nullptr;
    ASSERT_EQ(dictionary->get_Values(&values), S_OK);
    const auto all = elementsOf<VARIANT>(values);
    SafeArrayDestroy(values);
    ASSERT_EQ(all.size(), std::size(added));
    for (std::size_t at = 0; at < all.size(); ++at) {
        EXPECT_EQ(all[at].vt, VT_I4);
        EXPECT_EQ(all[at].lVal, added[at].second) << at;
    }
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

    // Outlook subscribes its contacts this way: accepted, and nothing of the contact kept.
    const auto ida = contactFor(L"ida@example.org");
    const ULONG references = referenceCount(ida.contact.Get());
    const auto types = SafeArray::ofInt32(std::vector<LONG>{ucPresenceAvailability});
    EXPECT_EQ(later->AddContact(ida.contact.Get()), S_OK);
    EXPECT_EQ(later->Subscribe(static_cast<ContactSubscriptionRefreshRate>(0), types.get()), S_OK);
    EXPECT_EQ(later->Unsubscribe(), S_OK);
    EXPECT_EQ(later->RemoveContact(ida.contact.Get()), S_OK);
    EXPECT_EQ(referenceCount(ida.contact.Get()), references);
}
