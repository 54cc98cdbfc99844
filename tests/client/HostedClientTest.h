#pragma once

#include "tests/client/LogRecorder.h"
#include "tests/host/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <memory>

// Tests of the client objects with a mock host installed: the library keeps the first
// helper for the life of the process, so every test of an executable shares this one,
// and each sets its own expectations. Log records are kept by the recorder, which each
// test starts empty.
class HostedClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    static ::testing::NiceMock<MockPlatformHelper>& host();
    static LogRecorder& recorder();

private:
    static std::shared_ptr<::testing::NiceMock<MockPlatformHelper>> helper;
    static LogRecorder logs;
};
