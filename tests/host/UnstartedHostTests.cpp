// A process in which the host never handed a helper, or handed an empty one: every
// host call is skipped silently. The order of the steps matters, so they are one test.
#include "host/HostLog.h"
#include "host/IOfficeIntegration.h"
#include "host/LocalServer.h"

#include <gtest/gtest.h>

TEST(UnstartedHost, LoggingBeforeAndWithoutAHelperIsANoOp)
{
    EXPECT_EQ(LocalServer::currentHelper(), nullptr);
    EXPECT_NO_THROW(logToHost("before any getOutlookIntegration", 4, __LINE__, "file", "function"));

    const auto integration = getOutlookIntegration(nullptr);
    ASSERT_NE(integration, nullptr);
    EXPECT_EQ(LocalServer::currentHelper(), nullptr);
    EXPECT_NO_THROW(logToHost("with an empty helper", 4, __LINE__, "file", "function"));
    EXPECT_EQ(getOutlookIntegration(nullptr).get(), integration.get());
}
