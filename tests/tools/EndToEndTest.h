#pragma once

#include "tools/common/MessengerStandIn.h"
#include "tools/office/ConnectionReport.h"
#include "tools/office/OfficeConnection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

// Two real processes: the messenger stand-in with the library inside, started for every
// test, and this test process as Office, reaching the provider through the real registry,
// the running class object and the registered type library's marshaller. The product is
// installed once, by regsvr32, as an installer does.
class EndToEndTest : public ::testing::Test {
protected:
    // How long a step of the other process may take: 20 s where processes run at ordinary
    // speed, stretched where they do not (Patience).
    static const std::chrono::milliseconds kPatience;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The stand-in with the built-in table and no script; waits until it is ready.
    static std::unique_ptr<MessengerStandIn> startHost();
    // A command to the stand-in, answered once its output shows `reply`.
    void command(const std::string& line, const std::string& reply);
    // An Office that waits `waitForUp` for the provider to be up.
    std::unique_ptr<OfficeConnection> newOffice(ConnectionReport& into,
                                                std::chrono::milliseconds waitForUp = kPatience) const;
    // Connects the test's Office; every connection step must pass.
    void connectOffice();
    IUCCContact* watch(const std::string& address);
    static LONG availabilityOf(IUCCContact* contact);
    // Waits for the pushed presence event of `address` that reports `availability`.
    bool waitForChange(const std::string& address, LONG availability, std::size_t count = 1) const;

    static inline HRESULT installation = E_FAIL;
    ConnectionReport report{false, nullptr};
    std::unique_ptr<MessengerStandIn> host;
    std::unique_ptr<OfficeConnection> office;
};
