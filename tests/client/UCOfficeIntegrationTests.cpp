// The objects that stand for the client as a whole, as Office reaches them: the
// integration object, the client it hands out, and the client's state event.
#include "client/UCCLyncClient.h"
#include "client/UCOfficeIntegration.h"
#include "client/com/Bstr.h"
#include "tests/support/Deadline.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include <array>
#include <string_view>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;
using orvex::com::Bstr;

namespace {

class ClientObjects : public HostedTest {
protected:
    void SetUp() override
    {
        HostedTest::SetUp();
        liveAtStart = liveObjects();
        ASSERT_EQ(CComObject<UCOfficeIntegration>::CreateInstance(integration), S_OK);
        integration->initialise();
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(integration->GetInterface(nullptr, oiInterfaceIUCCLyncClient, &dispatch), S_OK);
        ASSERT_EQ(dispatch.As(&client), S_OK);
    }
    void TearDown() override
    {
        client.Reset();
        integration.Reset();
        EXPECT_EQ(liveObjects(), liveAtStart) << "an object was left behind";
        HostedTest::TearDown();
    }

    LONG liveAtStart = 0;
    ComPtr<CComObject<UCOfficeIntegration>> integration;
    ComPtr<IUCCLyncClient> client;
};

} // namespace

TEST_F(ClientObjects, AuthenticatesExactlyTheTwoSupportedVersionsAndOffersThreeFeaturesToAll)
{
    const std::pair<const wchar_t*, const wchar_t*> versions[] = {
        {L"15.0.0.0", L"<authenticationinfo>"}, {L"16.0.0.0", L"<authenticationinfo>"}, {L"14.0.0.0", L""},
        {L"16.0.0.0 ", L""},  {L"16.0", L""},  {L"", L""}, {nullptr, L""},
    };
    for (const auto& [version, expected] : versions) {
        const Bstr office = version != nullptr ? Bstr(version) : Bstr();
        Bstr info;
        EXPECT_EQ(integration->GetAuthenticationInfo(office.get(), info.out()), S_OK);
        EXPECT_FALSE(info.isNull()) << "an unsupported version gets an empty answer, not a null one";
        EXPECT_EQ(info.view(), expected) << (version ? version : L"(null)");
        OIFeature features{};
        EXPECT_EQ(integration->GetSupportedFeatures(office.get(), &features), S_OK);
        EXPECT_EQ(features, 196) << "non-buddy presence, quick contacts, contact resolution";
    }
    EXPECT_EQ(integration->GetAuthenticationInfo(Bstr(L"16.0.0.0").get(), nullptr), E_POINTER);
}

// The integration object makes the client and the automation object with it, and the
// host's log names the three in that order. (Office gets both through GetInterface in the
// end-to-end tests, across processes.)
TEST_F(ClientObjects, TheIntegrationObjectLogsItselfAndTheTwoItMade)
{
    const auto made = host.messagesOf("UCOfficeIntegration::UCOfficeIntegration");
    ASSERT_EQ(made.size(), 3u);
    const std::array<std::string_view, 3> starts = {"Constructor: ", "Lynch Client: ", "Automation: "};
    for (std::size_t at = 0; at < starts.size(); ++at) {
        EXPECT_TRUE(made[at].starts_with(starts[at])) << made[at];
    }
}

// The client's members besides its state, address, self and contacts, as Office finds
// them: its type, never in suppressed or resiliency mode, and Initialize and Shutdown
// accepted and doing nothing. (That the members it declines write nothing is the fuzzer's.)
TEST_F(ClientObjects, TheClientsOtherMembersAnswerAsOfficeExpects)
{
    ClientType type{};
    EXPECT_EQ(client->get_Type(&type), S_OK);
    EXPECT_EQ(type, ucClientTypeUC);
    VARIANT_BOOL suppressed = VARIANT_TRUE;
    EXPECT_EQ(client->get_InSuppressedMode(&suppressed), S_OK);
    EXPECT_EQ(suppressed, VARIANT_FALSE);
    ComPtr<IUCCSelf> self;
    ASSERT_EQ(client->get_Self(&self), S_OK);
    VARIANT_BOOL resilient = VARIANT_TRUE;
    EXPECT_EQ(self->get_IsInResiliencyMode(&resilient), S_OK);
    EXPECT_EQ(resilient, VARIANT_FALSE);
    VARIANT noState{};
    IUCCAsynchronousOperation* operation = nullptr;
    EXPECT_EQ(client->Initialize(nullptr, nullptr, nullptr, nullptr, nullptr, {}, nullptr, noState, &operation), S_OK);
    EXPECT_EQ(client->Shutdown(nullptr, noState, &operation), S_OK);
    EXPECT_EQ(operation, nullptr);
    ClientState state{};
    EXPECT_EQ(client->get_State(&state), S_OK);
    EXPECT_EQ(state, ucClientStateSignedIn) << "Shutdown does nothing";
}

TEST_F(ClientObjects, SigningOutFiresOneStateChangeThatASinkMayReadFromWithinTheEvent)
{
    auto sink = RecordingSink<_IUCCLyncClientEvents>::create();
    ASSERT_NE(advise(client.Get(), DIID__IUCCLyncClientEvents, sink.Get()), 0u);
    ClientState seen = ucClientStateUninitialized;
    sink->onEvent = [&] {
        client->get_State(&seen);
        return DISP_E_EXCEPTION;
    };

    // On a thread of its own, as the host stops the integration: a sink that waited on
    // the firing thread's lock would never return.
    finishesWithin(std::chrono::seconds(20), "the sink's call into the client", [&] {
        integration->lyncClientObject()->setClientState(ucClientStateSignedOut);
        integration->lyncClientObject()->setClientState(ucClientStateSignedOut);
    });

    EXPECT_EQ(seen, ucClientStateSignedOut);
    ClientState after = ucClientStateUninitialized;
    EXPECT_EQ(client->get_State(&after), S_OK);
    EXPECT_EQ(after, ucClientStateSignedOut) << "a failing sink does not undo the change";
    const auto events = sink->events();
    ASSERT_EQ(events.size(), 1u) << "the repeated change fires nothing";
    EXPECT_EQ(events[0].member, 100);
    EXPECT_EQ(events[0].types, (std::vector<VARTYPE>{VT_UNKNOWN, VT_UNKNOWN}));
    EXPECT_EQ(events[0].objects[1], identityOf(client.Get()));
    EXPECT_EQ(host.messagesOf("UCCLyncClient::setClientState"),
              std::vector<std::string>{"Setting client state from: 3 to: 1"});
}
