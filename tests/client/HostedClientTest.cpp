#include "tests/client/HostedClientTest.h"

#include "host/IOfficeIntegration.h"

std::shared_ptr<::testing::NiceMock<MockPlatformHelper>> HostedClientTest::helper;
LogRecorder HostedClientTest::logs;

void HostedClientTest::SetUpTestSuite()
{
    if (helper) {
        return;
    }
    helper = std::make_shared<::testing::NiceMock<MockPlatformHelper>>();
    // The library holds the helper until the process ends.
    ::testing::Mock::AllowLeak(helper.get());
    logs.attachTo(*helper);
    ASSERT_NE(getOutlookIntegration(helper), nullptr);
}

void HostedClientTest::SetUp() { logs.clear(); }

void HostedClientTest::TearDown() { ::testing::Mock::VerifyAndClearExpectations(helper.get()); }

::testing::NiceMock<MockPlatformHelper>& HostedClientTest::host() { return *helper; }

LogRecorder& HostedClientTest::recorder() { return logs; }
