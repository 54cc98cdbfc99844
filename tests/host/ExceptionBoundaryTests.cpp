// Exceptions between the messenger and the library, through the built DLL: the test
// executable plays the messenger, a module of its own, as the shipped messenger is. An
// exception crosses from one module's frames into the other's only when both share one
// C++ runtime; with a runtime linked into each, the 32-bit build ends in std::terminate.
#include "client/com/Bstr.h"
#include "tests/support/IntegrationLibrary.h"
#include "tests/support/LifecycleProbe.h"
#include "tests/support/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using ::testing::_;
using ::testing::NiceMock;

namespace {

// The messenger's side: COM ready on its thread, the library loaded, a helper whose log
// records are kept, and which throws from the operations a test chooses.
class ExceptionBoundary : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_TRUE(library.loaded());
        // After an exception has left the library through its log, the helper is still
        // referenced when the test ends (64-bit build, cause not known); these tests are
        // about the exceptions, not that release.
        ::testing::Mock::AllowLeak(helper.get());
        ON_CALL(*helper, log(_, _, _, _, _)).WillByDefault([this](const std::string& message, auto...) {
            std::lock_guard guard(logMutex);
            messages.push_back(message);
        });
        integration = library.getOutlookIntegration(helper);
        ASSERT_NE(integration, nullptr);
    }

    void TearDown() override
    {
        ::testing::Mock::VerifyAndClearExpectations(helper.get());
        integration->stopIntegration();
        integration.reset();
        CoUninitialize();
    }

    bool logged(const std::string& message)
    {
        std::lock_guard guard(logMutex);
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    // The library keeps the helper, and logs through it, until it is unloaded: what the
    // helper's log writes to is declared first so that it is destroyed after the library.
    // (Destroyed first, it made the library's teardown fault; the loader swallows that, and
    // on the 32-bit build the rest of the teardown, the module's unwind-table
    // deregistration among it, was skipped, which corrupted the heap later.)
    std::mutex logMutex;
    std::vector<std::string> messages;
    IntegrationLibrary library;
    std::shared_ptr<NiceMock<MockPlatformHelper>> helper = std::make_shared<NiceMock<MockPlatformHelper>>();
    std::shared_ptr<IOfficeIntegration> integration;
};

} // namespace

TEST_F(ExceptionBoundary, AThrowingHostLogReachesTheHostsCaller)
{
    EXPECT_CALL(*helper, log("starting", _, _, _, _)).WillOnce(::testing::Throw(std::runtime_error("host sink")));
    EXPECT_THROW(integration->startIntegration(), std::runtime_error);
    EXPECT_FALSE(LifecycleProbe::classObject()) << "the start ended before anything was registered";
}

TEST_F(ExceptionBoundary, StartSurvivesAThrowingHelperAndStops)
{
    EXPECT_CALL(*helper, classFactoryRegistered(S_OK)).WillOnce(::testing::Throw(std::runtime_error("host")));

    EXPECT_NO_THROW(integration->startIntegration());

    EXPECT_TRUE(logged("Exception thrown during startup"));
    EXPECT_TRUE(logged("Class factory revoked successfully"));
    EXPECT_FALSE(LifecycleProbe::classObject()) << "the stop withdrew the class object it had registered";
}

TEST_F(ExceptionBoundary, PresenceCallbacksDoNotThrowIntoTheMessenger)
{
    IOfficeAdapterPlatformHelper::PresenceCallback callback;
    EXPECT_CALL(*helper, getContactPresence("ann@example.org", _))
        .WillOnce([&callback](const std::string&, IOfficeAdapterPlatformHelper::PresenceCallback given) {
            callback = std::move(given);
            return OutlookContactStatus::OnlinePresent;
        });
    integration->startIntegration();
    ASSERT_TRUE(LifecycleProbe::classObject());

    // Office's road to a watched contact, taken inside this process.
    Microsoft::WRL::ComPtr<IUCOfficeIntegration> office;
    ASSERT_EQ(CoCreateInstance(CLSID_OfficeIntegrationImpl, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&office)), S_OK);
    Microsoft::WRL::ComPtr<IDispatch> clientDispatch;
    Microsoft::WRL::ComPtr<IUCCLyncClient> client;
    Microsoft::WRL::ComPtr<IUCCContactManager> manager;
    Microsoft::WRL::ComPtr<IUCCContact> contact;
    ASSERT_EQ(office->GetInterface(nullptr, oiInterfaceIUCCLyncClient, &clientDispatch), S_OK);
    ASSERT_EQ(clientDispatch.As(&client), S_OK);
    ASSERT_EQ(client->get_ContactManager(&manager), S_OK);
    ASSERT_EQ(manager->GetContactByUri(orvex::com::Bstr(L"ann@example.org").get(), &contact), S_OK);
    ASSERT_TRUE(callback);

    // Every record the library makes while it handles the report throws in the messenger.
    EXPECT_CALL(*helper, log(_, _, _, _, _)).WillRepeatedly(::testing::Throw(std::runtime_error("host sink")));
    EXPECT_NO_THROW(callback(OutlookContactStatus::OnlineAwayFromComputer));
    EXPECT_NO_THROW(callback(OutlookContactStatus::ContactEvicted));
    ::testing::Mock::VerifyAndClearExpectations(helper.get());
}
