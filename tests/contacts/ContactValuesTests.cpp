// The value objects a contact hands to Office: the information dictionary, the locale
// string, the change-event data and the subscription object.
#include "client/com/Bstr.h"
#include "host/HostLog.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/UCCContactInformationChangedEventData.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactSubscription.h"
#include "contacts/UCCLocaleString.h"
#include "host/OfficeIntegrationModule.h"
#include "tests/contacts/RecordingHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;

namespace {

constexpr std::int32_t kError = 6;

template <class T>
ComPtr<CComObject<T>> make()
{
    ComPtr<CComObject<T>> object;
    EXPECT_EQ(CComObject<T>::CreateInstance(object), S_OK);
    return object;
}

std::vector<LONG> int32Elements(SAFEARRAY* raw)
{
    const auto array = SafeArray::attach(raw);
    EXPECT_EQ(array.elementType(), VT_I4);
    std::vector<LONG> result(array.count());
    for (LONG index = 0; index < static_cast<LONG>(result.size()); ++index) {
        array.getElement(index, &result[static_cast<std::size_t>(index)]);
    }
    return result;
}

// What a stored value reads as: "I4:n", "BSTR:text" or "EMPTY".
std::string describe(const VARIANT& value)
{
    switch (value.vt) {
    case VT_I4:
        return "I4:" + std::to_string(value.lVal);
    case VT_BSTR:
        return "BSTR:" + Bstr::copyOf(value.bstrVal).toUtf8();
    case VT_EMPTY:
        return "EMPTY";
    default:
        return "vt " + std::to_string(value.vt);
    }
}

std::vector<std::string> describeAll(SAFEARRAY* raw)
{
    const auto array = SafeArray::attach(raw);
    EXPECT_EQ(array.elementType(), VT_VARIANT);
    std::vector<std::string> result;
    for (LONG index = 0; index < static_cast<LONG>(array.count()); ++index) {
        Variant value;
        array.getElement(index, value.out());
        result.push_back(describe(value.get()));
    }
    return result;
}

class ContactValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.reset();
        liveAtStart = COfficeIntegrationModule::instance().GetLockCount();
    }
    void TearDown() override
    {
        host.reset();
        EXPECT_EQ(COfficeIntegrationModule::instance().GetLockCount(), liveAtStart);
    }

    // A dictionary filled as a batch request for `types` fills it: availability 3500,
    // display name "Ann", anything else empty.
    static ComPtr<CComObject<UCCContactInformationDictionary>> dictionaryFor(std::vector<LONG> types)
    {
        auto dictionary = make<UCCContactInformationDictionary>();
        for (const LONG type : types) {
            Variant value;
            if (type == ucPresenceAvailability) {
                value = Variant::fromInt32(3500);
            } else if (type == ucPresenceDisplayName) {
                value = Variant::fromBstr(Bstr(L"Ann"));
            }
            dictionary->add(static_cast<ContactInformationType>(type), std::move(value));
        }
        return dictionary;
    }

    RecordingHost& host = RecordingHost::instance();
    LONG liveAtStart = 0;
};

} // namespace

TEST_F(ContactValues, DictionaryListsKeysAscendingAndValuesInRequestOrder)
{
    const auto dictionary = dictionaryFor({ucPresenceDisplayName, ucPresenceAvailability});

    SAFEARRAY* keys = nullptr;
    ASSERT_EQ(dictionary->get_Keys(&keys), S_OK);
    EXPECT_EQ(int32Elements(keys), (std::vector<LONG>{0, 10}));
    SAFEARRAY* values = nullptr;
    ASSERT_EQ(dictionary->get_Values(&values), S_OK);
    EXPECT_EQ(describeAll(values), (std::vector<std::string>{"BSTR:Ann", "I4:3500"}));

    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(0, &key), S_OK);
    EXPECT_EQ(key, ucPresenceDisplayName);
    EXPECT_EQ(dictionary->GetKeyAt(1, &key), S_OK);
    EXPECT_EQ(key, ucPresenceAvailability);
    Variant value;
    EXPECT_EQ(dictionary->GetValueAt(1, value.out()), S_OK);
    EXPECT_EQ(describe(value.get()), "I4:3500");
    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
}

TEST_F(ContactValues, DictionaryLookupsOfMissingKeysAndIndexes)
{
    const auto dictionary = dictionaryFor({ucPresenceAvailability, ucPresenceDisplayName, ucPresenceActivityId});

    // A failed lookup leaves the caller's VARIANT as it was.
    Variant untouched = Variant::fromInt32(77);
    EXPECT_EQ(dictionary->get_Item(ucPresenceActivity, &untouched.get()), E_FAIL);
    EXPECT_EQ(describe(untouched.get()), "I4:77");
    VARIANT_BOOL found = VARIANT_TRUE;
    EXPECT_EQ(dictionary->TryGetValue(ucPresenceActivity, untouched.out(), &found), S_OK);
    EXPECT_EQ(found, VARIANT_FALSE);
    EXPECT_EQ(dictionary->ContainsKey(ucPresenceActivity, &found), S_OK);
    EXPECT_EQ(found, VARIANT_FALSE);

    EXPECT_EQ(dictionary->TryGetValue(ucPresenceActivityId, untouched.out(), &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);
    EXPECT_EQ(describe(untouched.get()), "EMPTY") << "an unsupported type is kept with an empty value";
    EXPECT_EQ(dictionary->ContainsKey(ucPresenceDisplayName, &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);

    Variant value;
    EXPECT_EQ(dictionary->GetValueAt(-1, value.out()), E_FAIL);
    EXPECT_EQ(dictionary->GetValueAt(3, value.out()), E_FAIL);
    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(-1, &key), E_FAIL);
    EXPECT_EQ(dictionary->GetKeyAt(3, &key), E_FAIL);

    // Office may pass no VARIANT at all; the lookup still succeeds.
    EXPECT_EQ(dictionary->get_Item(ucPresenceAvailability, nullptr), S_OK);
    EXPECT_EQ(dictionary->GetValueAt(0, nullptr), S_OK);
    EXPECT_EQ(dictionary->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(dictionary->get_Keys(nullptr), E_POINTER);
}

TEST_F(ContactValues, ARepeatedKeyPointsAtItsLastValue)
{
    auto dictionary = make<UCCContactInformationDictionary>();
    dictionary->add(ucPresenceAvailability, Variant::fromInt32(3500));
    dictionary->add(ucPresenceAvailability, Variant::fromInt32(9500));

    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
    SAFEARRAY* values = nullptr;
    ASSERT_EQ(dictionary->get_Values(&values), S_OK);
    EXPECT_EQ(describeAll(values), (std::vector<std::string>{"I4:3500", "I4:9500"}));
    Variant value;
    EXPECT_EQ(dictionary->get_Item(ucPresenceAvailability, value.out()), S_OK);
    EXPECT_EQ(describe(value.get()), "I4:9500");
    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(0, &key), E_FAIL) << "no key sits at position 0 any more";
}

TEST_F(ContactValues, ValueObjectsAnswerTheirInterfaceAndIDispatchOnly)
{
    const auto dictionary = make<UCCContactInformationDictionary>();
    const auto localeString = make<UCCLocaleString>();
    const auto eventData = make<UCCContactInformationChangedEventData>();
    const auto subscription = make<UCCContactSubscription>();
    const std::pair<IUnknown*, IID> objects[] = {
        {static_cast<IUCCContactInformationDictionary*>(dictionary.Get()), IID_IUCCContactInformationDictionary},
        {static_cast<IUCCLocaleString*>(localeString.Get()), IID_IUCCLocaleString},
        {static_cast<IUCCContactInformationChangedEventData*>(eventData.Get()),
         IID_IUCCContactInformationChangedEventData},
        {static_cast<IUCCContactSubscription*>(subscription.Get()), IID_IUCCContactSubscription},
    };
    for (const auto& [object, primary] : objects) {
        ComPtr<IUnknown> answered;
        EXPECT_EQ(object->QueryInterface(primary, &answered), S_OK);
        EXPECT_EQ(object->QueryInterface(IID_IDispatch, &answered), S_OK);
        EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, &answered), E_NOINTERFACE);
        EXPECT_EQ(answered, nullptr);
    }
}

TEST_F(ContactValues, LocaleStringHasNoLocaleAndAnExactCopyOfItsText)
{
    const auto localeString = make<UCCLocaleString>();
    LONG locale = 0;
    EXPECT_EQ(localeString->get_LocaleId(&locale), S_OK);
    EXPECT_EQ(locale, -1);

    Bstr text;
    EXPECT_EQ(localeString->get_Value(text.out()), S_OK);
    EXPECT_TRUE(text.isNull()) << "never set";

    using namespace std::string_literals;
    const Bstr withNul(L"in a\0meeting"s);
    localeString->setValue(withNul.get());
    EXPECT_EQ(localeString->get_Value(text.out()), S_OK);
    EXPECT_EQ(text.view(), L"in a\0meeting"s);
    EXPECT_NE(text.get(), withNul.get());

    EXPECT_EQ(localeString->get_LocaleId(nullptr), E_INVALIDARG);
    EXPECT_EQ(localeString->get_Value(nullptr), E_INVALIDARG);
    EXPECT_EQ(host.messages(kError), (std::vector<std::string>{"Invalid argument", "Invalid argument"}));
}

TEST_F(ContactValues, EventDataListsAppendedTypesInOrderWithRepetitions)
{
    const auto eventData = make<UCCContactInformationChangedEventData>();
    SAFEARRAY* types = nullptr;
    ASSERT_EQ(eventData->get_ChangedContactInformation(&types), S_OK);
    ASSERT_NE(types, nullptr);
    EXPECT_TRUE(int32Elements(types).empty());

    for (const auto type : {ucPresenceDisplayName, ucPresenceAvailability, ucPresenceDisplayName}) {
        eventData->append(type);
    }
    ASSERT_EQ(eventData->get_ChangedContactInformation(&types), S_OK);
    EXPECT_EQ(int32Elements(types), (std::vector<LONG>{10, 0, 10}));
    EXPECT_EQ(eventData->get_ChangedContactInformation(nullptr), E_POINTER);
}

TEST_F(ContactValues, SubscriptionAcceptsEverythingAndReadsNothingBack)
{
    const auto subscription = make<UCCContactSubscription>();
    host.reset();
    const auto types = SafeArray::ofInt32(std::vector<LONG>{0, 10});
    EXPECT_EQ(subscription->Subscribe(ucSubscriptionFreshnessHigh, types.get()), S_OK);
    EXPECT_EQ(subscription->Subscribe(ucSubscriptionFreshnessHigh, nullptr), S_OK);
    EXPECT_EQ(subscription->AddContact(nullptr), S_OK);
    EXPECT_EQ(subscription->RemoveContact(nullptr), S_OK);
    EXPECT_EQ(subscription->Unsubscribe(), S_OK);

    SAFEARRAY* untouched = reinterpret_cast<SAFEARRAY*>(0x1234);
    EXPECT_EQ(subscription->get_Contacts(&untouched), E_NOTIMPL);
    EXPECT_EQ(untouched, reinterpret_cast<SAFEARRAY*>(0x1234));
    EXPECT_EQ(subscription->get_LastSubscribedContactInformation(&untouched), E_NOTIMPL);
    ContactSubscriptionRefreshRate rate{};
    EXPECT_EQ(subscription->get_LastSubscribedRefreshRate(&rate), E_NOTIMPL);
    const Bstr address(L"ann@example.org");
    EXPECT_EQ(subscription->AddContactByUri(address.get()), E_NOTIMPL);
    EXPECT_EQ(subscription->AddContacts(nullptr), E_NOTIMPL);
    EXPECT_TRUE(host.records().empty()) << "subscription calls log nothing";
}

TEST_F(ContactValues, ValueObjectsLogTheirLifetime)
{
    const void* where = nullptr;
    {
        const auto eventData = make<UCCContactInformationChangedEventData>();
        where = static_cast<UCCContactInformationChangedEventData*>(eventData.Get());
    }
    std::ostringstream address;
    address << LogAddress{where};
    const auto records = host.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "Constructor: " + address.str());
    EXPECT_EQ(records[1].message, "Destructor: " + address.str());
    EXPECT_EQ(records[0].level, 3);
    EXPECT_EQ(records[0].file, "UCCContactInformationChangedEventData");
}
