// What Office and the messenger see of each other through the real host contract: the
// integration started by getOutlookIntegration's object, Office's objects made by the
// registered class object, the host played by the recording helper.
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "host/LogLevel.h"
#include "host/lifecycle/LocalServer.h"
#include "tests/support/LifecycleProbe.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include "OfficeIntegrationLib.h"

#include <cstdint>
#include <map>
#include <string>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::Variant;
using ::testing::_;
using ::testing::Return;

namespace {

// The service through which Office asks for the integration object.
constexpr GUID kOfficeIntegrationService = {0x6b734cfb, 0x92e4, 0x42f3, {0x9a, 0x5e, 0xd4, 0xbd, 0xed, 0x5f, 0xc3, 0x57}};

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class OfficeBoundary : public HostedTest {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

    void TearDown() override
    {
        contacts.clear();
        manager.Reset();
        client.Reset();
        integration.Reset();
        server().stopIntegration();
        HostedTest::TearDown();
    }

    static IOfficeIntegration& server() { return *getOutlookIntegration(nullptr); }

    // Starts the integration and takes what Office takes first.
    void connect()
    {
        server().startIntegration();
        const ComPtr<IClassFactory> factory = LifecycleProbe::classObject();
        ASSERT_TRUE(factory);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&integration)), S_OK);
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(integration->GetInterface(nullptr, oiInterfaceIUCCLyncClient, &dispatch), S_OK);
        ASSERT_EQ(dispatch.As(&client), S_OK);
        ASSERT_EQ(client->get_ContactManager(&manager), S_OK);
    }

    IUCCContact* contact(const std::wstring& uri)
    {
        ComPtr<IUCCContact> made;
        EXPECT_EQ(manager->GetContactByUri(Bstr(uri.c_str()).get(), &made), S_OK);
        contacts.push_back(made);
        return made.Get();
    }

    static LONG availability(IUCCContact* contact)
    {
        Variant value;
        EXPECT_EQ(contact->GetContactInformation(ucPresenceAvailability, value.out()), S_OK);
        return value.type() == VT_I4 ? value.get().lVal : -1;
    }

    static std::wstring uriOf(IUCCContact* contact)
    {
        Bstr uri;
        EXPECT_EQ(contact->get_Uri(uri.out()), S_OK);
        return std::wstring(uri.view());
    }

    ComPtr<IUCOfficeIntegration> integration;
    ComPtr<IUCCLyncClient> client;
    ComPtr<IUCCContactManager> manager;
    std::vector<ComPtr<IUCCContact>> contacts;
};

} // namespace

// Office connects as soon as UpAndRunning reads 2: each thing start-up tells Office or the
// host must already be true when it is told.
TEST_F(OfficeBoundary, StartUpAnnouncesOnlyWhatIsAlreadyTrue)
{
    // At each announcement: UpAndRunning, and whether COM finds the class object.
    std::map<std::string, std::pair<long, bool>> seen;
    const auto note = [&seen](const std::string& announcement) {
        seen[announcement] = {LifecycleProbe::upAndRunning(), LifecycleProbe::classObject() != nullptr};
    };
    LifecycleProbe::markUpAndRunning(0);
    EXPECT_CALL(host.mock(), log(_, _, _, _, _)).WillRepeatedly([&note](const std::string& message, auto...) {
        if (message == "Setting UpAndRunning to 1" || message == "Up and running" ||
            message.starts_with("Successful registration")) {
            note(message.starts_with("Successful") ? "Successful registration" : message);
        }
    });
    EXPECT_CALL(host.mock(), classFactoryRegistered(S_OK)).WillOnce([&note] { note("classFactoryRegistered"); });

    server().startIntegration();
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());

    const std::map<std::string, std::pair<long, bool>> expected = {
        {"Setting UpAndRunning to 1", {0, false}}, // announced before it is written
        {"Successful registration", {1, false}},   // the diagnostics run while starting
        {"classFactoryRegistered", {1, true}},
        {"Up and running", {2, true}},
    };
    EXPECT_EQ(seen, expected);
}

TEST_F(OfficeBoundary, EachHostStatusReachesOfficeAsItsAvailability)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    struct Row {
        OutlookContactStatus status;
        LONG pulled;
        // Read after the host pushed the status while its cache says present: a push
        // only makes Office read again, except an eviction, which reads as none.
        LONG afterPush;
    };
    const Row rows[] = {
        {OutlookContactStatus::OnlinePresent, 3500, 3500},
        {OutlookContactStatus::OnlineAwayFromComputer, 15500, 3500},
        {OutlookContactStatus::OnlineDoNotDisturb, 9500, 3500},
        {OutlookContactStatus::OfflineOOF, 18500, 3500},
        {OutlookContactStatus::PresenceUnknown, 0, 3500},
        {OutlookContactStatus::ContactEvicted, 0, 0},
        {static_cast<OutlookContactStatus>(0), 0, 3500},
        {static_cast<OutlookContactStatus>(0x4E4C4E21), 0, 3500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<std::uint32_t>(row.status));
        IOfficeAdapterPlatformHelper::PresenceCallback report;
        EXPECT_CALL(host.mock(), getContactPresence("ann@example.org", _))
            .WillRepeatedly([&report, &row](const std::string&, IOfficeAdapterPlatformHelper::PresenceCallback callback) {
                if (callback) {
                    report = std::move(callback);
                }
                return row.status;
            });
        IUCCContact* ann = contact(L"ann@example.org");
        ASSERT_TRUE(report);
        EXPECT_EQ(availability(ann), row.pulled);

        auto sink = RecordingSink<_IUCCContactEvents>::create();
        ASSERT_NE(advise(ann, DIID__IUCCContactEvents, sink.Get()), 0u);
        EXPECT_CALL(host.mock(), getContactPresence("ann@example.org", _))
            .WillRepeatedly(Return(OutlookContactStatus::OnlinePresent));
        report(row.status);
        EXPECT_EQ(sink->events().size(), 1u);
        EXPECT_EQ(availability(ann), row.afterPush);
        contacts.clear();
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    }
}

// Office asks the integration object for its service: the one service it answers, with
// the integration itself whatever interface is asked for; any other is declined and logged.
TEST_F(OfficeBoundary, TheIntegrationServesItsOwnServiceAlone)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    ComPtr<IServiceProvider> services;
    ASSERT_EQ(integration.As(&services), S_OK);
    ComPtr<IUnknown> served;
    EXPECT_EQ(services->QueryService(kOfficeIntegrationService, IID_IServiceProvider,
                                     reinterpret_cast<void**>(served.GetAddressOf())),
              S_OK);
    EXPECT_EQ(served.Get(), static_cast<IUnknown*>(integration.Get()));
    host.forgetRecords();
    void* declined = nullptr;
    EXPECT_EQ(services->QueryService(IID_IUnknown, IID_IUnknown, &declined), E_NOTIMPL);
    EXPECT_EQ(host.messages(static_cast<std::int32_t>(LogLevel::Error)), std::vector<std::string>{"QueryService failed"});
}

// Office offers a conversation only where CanStart says yes: with the signed-in user
// alone (reached by any path), for instant messages or a call, one at a time.
TEST_F(OfficeBoundary, OnlyTheSignedInUserCanStartAConversation)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    ON_CALL(host.mock(), getSelfUri()).WillByDefault(Return("me@example.org"));
    ComPtr<IUCCSelf> self;
    ASSERT_EQ(client->get_Self(&self), S_OK);
    ComPtr<IUCCContact> viaSelf;
    ASSERT_EQ(self->get_Contact(&viaSelf), S_OK);
    ComPtr<IUCCContact> viaManager;
    ASSERT_EQ(manager->GetSelfContact(&viaManager), S_OK);
    ComPtr<IUCCContactManager> selfManager;
    ASSERT_EQ(viaSelf->get_ContactManager(&selfManager), S_OK);
    EXPECT_EQ(identityOf(selfManager.Get()), identityOf(manager.Get())) << "the self contact is the client's";

    const std::pair<IUCCContact*, bool> people[] = {
        {viaSelf.Get(), true},                {viaManager.Get(), true},
        {contact(L"me@example.org"), true},   {contact(L"Me@example.org"), false},
        {contact(L"me@example.org.evil"), false}, {contact(L"ann@example.org"), false},
    };
    const std::pair<ModalityTypes, bool> modalities[] = {
        {ucModalityInstantMessage, true},
        {ucModalityAudioVideo, true},
        {static_cast<ModalityTypes>(ucModalityInstantMessage | ucModalityAudioVideo), false},
        {static_cast<ModalityTypes>(0), false},
        {static_cast<ModalityTypes>(4), false},
    };
    for (const auto& [person, isSelf] : people) {
        if (isSelf) {
            EXPECT_EQ(uriOf(person), L"sip:me@example.org");
        }
        for (const auto& [modality, startable] : modalities) {
            VARIANT_BOOL canStart = 7;
            EXPECT_EQ(person->CanStart(modality, &canStart), S_OK);
            EXPECT_EQ(canStart, isSelf && startable ? VARIANT_TRUE : VARIANT_FALSE)
                << uriOf(person) << " modality " << modality;
        }
    }
    // Without an identity from the messenger nobody is the user.
    ON_CALL(host.mock(), getSelfUri()).WillByDefault(Return(""));
    VARIANT_BOOL canStart = VARIANT_TRUE;
    EXPECT_EQ(viaManager->CanStart(ucModalityInstantMessage, &canStart), S_OK);
    EXPECT_EQ(canStart, VARIANT_FALSE);
}

// Addresses go to the host as UTF-8 and come back to Office as UTF-16, unchanged; those
// without an at sign are refused.
TEST_F(OfficeBoundary, AddressesBeyondAsciiCrossTheHostBoundaryIntact)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    const std::pair<std::wstring, std::string> addresses[] = {
        {L"j\u00FCrgen.m\u00FCller@example.org", utf8(u8"jürgen.müller@example.org")},
        {L"\u738B\u4F1F@\u4F8B\u5B50.\u4E2D\u56FD", utf8(u8"王伟@例子.中国")},
        {L"\U0001F600x@example.org", utf8(u8"😀x@example.org")},
    };
    for (const auto& [wide, narrow] : addresses) {
        EXPECT_CALL(host.mock(), getContactPresence(narrow, _)).WillRepeatedly(Return(OutlookContactStatus::OfflineOOF));
        IUCCContact* person = contact(wide);
        EXPECT_EQ(uriOf(person), L"sip:" + wide);
        EXPECT_EQ(availability(person), 18500) << "the host was asked for the address it knows";

        ON_CALL(host.mock(), getSelfUri()).WillByDefault(Return(narrow));
        Bstr uri;
        EXPECT_EQ(client->get_Uri(uri.out()), S_OK);
        EXPECT_EQ(uri.view(), wide);
        VARIANT_BOOL canStart = VARIANT_FALSE;
        EXPECT_EQ(person->CanStart(ucModalityInstantMessage, &canStart), S_OK);
        EXPECT_EQ(canStart, VARIANT_TRUE) << "the user's own contact";
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    }
    // Text that is not well-formed UTF-16 has no UTF-8 form: it is refused before it
    // reaches the host.
    EXPECT_CALL(host.mock(), getContactPresence(_, _)).Times(0);
    const wchar_t broken[] = {L'a', 0xD800, L'@', L'b', 0};
    ComPtr<IUCCContact> refused;
    EXPECT_EQ(manager->GetContactByUri(Bstr(broken).get(), &refused), E_INVALIDARG);
    EXPECT_EQ(manager->GetContactByUri(nullptr, &refused), E_INVALIDARG);
    for (const wchar_t* address : {L"alice", L"", L"sip:alice"}) {
        EXPECT_EQ(manager->GetContactByUri(Bstr(address).get(), &refused), E_FAIL) << address;
    }
    EXPECT_FALSE(refused);
    EXPECT_TRUE(host.said("Contact URI is not an email address, not supported"));
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    EXPECT_EQ(uriOf(contact(L"@")), L"sip:@");
}
