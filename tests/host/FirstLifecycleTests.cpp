// The integration's first steps in a fresh process: a stop before any start, and a start
// on a thread without COM. Each needs the library untouched, so each runs in its own
// executable (selected by ORVEX_SCENARIO at build time).
#include "host/lifecycle/LocalServer.h"
#include "tests/host/LifecycleProbe.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <thread>

using ::testing::_;

namespace {

using FirstLifecycle = HostedTest;

std::vector<std::string> messagesFrom(const RecordingHost& host, const std::string& file)
{
    return host.messagesWhere([&file](const RecordingHost::Record& record) { return record.file == file; });
}

} // namespace

#if ORVEX_SCENARIO == 1

TEST_F(FirstLifecycle, AStopBeforeAnyStartOnlyLogsAndWritesNotServingTwice)
{
    LifecycleProbe::markUpAndRunning(7);
    EXPECT_CALL(host.mock(), classFactoryRegistered(_)).Times(0);

    getOutlookIntegration(nullptr)->stopIntegration();

    EXPECT_EQ(messagesFrom(host, "LocalServer"),
              (std::vector<std::string>{"shutting down", "Revoke class factory", "Setting up and running to 0"}));
    const auto registry = messagesFrom(host, "Utilities\\RegistryUtils");
    EXPECT_EQ(std::count(registry.begin(), registry.end(), "Setting up and running to: 0"), 2);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(LifecycleProbe::apartmentType(), -1) << "no COM call initialised the thread";
}

#elif ORVEX_SCENARIO == 2

TEST_F(FirstLifecycle, AThreadWithoutComIsInitialisedOnceForTheMultithreadedApartment)
{
    std::vector<HRESULT> reported;
    EXPECT_CALL(host.mock(), classFactoryRegistered(_)).WillRepeatedly([&reported](HRESULT hr) { reported.push_back(hr); });
    int apartmentAfterStart = -2;
    int apartmentAfterStop = -2;

    std::thread([&] {
        getOutlookIntegration(nullptr)->startIntegration();
        apartmentAfterStart = LifecycleProbe::apartmentType();
        getOutlookIntegration(nullptr)->stopIntegration();
        apartmentAfterStop = LifecycleProbe::apartmentType();
    }).join();

    EXPECT_EQ(reported, std::vector<HRESULT>{S_OK}) << "the host hears the final result only";
    EXPECT_EQ(host.messages(5), std::vector<std::string>{"Calling CoInitializeEx"});
    EXPECT_EQ(apartmentAfterStart, APTTYPE_MTA);
    EXPECT_EQ(apartmentAfterStop, APTTYPE_MTA) << "stopping leaves the thread in the apartment it entered";
}

#endif
