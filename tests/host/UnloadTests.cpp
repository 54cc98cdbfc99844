// Unloading the library while the integration still runs: the teardown stops it, even
// under the loader lock, and balances the COM initialisation it made.
#include "tests/host/IntegrationLibrary.h"
#include "tests/host/LifecycleProbe.h"
#include "tests/host/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <thread>

using ::testing::NiceMock;

TEST(Unload, FreeLibraryAfterAStartWithoutAStopStopsTheIntegration)
{
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    std::vector<std::string> messages;
    ON_CALL(*helper, log).WillByDefault(
        [&messages](const std::string& message, auto, auto, auto, auto) { messages.push_back(message); });
    int apartmentWhileRunning = -2;
    int apartmentAfterUnload = -2;
    long upAndRunningWhileRunning = -2;

    // On a thread of its own, so that a deadlock under the loader lock shows as a
    // thread that never ends rather than a test run that never ends.
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread unloader([&] {
        {
            IntegrationLibrary library;
            ASSERT_TRUE(library.loaded());
            library.getOutlookIntegration(helper)->startIntegration();
            apartmentWhileRunning = LifecycleProbe::apartmentType();
            upAndRunningWhileRunning = LifecycleProbe::upAndRunning();
        }
        apartmentAfterUnload = LifecycleProbe::apartmentType();
        SetEvent(done);
    });
    const DWORD waited = WaitForSingleObject(done, 60000);
    if (waited != WAIT_OBJECT_0) {
        unloader.detach();
        FAIL() << "unloading the library did not finish";
    }
    unloader.join();
    CloseHandle(done);

    EXPECT_EQ(upAndRunningWhileRunning, 2);
    EXPECT_EQ(apartmentWhileRunning, APTTYPE_MTA);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(apartmentAfterUnload, -1) << "the teardown uninitialised the COM it had initialised";
    EXPECT_NE(std::find(messages.begin(), messages.end(), "shutting down"), messages.end());
    EXPECT_EQ(helper.use_count(), 1) << "the library released the helper";
}
