// The contact object as Office uses it, made by the manager and watched by the host.
#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/UCCContact.h"
#include "host/HostLog.h"
#include "tests/contacts/ContactTestFixture.h"

#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;
using ::testing::Return;

namespace {

using UCCContactTest = ContactTestFixture;

// The elements of a one-dimensional array, read as `Element`.
template <class Element>
std::vector<Element> elements(SAFEARRAY* raw)
{
    const auto array = SafeArray::copyOf(raw);
    std::vector<Element> result(array.count());
    for (std::size_t index = 0; index < result.size(); ++index) {
        array.getElement(array.lowerBound() + static_cast<LONG>(index), &result[index]);
    }
    return result;
}

} // namespace

TEST_F(UCCContactTest, EachInformationTypeAnswersItsKindOfValue)
{
    const auto bo = contactFor(L"Bo.Lind@example.org");
    const std::pair<OutlookContactStatus, LONG> availabilities[] = {
        {OutlookContactStatus::OnlinePresent, 3500},      {OutlookContactStatus::OnlineAwayFromComputer, 15500},
        {OutlookContactStatus::OnlineDoNotDisturb, 9500}, {OutlookContactStatus::OfflineOOF, 18500},
        {OutlookContactStatus::PresenceUnknown, 0},
    };
    for (const auto& [status, availability] : availabilities) {
        EXPECT_CALL(host.mock(), getContactPresence("Bo.Lind@example.org", ::testing::_)).WillOnce(Return(status));
        Variant value;
        EXPECT_EQ(bo.contact->GetContactInformation(ucPresenceAvailability, value.out()), S_OK);
        EXPECT_EQ(value.type(), VT_I4);
        EXPECT_EQ(value.get().lVal, availability);
    }
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
        const auto addresses = elements<BSTR>(value.get().parray);
        ASSERT_EQ(addresses.size(), 1u);
        EXPECT_EQ(Bstr::copyOf(addresses[0]).view(), L"Bo.Lind@example.org") << "without a scheme";
        SysFreeString(addresses[0]);
    }
    Variant custom;
    ASSERT_EQ(bo.contact->GetContactInformation(ucPresenceCustomActivity, custom.out()), S_OK);
    ASSERT_EQ(custom.type(), VT_ARRAY | VT_DISPATCH);
    const auto strings = elements<IDispatch*>(custom.get().parray);
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
    EXPECT_EQ(value.type(), VT_EMPTY) << "an unsupported type is listed with an empty value";
    ContactInformationType key{};
    EXPECT_EQ(dictionary->GetKeyAt(1, &key), S_OK);
    EXPECT_EQ(key, ucPresenceDisplayName) << "keys ascending";
}

// COM lets a caller leave an [out] VARIANT uninitialised: whatever it holds is written
// over, never read or freed, and a success always writes it.
TEST_F(UCCContactTest, OutVariantsThatArriveUninitialisedAreWrittenOnEverySuccess)
{
    const auto fay = contactFor(L"fay@example.org");
    EXPECT_CALL(host.mock(), getContactPresence("fay@example.org", ::testing::_))
        .WillRepeatedly(Return(OutlookContactStatus::OnlinePresent));
    const auto request = SafeArray::ofInt32(std::vector<LONG>{0});
    ComPtr<IUCCContactInformationDictionary> dictionary;
    ASSERT_EQ(fay.contact->BatchGetContactInformation(request.get(), &dictionary), S_OK);
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
         [&](VARIANT* value) { return dictionary->TryGetValue(ucPresenceDisplayName, value, &found); }, VT_EMPTY},
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

TEST_F(UCCContactTest, HostReportsOnHostThreadsReachEverySinkAsOneEvent)
{
    const auto ida = contactFor(L"ida@example.org");
    const auto first = ContactSink::create();
    const auto second = ContactSink::create();
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
        EXPECT_EQ(events[0].objects[1], identityOf(ida.contact.Get()));
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
    const auto sink = ContactSink::create();
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
