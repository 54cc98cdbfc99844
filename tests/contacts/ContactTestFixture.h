#pragma once

#include "client/com/Bstr.h"
#include "contacts/ContactResolver.h"
#include "contacts/UCCContactManager.h"
#include "host/TextConversion.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include "OfficeIntegrationLib.h"

using ContactSink = RecordingSink<_IUCCContactEvents>;
using HostCallback = IOfficeAdapterPlatformHelper::PresenceCallback;

// A contact manager with the product's resolver, talking to the process's recording host.
// Every test must leave no COM object behind: the module's count of live objects is back
// where it started when the test ends.
class ContactTestFixture : public HostedTest {
protected:
    struct WatchedContact {
        Microsoft::WRL::ComPtr<IUCCContact> contact;
        // What the host was given to report the contact's presence with.
        HostCallback hostSide;
    };

    void SetUp() override
    {
        HostedTest::SetUp();
        liveAtStart = liveObjects();
        ASSERT_EQ(orvex::com::CComObject<UCCContactManager>::CreateInstance(manager), S_OK);
        manager->setResolver(std::make_shared<ContactResolver>());
    }

    void TearDown() override
    {
        manager.Reset();
        HostedTest::TearDown();
        EXPECT_EQ(liveObjects(), liveAtStart) << "a COM object was left behind";
    }

    // A contact made by GetContactByUri, with the watch it started in the host.
    WatchedContact contactFor(const std::wstring& address)
    {
        WatchedContact watched;
        EXPECT_CALL(host.mock(), getContactPresence(TextConversion::toUtf8(address), ::testing::_))
            .WillOnce(RecordingHost::keepCallback(&watched.hostSide));
        EXPECT_EQ(manager->GetContactByUri(orvex::com::Bstr(address).get(), &watched.contact), S_OK);
        ::testing::Mock::VerifyAndClearExpectations(&host.mock());
        return watched;
    }

    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCContactManager>> manager;

private:
    LONG liveAtStart = 0;
};
