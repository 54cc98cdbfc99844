// The entry point as the messenger reaches it: through the built DLL, loaded by file
// name. Each test loads the library afresh, so each starts as a fresh process does,
// without a singleton.
#include "host/LogLevel.h"
#include "tests/support/Deadline.h"
#include "tests/support/IntegrationLibrary.h"
#include "tests/support/LifecycleProbe.h"
#include "tests/support/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

using ::testing::_;
using ::testing::NiceMock;

TEST(EntryPoint, AStopBeforeAnyStartOnlyLogsAndWritesNotServingTwice)
{
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    std::vector<std::string> messages;
    ON_CALL(*helper, log).WillByDefault([&messages](const std::string& message, auto...) { messages.push_back(message); });
    EXPECT_CALL(*helper, classFactoryRegistered(_)).Times(0);
    LifecycleProbe::markUpAndRunning(7);

    std::thread([&] {
        IntegrationLibrary library;
        ASSERT_TRUE(library.loaded());
        library.getOutlookIntegration(helper)->stopIntegration();
        EXPECT_EQ(std::ranges::count(messages, "Setting up and running to: 0"), 2);
        EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
        EXPECT_EQ(LifecycleProbe::apartmentType(), -1) << "no COM call initialised the thread";
    }).join();
}

TEST(EntryPoint, RacingFirstCallsShareOneServerAndLaterHelpersAreIgnored)
{
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    {
        IntegrationLibrary library;
        ASSERT_TRUE(library.loaded());
        std::array<std::shared_ptr<IOfficeIntegration>, 8> results;
        std::vector<std::thread> threads;
        for (auto& result : results) {
            threads.emplace_back([&library, &helper, &result] { result = library.getOutlookIntegration(helper); });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        ASSERT_NE(results[0], nullptr);
        for (const auto& result : results) {
            EXPECT_EQ(result.get(), results[0].get());
        }
        auto later = std::make_shared<NiceMock<MockPlatformHelper>>();
        EXPECT_EQ(library.getOutlookIntegration(later).get(), results[0].get());
        EXPECT_EQ(later.use_count(), 1) << "the library keeps the first helper only";
        EXPECT_EQ(helper.use_count(), 2);
    }
    EXPECT_EQ(helper.use_count(), 1) << "unloading released the helper";
}

// The thread starting the integration has no COM yet: the library enters it into the
// multithreaded apartment once, and neither stopping nor unloading takes it out again.
TEST(EntryPoint, UnloadingARunningIntegrationStopsItAndLeavesTheThreadInItsApartment)
{
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    ON_CALL(*helper, log).WillByDefault([&](const std::string& message, std::int32_t level, auto, auto, auto) {
        messages.push_back(message);
        if (level == static_cast<std::int32_t>(LogLevel::Warning)) {
            warnings.push_back(message);
        }
    });
    // The host hears the final result of the registration only.
    EXPECT_CALL(*helper, classFactoryRegistered(S_OK)).Times(1);
    int apartmentWhileRunning = -2;
    int apartmentAfterUnload = -2;
    long upAndRunningWhileRunning = -2;

    // On a thread of its own, so that a deadlock under the loader lock shows as a
    // thread that never ends rather than a test run that never ends.
    finishesWithin(std::chrono::seconds(60), "unloading the library", [&] {
        {
            IntegrationLibrary library;
            ASSERT_TRUE(library.loaded());
            library.getOutlookIntegration(helper)->startIntegration();
            apartmentWhileRunning = LifecycleProbe::apartmentType();
            upAndRunningWhileRunning = LifecycleProbe::upAndRunning();
        }
        apartmentAfterUnload = LifecycleProbe::apartmentType();
        // The membership the library gave the thread is the thread's to end.
        CoUninitialize();
    });

    EXPECT_EQ(upAndRunningWhileRunning, 2);
    EXPECT_EQ(warnings, std::vector<std::string>{"Calling CoInitializeEx"});
    EXPECT_EQ(apartmentWhileRunning, APTTYPE_MTA);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    // Uninitialising COM inside FreeLibrary, under the loader lock, can wait for ever on
    // COM's own threads: the unload must leave the thread's apartment alone.
    EXPECT_EQ(apartmentAfterUnload, APTTYPE_MTA);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "shutting down"), messages.end());
    EXPECT_EQ(helper.use_count(), 1) << "the library released the helper";
}
