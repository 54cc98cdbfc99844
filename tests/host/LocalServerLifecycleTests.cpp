// The integration's start and stop in-process, through the real COM runtime and the real
// registry of the test prefix: what Office would find, and what the host is told.
#include "host/LocalServer.h"
#include "tests/client/EventSink.h"
#include "tests/client/HostedClientTest.h"
#include "tests/host/LifecycleProbe.h"

#include "OfficeIntegrationLib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using Microsoft::WRL::ComPtr;
using ::testing::_;

namespace {

class Lifecycle : public HostedClientTest {
protected:
    static void SetUpTestSuite()
    {
        HostedClientTest::SetUpTestSuite();
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }

    void TearDown() override
    {
        server().stopIntegration();
        HostedClientTest::TearDown();
    }

    static IOfficeIntegration& server() { return *getOutlookIntegration(nullptr); }

    static ComPtr<IClassFactory> classObject()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(LifecycleProbe::findClassObject(IID_PPV_ARGS(&factory)), S_OK);
        return factory;
    }

    static long count(const std::vector<std::string>& messages, const std::string& message)
    {
        return std::count(messages.begin(), messages.end(), message);
    }

    // The messages of one function, in order.
    static std::vector<std::string> messagesOf(const std::string& function)
    {
        std::vector<std::string> result;
        for (const auto& record : recorder().records()) {
            if (record.function == function) {
                result.push_back(record.message);
            }
        }
        return result;
    }
};

} // namespace

TEST_F(Lifecycle, StartAnnouncesTheProviderAndStopWithdrawsIt)
{
    LifecycleProbe::markUpAndRunning(7);
    EXPECT_CALL(host(), classFactoryRegistered(S_OK)).Times(1);

    server().startIntegration();

    EXPECT_EQ(LifecycleProbe::upAndRunning(), 2);
    EXPECT_EQ(LifecycleProbe::defaultImApp(), L"Talvo Orvex");
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(LifecycleProbe::findClassObject(IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(messagesOf("LocalServer::startIntegration"),
              (std::vector<std::string>{"starting", "Setting UpAndRunning to 1", "Up and running"}));
    EXPECT_EQ(messagesOf("LocalServer::registerClassFactory"), std::vector<std::string>{"Enter"});
    const auto messages = recorder().messages();
    const auto upAndRunning1 = std::find(messages.begin(), messages.end(), "Setting UpAndRunning to 1");
    const auto verdict = std::find_if(messages.begin(), messages.end(),
                                      [](const std::string& m) { return m.starts_with("Successful registration: "); });
    const auto registered = std::find(messages.begin(), messages.end(), "Enter");
    EXPECT_LT(upAndRunning1, verdict) << "the diagnostics run after UpAndRunning is 1";
    EXPECT_LT(verdict, registered) << "and before the class object is registered";
    factory.Reset();
    recorder().clear();

    server().stopIntegration();

    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(LifecycleProbe::defaultImApp(), L"Talvo Orvex") << "stopping leaves DefaultIMApp";
    EXPECT_TRUE(FAILED(LifecycleProbe::findClassObject(IID_PPV_ARGS(&factory))));
    EXPECT_EQ(messagesOf("LocalServer::revokeClassFactory"),
              (std::vector<std::string>{"Revoke class factory", "Class factory revoked successfully"}));
}

TEST_F(Lifecycle, StopAfterAStartOfficeNeverReachedSaysThereIsNoObject)
{
    server().startIntegration();
    recorder().clear();

    server().stopIntegration();

    EXPECT_EQ(messagesOf("LocalServer::applicationShutdown"),
              (std::vector<std::string>{"About to start firing shutdown", "No office integration object"}));
    const auto errors = recorder().messages(6);
    EXPECT_EQ(errors, std::vector<std::string>{"No office integration object"});
}

TEST_F(Lifecycle, ASecondStartStopsAndRegistersANewClassObject)
{
    server().startIntegration();
    const ComPtr<IClassFactory> first = classObject();
    recorder().clear();

    server().startIntegration();

    const ComPtr<IClassFactory> second = classObject();
    EXPECT_NE(first.Get(), second.Get());
    const auto messages = recorder().messages();
    const auto stopped = std::find(messages.begin(), messages.end(), "shutting down");
    const auto registered = std::find(messages.begin(), messages.end(), "Enter");
    ASSERT_NE(stopped, messages.end());
    EXPECT_LT(stopped, registered);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 2);
}

TEST_F(Lifecycle, ActivationsShareOneInitialisedObject)
{
    server().startIntegration();
    const ComPtr<IClassFactory> factory = classObject();
    recorder().clear();

    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&second)), S_OK);

    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(messagesOf("ClassFactory::CreateInstance"),
              (std::vector<std::string>{"About to create and return a Messenger implementation",
                                        "About to create and return a Messenger implementation"}));
    EXPECT_EQ(messagesOf("UCOfficeIntegration::initialise"), std::vector<std::string>{"Enter"});
    ComPtr<IUCOfficeIntegration> integration;
    EXPECT_EQ(first.As(&integration), S_OK);
}

TEST_F(Lifecycle, AFailedRequestDropsTheObjectSoTheNextBuildsAFreshOne)
{
    server().startIntegration();
    const ComPtr<IClassFactory> factory = classObject();
    ComPtr<IUnknown> before;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&before)), S_OK);
    recorder().clear();

    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&dispatch)), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    EXPECT_EQ(recorder().messages(6),
              std::vector<std::string>{"failed to get a Messenger implementation, hr: 80004002"});

    ComPtr<IUnknown> after;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&after)), S_OK);
    EXPECT_NE(before.Get(), after.Get());
    EXPECT_EQ(messagesOf("UCOfficeIntegration::initialise"), std::vector<std::string>{"Enter"});
}

TEST_F(Lifecycle, TheFactoryRefusesAggregationSilentlyAndIgnoresLockServer)
{
    server().startIntegration();
    const ComPtr<IClassFactory> factory = classObject();
    recorder().clear();

    IUnknown* untouched = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, reinterpret_cast<void**>(&untouched)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(untouched, reinterpret_cast<IUnknown*>(0x1234));
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_TRUE(recorder().messages().empty());

    ComPtr<IUnknown> notAFactory;
    EXPECT_EQ(factory.As(&notAFactory), S_OK);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(factory.As(&dispatch), E_NOINTERFACE);
}

TEST_F(Lifecycle, StopSignsTheClientOutThenTellsOfficeThatTheMessengerShutsDown)
{
    server().startIntegration();
    ComPtr<IUCOfficeIntegration> integration;
    ASSERT_EQ(classObject()->CreateInstance(nullptr, IID_PPV_ARGS(&integration)), S_OK);
    ComPtr<IDispatch> clientDispatch;
    ASSERT_EQ(integration->GetInterface(nullptr, oiInterfaceIUCCLyncClient, &clientDispatch), S_OK);

    std::vector<DISPID> order;
    auto integrationSink = EventSink<_IUCOfficeIntegrationEvents>::create();
    auto clientSink = EventSink<_IUCCLyncClientEvents>::create();
    integrationSink->onEvent = [&order] { order.push_back(50); return S_OK; };
    clientSink->onEvent = [&order] { order.push_back(100); return S_OK; };
    auto advise = [](IUnknown* source, REFIID events, IUnknown* sink) {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        EXPECT_EQ(source->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
        EXPECT_EQ(container->FindConnectionPoint(events, &point), S_OK);
        EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    };
    advise(integration.Get(), DIID__IUCOfficeIntegrationEvents, integrationSink.Get());
    advise(clientDispatch.Get(), DIID__IUCCLyncClientEvents, clientSink.Get());

    server().stopIntegration();

    EXPECT_EQ(order, (std::vector<DISPID>{100, 50}));
    ComPtr<IUCCLyncClient> client;
    ASSERT_EQ(clientDispatch.As(&client), S_OK);
    ClientState state = ucClientStateSignedIn;
    EXPECT_EQ(client->get_State(&state), S_OK);
    EXPECT_EQ(state, ucClientStateSignedOut);
    OIFeature features{};
    EXPECT_EQ(integration->GetSupportedFeatures(nullptr, &features), S_OK) << "the object still answers";
    EXPECT_EQ(features, 196);
}
