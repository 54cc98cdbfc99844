// The client object: what it answers, its state and the OnStateChanged event.
#include "client/UCCLyncClient.h"
#include "client/com/Bstr.h"
#include "tests/client/EventSink.h"
#include "tests/client/HostedClientTest.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

#include <chrono>
#include <cstdlib>
#include <future>

using ::testing::Return;
using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;

namespace {

using ClientSink = EventSink<_IUCCLyncClientEvents>;

class UCCLyncClientTest : public HostedClientTest {
protected:
    void SetUp() override
    {
        HostedClientTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCCLyncClient>::CreateInstance(object));
        client = object.Get();
        sink = ClientSink::create();
        ASSERT_NE(adviseSink(client.Get(), DIID__IUCCLyncClientEvents, static_cast<_IUCCLyncClientEvents*>(sink.Get())),
                  0u);
        recorder().clear();
    }

    ClientState state()
    {
        ClientState value = ucClientStateUninitialized;
        EXPECT_EQ(client->get_State(&value), S_OK);
        return value;
    }

    ComPtr<CComObject<UCCLyncClient>> object;
    ComPtr<IUCCLyncClient> client;
    ComPtr<CComObject<ClientSink>> sink;
};

} // namespace

TEST_F(UCCLyncClientTest, AFreshClientIsSignedInAndLeadsToItsContactManagerAndSelf)
{
    EXPECT_EQ(state(), ucClientStateSignedIn);
    ClientType type{};
    EXPECT_EQ(client->get_Type(&type), S_OK);
    EXPECT_EQ(type, ucClientTypeUC);

    ComPtr<IUCCSelf> self;
    ASSERT_EQ(client->get_Self(&self), S_OK);
    ASSERT_NE(self, nullptr);
    ComPtr<IUCCContactManager> manager;
    ASSERT_EQ(client->get_ContactManager(&manager), S_OK);
    ASSERT_NE(manager, nullptr);
    const ULONG references = referencesOf(manager.Get());

    ComPtr<IUCCClient2> client2;
    ASSERT_HRESULT_SUCCEEDED(client.As(&client2));
    ComPtr<IUCCContactManager> privateManager;
    ASSERT_EQ(client2->get_PrivateContactManager(&privateManager), S_OK);
    EXPECT_EQ(privateManager.Get(), manager.Get()) << "one manager for both";
    EXPECT_EQ(referencesOf(manager.Get()), references + 1) << "each hand-out adds a reference";
}

TEST_F(UCCLyncClientTest, AnswersItsTableButNotTheOlderClientInterface)
{
    ComPtr<IUCCClient> older;
    EXPECT_EQ(client.As(&older), E_NOINTERFACE);
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(client.As(&dispatch));
    EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(client.Get()));
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(client.As(&identity));
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(client.Get()));
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(client.As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCCLyncClientEvents, &point), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(DIID__IUCCClientEvents, &point), CONNECT_E_NOCONNECTION);
}

TEST_F(UCCLyncClientTest, UriIsTheHostsIdentityAndAnEmptyOneIsANullString)
{
    EXPECT_CALL(host(), getSelfUri()).WillOnce(Return("sip:j\xC3\xB6rg@example.org")).WillOnce(Return(""));
    Bstr uri;
    ASSERT_EQ(client->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:j\u00F6rg@example.org") << "as the host gives it, no scheme added or removed";
    ASSERT_EQ(client->get_Uri(uri.out()), S_OK);
    EXPECT_TRUE(uri.isNull());
}

TEST_F(UCCLyncClientTest, SigningOutFiresOneStateChangeAndRepeatingItFiresNothing)
{
    object->setClientState(ucClientStateSignedOut);

    EXPECT_EQ(state(), ucClientStateSignedOut);
    const auto events = sink->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].member, 100);
    EXPECT_EQ(events[0].flags, DISPATCH_METHOD);
    // The parameter array runs from the last argument: the event data, then the source.
    ASSERT_EQ(events[0].types, (std::vector<VARTYPE>{VT_UNKNOWN, VT_UNKNOWN}));
    ComPtr<IUnknown> source;
    ASSERT_HRESULT_SUCCEEDED(client.As(&source));
    EXPECT_EQ(events[0].objects[1].Get(), source.Get());
    ComPtr<IUCCClientStateChangedEventData> data;
    ASSERT_HRESULT_SUCCEEDED(events[0].objects[0].As(&data));
    ClientState oldState{};
    ClientState newState{};
    LONG status = -1;
    EXPECT_EQ(data->get_OldState(&oldState), S_OK);
    EXPECT_EQ(data->get_NewState(&newState), S_OK);
    EXPECT_EQ(data->get_StatusCode(&status), S_OK);
    EXPECT_EQ(oldState, ucClientStateSignedIn);
    EXPECT_EQ(newState, ucClientStateSignedOut);
    EXPECT_EQ(status, 0);

    const auto records = recorder().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Setting client state from: 3 to: 1");
    EXPECT_EQ(records[0].level, 3);
    EXPECT_EQ(records[0].function, "UCCLyncClient::setClientState");

    recorder().clear();
    object->setClientState(ucClientStateSignedOut);
    EXPECT_EQ(sink->events().size(), 1u);
    EXPECT_TRUE(recorder().records().empty());
}

TEST_F(UCCLyncClientTest, ASinkMayReadTheClientFromInsideTheEvent)
{
    ClientState seen = ucClientStateUninitialized;
    HRESULT selfResult = E_UNEXPECTED;
    HRESULT managerResult = E_UNEXPECTED;
    sink->onEvent = [&] {
        client->get_State(&seen);
        ComPtr<IUCCSelf> self;
        selfResult = client->get_Self(&self);
        ComPtr<IUCCContactManager> manager;
        managerResult = client->get_ContactManager(&manager);
        return S_OK;
    };

    // On a thread of its own, as the host stops the integration: a sink that waited on
    // the firing thread's lock would never return.
    auto firing = std::async(std::launch::async, [&] { object->setClientState(ucClientStateSignedOut); });
    if (firing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the sink's calls into the client did not return";
        std::_Exit(1);
    }
    EXPECT_EQ(seen, ucClientStateSignedOut);
    EXPECT_EQ(selfResult, S_OK);
    EXPECT_EQ(managerResult, S_OK);
}

TEST_F(UCCLyncClientTest, AFailingSinkDoesNotUndoTheChange)
{
    sink->onEvent = [] { return E_FAIL; };
    object->setClientState(ucClientStateSignedOut);
    EXPECT_EQ(sink->events().size(), 1u);
    EXPECT_EQ(state(), ucClientStateSignedOut);
}

TEST_F(UCCLyncClientTest, FixedAnswersWriteEveryOutArgumentTheySucceedWith)
{
    VARIANT none;
    VariantInit(&none);
    auto* const untouched = reinterpret_cast<IUCCAsynchronousOperation*>(std::uintptr_t{0x11});
    IUCCAsynchronousOperation* operation = untouched;
    EXPECT_EQ(client->SignIn(nullptr, nullptr, nullptr, nullptr, none, &operation), E_NOTIMPL);
    EXPECT_EQ(operation, untouched);
    EXPECT_EQ(client->Initialize(nullptr, nullptr, nullptr, nullptr, nullptr, static_cast<SupportedFeatures>(0),
                                 nullptr, none, &operation),
              S_OK);
    EXPECT_EQ(operation, nullptr);
    operation = untouched;
    EXPECT_EQ(client->Shutdown(nullptr, none, &operation), S_OK);
    EXPECT_EQ(operation, nullptr);

    SAFEARRAY* delegators = nullptr;
    ASSERT_EQ(client->get_DelegatorClients(&delegators), S_OK);
    ASSERT_NE(delegators, nullptr);
    EXPECT_EQ(delegators->rgsabound[0].cElements, 0u);
    SafeArrayDestroy(delegators);
    VARIANT_BOOL suppressed = VARIANT_TRUE;
    EXPECT_EQ(client->get_InSuppressedMode(&suppressed), S_OK);
    EXPECT_EQ(suppressed, VARIANT_FALSE);
    // Nothing to hand out: a failure rather than a success with a null object.
    IUCCUtilities* utilities = nullptr;
    EXPECT_EQ(client->get_Utilities(&utilities), E_NOTIMPL);
    IUCCApplicationRegistration* registration = nullptr;
    EXPECT_EQ(client->CreateApplicationRegistration(nullptr, nullptr, &registration), E_NOTIMPL);
    EXPECT_EQ(registration, nullptr);

    // Null out-pointers are refused rather than written through.
    EXPECT_EQ(client->get_State(nullptr), E_POINTER);
    EXPECT_EQ(client->get_Uri(nullptr), E_POINTER);
    EXPECT_EQ(client->get_ContactManager(nullptr), E_POINTER);
    EXPECT_EQ(client->get_DelegatorClients(nullptr), E_POINTER);
    EXPECT_EQ(client->get_InSuppressedMode(nullptr), E_POINTER);
}

TEST(UCCClientStateChangedEventData, AnswersItsInterfaceAndIDispatchWithBothStates)
{
    ComPtr<CComObject<UCCClientStateChangedEventData>> data;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCCClientStateChangedEventData>::CreateInstance(data));
    ClientState value{};
    EXPECT_EQ(data->get_OldState(&value), S_OK);
    EXPECT_EQ(value, ucClientStateUninitialized) << "0 until set";
    data->setStates(ucClientStateSigningIn, ucClientStateShuttingDown);
    EXPECT_EQ(data->get_OldState(&value), S_OK);
    EXPECT_EQ(value, ucClientStateSigningIn);
    EXPECT_EQ(data->get_NewState(&value), S_OK);
    EXPECT_EQ(value, ucClientStateShuttingDown);

    const ComPtr<IUCCClientStateChangedEventData> asData = data.Get();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(asData.As(&dispatch));
    EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(asData.Get()));
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(asData.As(&container), E_NOINTERFACE);
}
