// The root object Office creates: its construction and wiring, what it tells Office,
// what it hands out, and its shutdown event.
#include "client/UCOfficeIntegration.h"
#include "client/com/Bstr.h"
#include "tests/client/EventSink.h"
#include "tests/client/HostedClientTest.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

#include <string>
#include <vector>

using ::testing::_;
using ::testing::Return;
using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;
using namespace std::string_literals;

namespace {

class UCOfficeIntegrationTest : public HostedClientTest {
protected:
    void SetUp() override
    {
        HostedClientTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCOfficeIntegration>::CreateInstance(object));
        object->initialise();
        integration = object.Get();
        recorder().clear();
    }

    ComPtr<IDispatch> requestInterface(OIInterface requested)
    {
        ComPtr<IDispatch> value;
        EXPECT_EQ(integration->GetInterface(nullptr, requested, &value), S_OK);
        return value;
    }

    ComPtr<CComObject<UCOfficeIntegration>> object;
    ComPtr<IUCOfficeIntegration> integration;
};

struct Record {
    std::string message;
    std::string function;
    bool operator==(const Record&) const = default;
};

std::vector<Record> recordsOf(const LogRecorder& recorder)
{
    std::vector<Record> result;
    for (const auto& record : recorder.records()) {
        result.push_back({record.message, record.function});
    }
    return result;
}

void PrintTo(const Record& record, std::ostream* stream) { *stream << record.function << ": " << record.message; }

} // namespace

TEST_F(UCOfficeIntegrationTest, ConstructionAndInitialiseLogInOrderAndTeardownReleasesEveryPart)
{
    recorder().clear();
    ComPtr<CComObject<UCOfficeIntegration>> fresh;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCOfficeIntegration>::CreateInstance(fresh));
    fresh->initialise();
    const auto created = recordsOf(recorder());
    for (const auto& record : recorder().records()) {
        EXPECT_EQ(record.level, 3) << record.message;
    }

    UCCLyncClient* const client = fresh->lyncClientObject();
    ASSERT_NE(client, nullptr);
    ComPtr<IUCCContactManager> manager;
    ComPtr<IUCCSelf> self;
    ASSERT_HRESULT_SUCCEEDED(client->get_ContactManager(&manager));
    ASSERT_HRESULT_SUCCEEDED(client->get_Self(&self));
    ComPtr<IDispatch> automation;
    ASSERT_HRESULT_SUCCEEDED(fresh->GetInterface(nullptr, oiInterfaceIUCCAutomation, &automation));
    // Objects log their own address, where the object begins, not that of an interface.
    const std::string integrationAddress = LogRecorder::address(fresh.Get());
    const std::string clientAddress = LogRecorder::address(client);
    const std::string managerAddress = LogRecorder::address(static_cast<UCCContactManager*>(manager.Get()));
    const std::string selfAddress = LogRecorder::address(static_cast<UCCSelf*>(self.Get()));
    const std::string automationAddress =
        LogRecorder::address(static_cast<UCCAutomation*>(static_cast<IUCCAutomation*>(automation.Get())));

    EXPECT_THAT(created,
                ::testing::ElementsAre(
                    Record{"Constructor: " + integrationAddress, "UCOfficeIntegration::UCOfficeIntegration"},
                    Record{"Constructor: " + clientAddress, "UCCLyncClient::UCCLyncClient"},
                    Record{"Constructor: " + managerAddress, "UCCContactManager::UCCContactManager"},
                    Record{"Constructor: " + selfAddress, "UCCSelf::UCCSelf"},
                    Record{"Lynch Client: " + clientAddress, "UCOfficeIntegration::UCOfficeIntegration"},
                    Record{"Constructor: " + automationAddress, "UCCAutomation::UCCAutomation"},
                    Record{"Automation: " + automationAddress, "UCOfficeIntegration::UCOfficeIntegration"},
                    Record{"Enter", "UCOfficeIntegration::initialise"}));

    // The last reference goes: every part goes with it, the parts after their owner.
    manager.Reset();
    self.Reset();
    automation.Reset();
    recorder().clear();
    fresh.Reset();
    EXPECT_THAT(recordsOf(recorder()),
                ::testing::ElementsAre(
                    Record{"Destructor: " + integrationAddress, "UCOfficeIntegration::~UCOfficeIntegration"},
                    Record{"Destructor: " + automationAddress, "UCCAutomation::~UCCAutomation"},
                    Record{"Destructor: " + clientAddress, "UCCLyncClient::~UCCLyncClient"},
                    Record{"Destructor: " + selfAddress, "UCCSelf::~UCCSelf"},
                    Record{"Destructor: " + managerAddress, "UCCContactManager::~UCCContactManager"}));
}

TEST_F(UCOfficeIntegrationTest, AuthenticatesExactlyTheTwoSupportedOfficeVersions)
{
    for (const wchar_t* version : {L"15.0.0.0", L"16.0.0.0"}) {
        Bstr info;
        ASSERT_EQ(integration->GetAuthenticationInfo(Bstr(version).get(), info.out()), S_OK);
        EXPECT_EQ(info.view(), L"<authenticationinfo>");
    }
    // Near misses: other versions, blanks, letter case and look-alike digits, an
    // embedded NUL, the empty and the null version.
    for (const std::wstring& version :
         {L"15.0.0.1"s, L"16.0"s, L"14.0.0.0"s, L"15.0.0.0 "s, L" 16.0.0.0"s, L"V15.0.0.0"s, L"v15.0.0.0"s,
          L"\uFF11\uFF16.0.0.0"s, L"15.0.0.0\0"s, L""s}) {
        Bstr info;
        ASSERT_EQ(integration->GetAuthenticationInfo(Bstr(version).get(), info.out()), S_OK);
        EXPECT_FALSE(info.isNull()) << "an empty answer, not a null one";
        EXPECT_TRUE(info.empty());
    }
    Bstr info;
    ASSERT_EQ(integration->GetAuthenticationInfo(nullptr, info.out()), S_OK);
    EXPECT_FALSE(info.isNull());
    EXPECT_TRUE(info.empty());

    // Every request logs the version as Office gave it, in UTF-8.
    const auto records = recorder().records();
    ASSERT_EQ(records.size(), 13u);
    EXPECT_EQ(records[0].message, "Office Version: 15.0.0.0");
    EXPECT_EQ(records[9].message, "Office Version: \xEF\xBC\x91\xEF\xBC\x96.0.0.0");
    EXPECT_EQ(records[12].message, "Office Version: ");
    EXPECT_EQ(records[0].level, 4);
    EXPECT_EQ(records[0].function, "UCOfficeIntegration::GetAuthenticationInfo");
}

TEST_F(UCOfficeIntegrationTest, OffersTheSameThreeFeaturesToEveryVersion)
{
    std::vector<Bstr> versions;
    versions.emplace_back(L"15.0.0.0");
    versions.emplace_back(L"9.9");
    versions.emplace_back();
    for (const Bstr& version : versions) {
        OIFeature features = static_cast<OIFeature>(0);
        EXPECT_EQ(integration->GetSupportedFeatures(version.get(), &features), S_OK);
        EXPECT_EQ(features, 196);
    }
}

TEST_F(UCOfficeIntegrationTest, HandsOutTheOneClientAndTheOneAutomationObject)
{
    const ComPtr<IDispatch> first = requestInterface(oiInterfaceIUCCLyncClient);
    ASSERT_NE(first, nullptr);
    const ULONG referencesAfterFirst = referencesOf(first.Get());
    const ComPtr<IDispatch> second = requestInterface(oiInterfaceIUCCLyncClient);
    EXPECT_EQ(second.Get(), first.Get());
    EXPECT_EQ(referencesOf(first.Get()), referencesAfterFirst + 1) << "one more reference for each request";
    EXPECT_EQ(first.Get(), static_cast<IDispatch*>(static_cast<IUCCLyncClient*>(object->lyncClientObject())));

    const ComPtr<IDispatch> automation = requestInterface(oiInterfaceIUCCAutomation);
    ComPtr<IUCCAutomation> asAutomation;
    ASSERT_HRESULT_SUCCEEDED(automation.As(&asAutomation));
    EXPECT_EQ(asAutomation.Get(), automation.Get()) << "the primary interface itself";
    EXPECT_EQ(requestInterface(oiInterfaceIUCCAutomation).Get(), automation.Get());

    EXPECT_THAT(recorder().messages(4), ::testing::Each(::testing::StartsWith("Interface Requested: ")));
    EXPECT_EQ(recorder().messages(4).front(), "Interface Requested: 1");
}

TEST_F(UCOfficeIntegrationTest, DeclinesEveryOtherInterfaceAndLeavesTheOutValueAlone)
{
    for (const LONG requested : {3, 257, 256, 0, -1}) {
        auto* const untouched = reinterpret_cast<IDispatch*>(std::uintptr_t{0xABCD});
        IDispatch* value = untouched;
        EXPECT_EQ(integration->GetInterface(nullptr, static_cast<OIInterface>(requested), &value), E_NOTIMPL);
        EXPECT_EQ(value, untouched);
    }
    EXPECT_EQ(recorder().messages(),
              (std::vector<std::string>{"Interface Requested: 3", "Interface Requested: 257",
                                        "Interface Requested: 256", "Interface Requested: 0",
                                        "Interface Requested: -1"}));
}

TEST_F(UCOfficeIntegrationTest, AnswersItsOneServiceWithItselfWhateverInterfaceIsAsked)
{
    ComPtr<IServiceProvider> provider;
    ASSERT_HRESULT_SUCCEEDED(integration.As(&provider));
    const GUID service = {0x6b734cfb, 0x92e4, 0x42f3, {0x9a, 0x5e, 0xd4, 0xbd, 0xed, 0x5f, 0xc3, 0x57}};
    for (const IID& asked : {IID_IUnknown, IID_IDispatch, __uuidof(IUCCLyncClient)}) {
        const ULONG before = referencesOf(integration.Get());
        void* answer = nullptr;
        ASSERT_EQ(provider->QueryService(service, asked, &answer), S_OK);
        EXPECT_EQ(answer, static_cast<void*>(integration.Get()));
        EXPECT_EQ(referencesOf(integration.Get()), before + 1);
        static_cast<IUnknown*>(answer)->Release();
    }
    EXPECT_EQ(recorder().messages(3), std::vector<std::string>(3, "QueryService succeeded"));

    recorder().clear();
    GUID other = service;
    other.Data4[7] ^= 1;
    void* untouched = &other;
    void* answer = untouched;
    EXPECT_EQ(provider->QueryService(other, IID_IUnknown, &answer), E_NOTIMPL);
    EXPECT_EQ(answer, untouched);
    EXPECT_EQ(recorder().messages(6), std::vector<std::string>{"QueryService failed"});
}

TEST_F(UCOfficeIntegrationTest, AnswersItsTableButNotIDispatch)
{
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(integration.As(&dispatch), E_NOINTERFACE);
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(integration.As(&identity));
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(integration.Get()));

    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(integration.As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCOfficeIntegrationEvents, &point), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCCLyncClientEvents, &point), CONNECT_E_NOCONNECTION);
}

TEST_F(UCOfficeIntegrationTest, InitialiseGivesTheContactManagerAResolverAndTheSelfObjectThatManager)
{
    ComPtr<CComObject<UCOfficeIntegration>> fresh;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCOfficeIntegration>::CreateInstance(fresh));
    UCCLyncClient* const client = fresh->lyncClientObject();
    ComPtr<IUCCContactManager> manager;
    ASSERT_HRESULT_SUCCEEDED(client->get_ContactManager(&manager));
    ComPtr<IUCCSelf> self;
    ASSERT_HRESULT_SUCCEEDED(client->get_Self(&self));
    auto* const selfObject = static_cast<UCCSelf*>(self.Get());

    // Before: no resolver, so a new contact's watch reaches no host; no manager for the self object.
    EXPECT_CALL(host(), getContactPresence(_, _)).Times(0);
    ComPtr<IUCCContact> contact;
    ASSERT_HRESULT_SUCCEEDED(manager->GetContactByUri(Bstr(L"early@example.org").get(), &contact));
    EXPECT_EQ(selfObject->heldContactManager(), nullptr);
    ::testing::Mock::VerifyAndClearExpectations(&host());

    fresh->initialise();
    EXPECT_EQ(selfObject->heldContactManager().Get(), manager.Get());
    EXPECT_CALL(host(), getContactPresence("late@example.org", _)).WillRepeatedly(Return(OutlookContactStatus{}));
    ASSERT_HRESULT_SUCCEEDED(manager->GetContactByUri(Bstr(L"late@example.org").get(), &contact));

    // A second initialise keeps the same manager.
    fresh->initialise();
    EXPECT_EQ(selfObject->heldContactManager().Get(), manager.Get());
}

TEST_F(UCOfficeIntegrationTest, ShutdownSignsTheClientOutBeforeTellingOfficeTheMessengerGoes)
{
    using ClientSink = EventSink<_IUCCLyncClientEvents>;
    using IntegrationSink = EventSink<_IUCOfficeIntegrationEvents>;
    const auto clientSink = ClientSink::create();
    const auto integrationSink = IntegrationSink::create();
    std::vector<std::string> order;
    clientSink->onEvent = [&] {
        order.push_back("client");
        return S_OK;
    };
    integrationSink->onEvent = [&] {
        order.push_back("integration");
        return S_OK;
    };
    const ComPtr<IDispatch> client = requestInterface(oiInterfaceIUCCLyncClient);
    ASSERT_NE(adviseSink(client.Get(), DIID__IUCCLyncClientEvents, static_cast<_IUCCLyncClientEvents*>(clientSink.Get())), 0u);
    ASSERT_NE(adviseSink(integration.Get(), DIID__IUCOfficeIntegrationEvents,
                         static_cast<_IUCOfficeIntegrationEvents*>(integrationSink.Get())),
              0u);

    // As the local server stops the integration.
    object->lyncClientObject()->setClientState(ucClientStateSignedOut);
    object->getEventsTriggers().fireOnShuttingDown();

    EXPECT_EQ(order, (std::vector<std::string>{"client", "integration"}));
    const auto shuttingDown = integrationSink->events();
    ASSERT_EQ(shuttingDown.size(), 1u);
    EXPECT_EQ(shuttingDown[0].member, 50);
    EXPECT_EQ(shuttingDown[0].flags, DISPATCH_METHOD);
    EXPECT_TRUE(shuttingDown[0].types.empty());
    ASSERT_EQ(clientSink->events().size(), 1u);
    EXPECT_EQ(clientSink->events()[0].member, 100);

    // The object still answers afterwards.
    OIFeature features{};
    EXPECT_EQ(integration->GetSupportedFeatures(nullptr, &features), S_OK);
}
