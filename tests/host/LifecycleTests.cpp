// The integration's start and stop in-process, through the real COM runtime and the real
// registry of the test prefix: what Office would find, and what the host is told.
#include "host/lifecycle/LocalServer.h"
#include "tests/support/Deadline.h"
#include "tests/support/ImportHook.h"
#include "tests/support/LifecycleProbe.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include <functional>
#include <thread>

using Microsoft::WRL::ComPtr;

namespace {

// Stands in for CoRegisterClassObject, through which the library registers its class
// object, for as long as it lives: the library is linked into this executable, and calls
// it through the executable's import table.
class ReplacedClassRegistration {
public:
    using Registration = std::function<HRESULT(REFCLSID, IUnknown*, DWORD, DWORD, DWORD*)>;

    explicit ReplacedClassRegistration(Registration with) { replacement = std::move(with); }
    ~ReplacedClassRegistration() { replacement = nullptr; } // what it captured may go with the test

    static inline const auto real = reinterpret_cast<decltype(&CoRegisterClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ole32.dll"), "CoRegisterClassObject")));

private:
    static HRESULT WINAPI call(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags, DWORD* cookie)
    {
        return replacement(clsid, object, context, flags, cookie);
    }

    static inline Registration replacement;
    const ImportHook hook{GetModuleHandleW(nullptr), "CoRegisterClassObject", reinterpret_cast<const void*>(&call)};
};

class Lifecycle : public HostedTest {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

    void TearDown() override
    {
        server().stopIntegration();
        HostedTest::TearDown();
    }

    static IOfficeIntegration& server() { return *getOutlookIntegration(nullptr); }
};

} // namespace

TEST_F(Lifecycle, StartAnnouncesTheProviderAndStopWithdrawsIt)
{
    LifecycleProbe::markUpAndRunning(7);
    EXPECT_CALL(host.mock(), classFactoryRegistered(S_OK)).Times(1);

    // (What start-up has made true at each announcement is the host boundary's test.)
    server().startIntegration();

    EXPECT_EQ(LifecycleProbe::defaultImApp(), L"Talvo Orvex");
    EXPECT_EQ(host.messagesOf("LocalServer::startIntegration"),
              (std::vector<std::string>{"starting", "Setting UpAndRunning to 1", "Up and running"}));
    host.forgetRecords();

    server().stopIntegration();

    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(LifecycleProbe::defaultImApp(), L"Talvo Orvex") << "stopping leaves DefaultIMApp";
    EXPECT_FALSE(LifecycleProbe::classObject());
    EXPECT_EQ(host.messagesOf("LocalServer::revokeClassFactory"),
              (std::vector<std::string>{"Revoke class factory", "Class factory revoked successfully"}));
    EXPECT_EQ(host.messagesOf("LocalServer::applicationShutdown"),
              (std::vector<std::string>{"About to start firing shutdown", "No office integration object"}));
}

TEST_F(Lifecycle, TheFactoryServesOneObjectThatARefusedRequestTakesFromNobody)
{
    server().startIntegration();
    const ComPtr<IClassFactory> factory = LifecycleProbe::classObject();
    ASSERT_TRUE(factory);
    host.forgetRecords();

    // Refused before anything was handed out: the object this request made is nobody's.
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&dispatch)), E_NOINTERFACE);
    EXPECT_EQ(host.messages(6), std::vector<std::string>{"failed to get a Messenger implementation, hr: 80004002"});
    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&second)), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(host.messagesOf("UCOfficeIntegration::initialise"), (std::vector<std::string>{"Enter", "Enter"}))
        << "the refused request's object, then the one handed out";

    // Aggregation is refused. (That a refusal writes nothing is the fuzzer's, for every member.)
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_PPV_ARGS(&aggregated)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);

    // Refused once Office holds the object with its sinks: another caller's mistake takes
    // nothing from Office, and the stop still reaches it.
    int shutdowns = 0;
    auto sink = RecordingSink<_IUCOfficeIntegrationEvents>::create();
    sink->onEvent = [&shutdowns] { ++shutdowns; return S_OK; };
    ASSERT_NE(advise(first.Get(), DIID__IUCOfficeIntegrationEvents, sink.Get()), 0u);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&dispatch)), E_NOINTERFACE);
    ComPtr<IUnknown> after;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&after)), S_OK);
    EXPECT_EQ(first.Get(), after.Get());

    server().stopIntegration();
    EXPECT_EQ(shutdowns, 1);
}

TEST_F(Lifecycle, ARegistrationTheRuntimeRefusesIsReportedToTheHostAndLeavesTheProviderDown)
{
    // The runtime's answer is replaced in this process's import table; Wine accepts a
    // second registration of a class, so nothing else makes it fail.
    const ReplacedClassRegistration refused([](auto&&...) { return CO_E_OBJISREG; });
    EXPECT_CALL(host.mock(), classFactoryRegistered(CO_E_OBJISREG)).Times(1);

    server().startIntegration();

    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(host.messagesOf("LocalServer::registerClassFactory"),
              (std::vector<std::string>{"Enter", "Could not register the OfficeIntegrationImpl factory, releasing the "
                                                 "factory and setting upandrunning to 0, result: -2147220996"}));
    EXPECT_EQ(host.messagesOf("LocalServer::revokeClassFactory"), std::vector<std::string>{"Revoke class factory"})
        << "nothing was registered, so nothing is revoked";
}

// The host and Office may call back into the integration from other threads while it is
// calling them: nothing the integration holds then may make them wait for it, and the
// latest start or stop decides what Office finds.
TEST_F(Lifecycle, CallsBackIntoTheIntegrationFromOtherThreadsNeitherStallItNorAreLost)
{
    // The host stops the integration on another thread while the runtime registers the
    // class object (the start's registration is then stale), or from its callback.
    const auto stopElsewhere = [] { std::thread([] { server().stopIntegration(); }).join(); };
    for (const bool duringRegistration : {true, false}) {
        SCOPED_TRACE(duringRegistration ? "during the registration" : "from the host's callback");
        const ReplacedClassRegistration racing([&](REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags,
                                                   DWORD* cookie) {
            const HRESULT result = ReplacedClassRegistration::real(clsid, object, context, flags, cookie);
            if (duringRegistration) {
                stopElsewhere();
            }
            return result;
        });
        if (duringRegistration) {
            EXPECT_CALL(host.mock(), classFactoryRegistered(::testing::_)).Times(0);
        } else {
            EXPECT_CALL(host.mock(), classFactoryRegistered(S_OK)).WillOnce(stopElsewhere);
        }
        finishesWithin(std::chrono::seconds(30), "a stop during the start", [] { server().startIntegration(); });
        EXPECT_EQ(LifecycleProbe::upAndRunning(), 0) << "the stop came last";
        EXPECT_FALSE(LifecycleProbe::classObject()) << "Office must not activate an integration that was stopped";
        EXPECT_FALSE(host.said("Up and running"));
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    }

    // Office's shutdown handler has the messenger stop too, on another thread, while the
    // stop is still telling Office.
    server().startIntegration();
    ComPtr<IUnknown> integration;
    ASSERT_EQ(LifecycleProbe::classObject()->CreateInstance(nullptr, IID_PPV_ARGS(&integration)), S_OK);
    auto sink = RecordingSink<_IUCOfficeIntegrationEvents>::create();
    sink->onEvent = [] {
        std::thread([] { server().stopIntegration(); }).join();
        return S_OK;
    };
    ASSERT_NE(advise(integration.Get(), DIID__IUCOfficeIntegrationEvents, sink.Get()), 0u);
    host.forgetRecords();
    finishesWithin(std::chrono::seconds(30), "a stop from Office's shutdown handler", [] { server().stopIntegration(); });
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_FALSE(LifecycleProbe::classObject());
    EXPECT_EQ(host.messagesOf("LocalServer::revokeClassFactory"),
              (std::vector<std::string>{"Revoke class factory", "Revoke class factory", "Class factory revoked successfully"}))
        << "the class object is withdrawn once, by the stop that took it";
}
