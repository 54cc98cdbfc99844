// The contact object as Office uses it, made by the manager and watched by the mock host.
#include "client/com/Bstr.h"
#include "host/HostLog.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/UCCContact.h"
#include "tests/contacts/ContactEventSink.h"
#include "tests/contacts/ContactTestFixture.h"

#include <algorithm>
#include <thread>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;
using ::testing::Return;

namespace {

constexpr std::int32_t kVerbose = 1;
constexpr std::int32_t kDebug = 3;
constexpr std::int32_t kError = 6;

std::wstring text(BSTR value) { return std::wstring(Bstr::copyOf(value).view()); }

// The elements of a one-dimensional BSTR array.
std::vector<std::wstring> strings(SAFEARRAY* raw)
{
    const auto array = SafeArray::copyOf(raw);
    std::vector<std::wstring> result;
    for (LONG index = 0; index < static_cast<LONG>(array.count()); ++index) {
        Bstr element;
        array.getElement(index, element.out());
        result.emplace_back(element.view());
    }
    return result;
}

class UCCContactTest : public ContactTestFixture {};

} // namespace

TEST_F(UCCContactTest, AvailabilityComesFromTheHostsCache)
{
    const auto ann = contactFor(L"ann@example.org");
    EXPECT_CALL(host.mock(), getContactPresence("ann@example.org", ::testing::_))
        .WillOnce(Return(OutlookContactStatus::OnlineAwayFromComputer));
    Variant value;
    EXPECT_EQ(ann.contact->GetContactInformation(ucPresenceAvailability, value.out()), S_OK);
    EXPECT_EQ(value.type(), VT_I4);
    EXPECT_EQ(value.get().lVal, 15500);
    EXPECT_EQ(host.messages(kVerbose).back(), "Request received for contact information of type: 0");

    // Evicted a moment ago: nothing to tell and nothing asked.
    ann.hostSide(OutlookContactStatus::ContactEvicted);
    EXPECT_CALL(host.mock(), getContactPresence(::testing::_, ::testing::_)).Times(0);
    EXPECT_EQ(ann.contact->GetContactInformation(ucPresenceAvailability, value.out()), S_OK);
    EXPECT_EQ(value.get().lVal, 0);
    // Office may pass no VARIANT; the answer is dropped.
    EXPECT_EQ(ann.contact->GetContactInformation(ucPresenceAvailability, nullptr), S_OK);
}

TEST_F(UCCContactTest, TextInformationIsEmptyAndAddressesComeWithoutScheme)
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
        EXPECT_EQ(strings(value.get().parray), std::vector<std::wstring>{L"Bo.Lind@example.org"});
    }
    Bstr uri;
    EXPECT_EQ(bo.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:Bo.Lind@example.org");
    EXPECT_EQ(bo.contact->get_Uri(nullptr), E_POINTER);

    const auto prefixed = contactFor(L"sip:cy@example.org");
    EXPECT_EQ(prefixed.contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:sip:cy@example.org") << "the scheme is added whatever the address holds";
}

TEST_F(UCCContactTest, CustomActivityIsOneLocaleStringWithoutLocale)
{
    const auto dee = contactFor(L"dee@example.org");
    Variant value;
    ASSERT_EQ(dee.contact->GetContactInformation(ucPresenceCustomActivity, value.out()), S_OK);
    ASSERT_EQ(value.type(), VT_ARRAY | VT_DISPATCH);
    const auto array = SafeArray::copyOf(value.get().parray);
    ASSERT_EQ(array.count(), 1u);
    ComPtr<IDispatch> element;
    array.getElement(0, element.GetAddressOf());
    ComPtr<IUCCLocaleString> localeString;
    ASSERT_EQ(element.As(&localeString), S_OK);
    LONG locale = 0;
    EXPECT_EQ(localeString->get_LocaleId(&locale), S_OK);
    EXPECT_EQ(locale, -1);
    Bstr activity;
    EXPECT_EQ(localeString->get_Value(activity.out()), S_OK);
    EXPECT_TRUE(activity.empty());
}

TEST_F(UCCContactTest, UnsupportedTypesAnswerNotImplementedWithAnEmptyVariant)
{
    const auto eve = contactFor(L"eve@example.org");
    for (const LONG type : {2, 3, 12, 49, 56, 57, 1000, -1}) {
        Variant value = Variant::fromBstr(Bstr(L"left over"));
        EXPECT_EQ(eve.contact->GetContactInformation(static_cast<ContactInformationType>(type), value.out()),
                  E_NOTIMPL)
            << type;
        EXPECT_EQ(value.type(), VT_EMPTY) << type;
    }
    EXPECT_EQ(host.messages(kVerbose).back(), "Request received for contact information of type: -1");
}

TEST_F(UCCContactTest, BatchRequestsFillADictionaryInRequestOrder)
{
    const auto fay = contactFor(L"fay@example.org");
    EXPECT_CALL(host.mock(), getContactPresence("fay@example.org", ::testing::_))
        .WillOnce(Return(OutlookContactStatus::OnlinePresent));
    const auto request = SafeArray::ofInt32(std::vector<LONG>{0, 10, 2});
    ComPtr<IUCCContactInformationDictionary> dictionary;
    ASSERT_EQ(fay.contact->BatchGetContactInformation(request.get(), &dictionary), S_OK);

    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    Variant value;
    EXPECT_EQ(dictionary->get_Item(ucPresenceAvailability, value.out()), S_OK);
    EXPECT_EQ(value.get().lVal, 3500);
    EXPECT_EQ(dictionary->get_Item(static_cast<ContactInformationType>(2), value.out()), S_OK);
    EXPECT_EQ(value.type(), VT_EMPTY);
    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(1, &key), S_OK);
    EXPECT_EQ(key, ucPresenceDisplayName);

    const auto records = host.messages(kVerbose);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const std::string& message) {
                                return message.starts_with("Request received for contact information of type: ");
                            }),
              3);
    EXPECT_TRUE(host.said("Request received for batched contact information 3 items"));
}

TEST_F(UCCContactTest, BatchRequestsRejectArraysThatAreNotOneDimensionalInt32)
{
    const auto gus = contactFor(L"gus@example.org");
    ComPtr<IUCCContactInformationDictionary> dictionary;
    EXPECT_EQ(gus.contact->BatchGetContactInformation(nullptr, &dictionary), E_INVALIDARG);

    const auto strings = SafeArray::create(VT_BSTR, 1);
    EXPECT_EQ(gus.contact->BatchGetContactInformation(strings.get(), &dictionary), E_INVALIDARG);

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    const auto square = SafeArray::attach(SafeArrayCreate(VT_I4, 2, bounds));
    EXPECT_EQ(gus.contact->BatchGetContactInformation(square.get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(dictionary, nullptr);

    const auto valid = SafeArray::ofInt32(std::vector<LONG>{0});
    EXPECT_EQ(gus.contact->BatchGetContactInformation(valid.get(), nullptr), E_POINTER);

    // A lower bound other than 0 is still one dimension of integers.
    const auto shifted = SafeArray::create(VT_I4, 2, 5);
    ASSERT_EQ(gus.contact->BatchGetContactInformation(shifted.get(), &dictionary), S_OK);
    LONG count = 0;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1) << "two zeroes are one key";
}

TEST_F(UCCContactTest, ConversationsCanStartOnlyWithTheSignedInUser)
{
    const auto me = contactFor(L"me@example.org");
    const auto other = contactFor(L"other@example.org");
    ON_CALL(host.mock(), getSelfUri()).WillByDefault(Return("me@example.org"));

    const std::pair<ModalityTypes, VARIANT_BOOL> selfAnswers[] = {
        {ucModalityInstantMessage, VARIANT_TRUE},
        {ucModalityAudioVideo, VARIANT_TRUE},
        {static_cast<ModalityTypes>(3), VARIANT_FALSE},
        {static_cast<ModalityTypes>(4), VARIANT_FALSE},
    };
    for (const auto& [modality, expected] : selfAnswers) {
        VARIANT_BOOL answer = 7;
        EXPECT_EQ(me.contact->CanStart(modality, &answer), S_OK);
        EXPECT_EQ(answer, expected) << modality;
    }
    VARIANT_BOOL answer = 7;
    EXPECT_EQ(other.contact->CanStart(ucModalityInstantMessage, &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_TRUE(host.said("CanStart for modality: 3"));

    ON_CALL(host.mock(), getSelfUri()).WillByDefault(Return(""));
    EXPECT_EQ(me.contact->CanStart(ucModalityInstantMessage, &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(host.messages(kError).back(), "Unable to get client user Jid");
    EXPECT_EQ(me.contact->CanStart(ucModalityInstantMessage, nullptr), E_POINTER);
}

TEST_F(UCCContactTest, FixedAnswersAndTheInterfaceTable)
{
    const auto hal = contactFor(L"hal@example.org");
    VARIANT_BOOL flag = VARIANT_TRUE;
    EXPECT_EQ(hal.contact->CanChangeSetting(static_cast<ContactSetting>(0), &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    flag = VARIANT_TRUE;
    EXPECT_EQ(hal.contact->CanMoveToGroup(nullptr, nullptr, &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    UnifiedCommunicationType type{};
    EXPECT_EQ(hal.contact->get_UnifiedCommunicationType(&type), S_OK);
    EXPECT_EQ(type, ucUnifiedCommunicationEnabled);
    ComPtr<IUCCContactManager> owner;
    EXPECT_EQ(hal.contact->get_ContactManager(&owner), S_OK);
    EXPECT_EQ(identityOf(owner.Get()), identityOf(static_cast<IUCCContactManager*>(manager.Get())));

    IUCCContactSettingDictionary* settings = reinterpret_cast<IUCCContactSettingDictionary*>(0x10);
    EXPECT_EQ(hal.contact->get_Settings(&settings), E_NOTIMPL);
    EXPECT_EQ(settings, reinterpret_cast<IUCCContactSettingDictionary*>(0x10));
    EXPECT_EQ(hal.contact->get_CustomGroups(nullptr), E_NOTIMPL);
    EXPECT_EQ(hal.contact->CreateContactEndpoint(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(hal.contact->GetMultipleContactInformation(nullptr, nullptr), E_NOTIMPL);

    ComPtr<IUnknown> answered;
    EXPECT_EQ(hal.contact->QueryInterface(IID_IUCCContact2, &answered), E_NOINTERFACE);
    EXPECT_EQ(answered, nullptr);
    EXPECT_EQ(hal.contact->QueryInterface(IID_IDispatch, &answered), S_OK);
    EXPECT_EQ(hal.contact->QueryInterface(IID_IConnectionPointContainer, &answered), S_OK);
}

TEST_F(UCCContactTest, HostReportsOnHostThreadsReachEverySinkAsOneEvent)
{
    const auto ida = contactFor(L"ida@example.org");
    const auto first = ContactEventSink::create();
    const auto second = ContactEventSink::create();
    const DWORD firstCookie = advise(ida.contact.Get(), DIID__IUCCContactEvents, first.Get());
    ASSERT_NE(firstCookie, 0u);
    ASSERT_NE(advise(ida.contact.Get(), DIID__IUCCContactEvents, second.Get()), 0u);

    std::thread hostThread([&] { ida.hostSide(OutlookContactStatus::OnlineDoNotDisturb); });
    hostThread.join();

    for (const auto& sink : {first, second}) {
        const auto events = sink->events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].member, 400);
        EXPECT_EQ(events[0].flags, DISPATCH_METHOD);
        EXPECT_EQ(events[0].types, (std::vector<VARTYPE>{VT_DISPATCH, VT_DISPATCH}));
        EXPECT_EQ(events[0].source, identityOf(ida.contact.Get()));
        EXPECT_EQ(events[0].changed, (std::vector<LONG>{0, 1, 8, 7}));
    }
    EXPECT_TRUE(host.said("Contact data changed"));
    EXPECT_TRUE(host.said("Reporting contact changed through callback"));

    EXPECT_EQ(unadvise(ida.contact.Get(), DIID__IUCCContactEvents, firstCookie), S_OK);
    std::thread([&] { ida.hostSide(OutlookContactStatus::ContactEvicted); }).join();
    EXPECT_EQ(first->count(), 1u);
    EXPECT_EQ(second->count(), 2u) << "an eviction is reported like any presence";
}

TEST_F(UCCContactTest, ReleasingTheContactStopsTheWatchAndSilencesLateReports)
{
    auto jo = contactFor(L"jo@example.org");
    const auto sink = ContactEventSink::create();
    ASSERT_NE(advise(jo.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    const void* where = static_cast<UCCContact*>(jo.contact.Get());

    EXPECT_CALL(host.mock(), stopContactPresence("jo@example.org"));
    jo.contact.Reset();
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    std::ostringstream address;
    address << LogAddress{where};
    EXPECT_TRUE(host.said("Final mContactDetails: " + address.str()));
    EXPECT_TRUE(host.said("Destructor: " + address.str()));

    host.reset();
    std::thread([&] { jo.hostSide(OutlookContactStatus::OnlinePresent); }).join();
    EXPECT_EQ(sink->count(), 0u);
    for (const auto& record : host.records()) {
        EXPECT_EQ(record.file, "ContactResolver") << record.message;
    }
}

TEST_F(UCCContactTest, ChangeCallsWithoutUsableParametersAreRefused)
{
    const auto kim = contactFor(L"kim@example.org");
    const auto sink = ContactEventSink::create();
    ASSERT_NE(advise(kim.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    auto* contact = static_cast<UCCContact*>(static_cast<IUCCContact*>(kim.contact.Get()));

    UCCContact::onContactChangedDelegator(nullptr, nullptr);
    UCCContact::onContactChangedDelegator(contact, nullptr);
    EXPECT_EQ(host.messages(kError), (std::vector<std::string>{"Invalid argument(s)", "Invalid argument(s)"}));

    // No argument, an argument that is not an array of integers, and change kinds that
    // name nothing Office knows.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    UCCContact::onContactChangedDelegator(contact, &none);
    Variant notAnArray = Variant::fromInt32(4);
    DISPPARAMS scalar{&notAnArray.get(), nullptr, 1, 0};
    UCCContact::onContactChangedDelegator(contact, &scalar);
    Variant unknownKinds = Variant::fromArray(SafeArray::ofInt32(std::vector<LONG>{2, 8}));
    DISPPARAMS unknown{&unknownKinds.get(), nullptr, 1, 0};
    UCCContact::onContactChangedDelegator(contact, &unknown);
    EXPECT_EQ(sink->count(), 0u);
    EXPECT_TRUE(host.said("No changed data to report"));

    Variant both = Variant::fromArray(SafeArray::ofInt32(std::vector<LONG>{1, 4, 1}));
    DISPPARAMS named{&both.get(), nullptr, 1, 0};
    UCCContact::onContactChangedDelegator(contact, &named);
    ASSERT_EQ(sink->count(), 1u);
    EXPECT_EQ(sink->events()[0].changed, (std::vector<LONG>{10, 0, 1, 8, 7, 10}));
}
