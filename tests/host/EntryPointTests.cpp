// The entry point as the messenger reaches it: through the built DLL, loaded by file
// name. Each test loads the library afresh, so each starts without a singleton.
#include "tests/host/IntegrationLibrary.h"
#include "tests/host/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

using ::testing::NiceMock;
using ::testing::StrictMock;

TEST(EntryPoint, SecondCallReturnsTheSameServerAndKeepsTheFirstHelper)
{
    IntegrationLibrary library;
    ASSERT_TRUE(library.loaded());
    auto first = std::make_shared<NiceMock<MockPlatformHelper>>();
    auto second = std::make_shared<StrictMock<MockPlatformHelper>>();

    const auto integration = library.getOutlookIntegration(first);
    const auto again = library.getOutlookIntegration(second);

    ASSERT_NE(integration, nullptr);
    EXPECT_EQ(integration.get(), again.get());
    EXPECT_EQ(first.use_count(), 2) << "the library keeps the first helper";
    EXPECT_EQ(second.use_count(), 1) << "the library ignores the second helper";
}

TEST(EntryPoint, RacingFirstCallsShareOneServer)
{
    IntegrationLibrary library;
    ASSERT_TRUE(library.loaded());
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();

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
    EXPECT_EQ(helper.use_count(), 2);
}

TEST(EntryPoint, AcceptsAnEmptyHelper)
{
    IntegrationLibrary library;
    ASSERT_TRUE(library.loaded());

    const auto integration = library.getOutlookIntegration(nullptr);

    ASSERT_NE(integration, nullptr);
    EXPECT_FALSE(integration->isRegistered());
}

TEST(EntryPoint, UnloadingTheLibraryReleasesTheHelper)
{
    auto helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    {
        IntegrationLibrary library;
        ASSERT_TRUE(library.loaded());
        library.getOutlookIntegration(helper);
        EXPECT_EQ(helper.use_count(), 2);
    }
    EXPECT_EQ(helper.use_count(), 1);
}
