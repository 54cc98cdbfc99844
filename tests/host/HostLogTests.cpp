// Log records reach the host's helper in-process, through the library's own objects.
#include "host/HostLog.h"
#include "host/IOfficeIntegration.h"
#include "host/LocalServer.h"
#include "tests/host/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <stdexcept>

using ::testing::_;
using ::testing::NiceMock;

namespace {

constexpr char kLogSource[] = "HostLogTests";

class HostLog : public ::testing::Test {
protected:
    // The singleton lives for the process: the first suite to run installs the helper,
    // and the expectations of each test are set on it. It is a nice mock because the
    // library still logs to it while the process ends, after the last test.
    static void SetUpTestSuite()
    {
        helper = std::make_shared<NiceMock<MockPlatformHelper>>();
        // The library keeps the helper until the process ends.
        ::testing::Mock::AllowLeak(helper.get());
        ASSERT_NE(getOutlookIntegration(helper), nullptr);
    }
    static void TearDownTestSuite() { ::testing::Mock::VerifyAndClearExpectations(helper.get()); }

    static std::shared_ptr<NiceMock<MockPlatformHelper>> helper;
};
std::shared_ptr<NiceMock<MockPlatformHelper>> HostLog::helper;

} // namespace

TEST_F(HostLog, RecordFieldsArriveInOrderAndUnchanged)
{
    const int line = __LINE__ + 2;
    EXPECT_CALL(*helper, log("text 42 and more", 5, line, "HostLogTests", "HostLogTests::record"));
    ORVEX_LOG(LogLevel::Warning, "HostLogTests::record", "text " << 42 << " and more");
}

TEST_F(HostLog, EveryLevelIsPassedAsItsNumber)
{
    {
        ::testing::InSequence order;
        for (const int level : {1, 3, 4, 5, 6, 7}) {
            EXPECT_CALL(*helper, log("x", level, _, _, _));
        }
    }
    for (const auto level : {LogLevel::Verbose, LogLevel::Debug, LogLevel::Info, LogLevel::Warning, LogLevel::Error,
                             LogLevel::PresenceTrace}) {
        ORVEX_LOG(level, "HostLogTests::levels", "x");
    }
}

TEST_F(HostLog, AddressesPrintAsZeroPaddedUpperCaseHexOfThePointerWidth)
{
    std::string message;
    EXPECT_CALL(*helper, log(_, 3, _, _, _)).WillOnce(::testing::SaveArg<0>(&message));
    ORVEX_LOG(LogLevel::Debug, "HostLogTests::address",
              "Constructor: " << LogAddress{reinterpret_cast<const void*>(std::uintptr_t{0xABC12})});

    const std::string digits = message.substr(std::string("Constructor: ").size());
    EXPECT_EQ(digits.size(), sizeof(void*) * 2);
    EXPECT_EQ(digits, std::string(sizeof(void*) * 2 - 5, '0') + "ABC12");
}

TEST_F(HostLog, HResultsPrintSignedDecimalOrBarePatternHex)
{
    const HRESULT notInitialised = static_cast<HRESULT>(0x800401F0);
    EXPECT_CALL(*helper, log("hr: -2147221008", _, _, _, _));
    EXPECT_CALL(*helper, log("hr: 800401f0 then 7", _, _, _, _));

    ORVEX_LOG(LogLevel::Error, "HostLogTests::hresult", "hr: " << notInitialised);
    ORVEX_LOG(LogLevel::Error, "HostLogTests::hresult", "hr: " << LogHex(notInitialised) << " then " << 7);
}

TEST_F(HostLog, AnExceptionFromTheHostsLogReachesTheCaller)
{
    EXPECT_CALL(*helper, log(_, _, _, _, _)).WillOnce(::testing::Throw(std::runtime_error("host sink failed")));
    EXPECT_THROW(logToHost("message", 4, 1, "file", "function"), std::runtime_error);
}

TEST_F(HostLog, HelperAccessHandsOutTheInstalledHelper)
{
    EXPECT_EQ(LocalServer::currentHelper().get(), helper.get());
}
