#pragma once

#include "contacts/UCCContactManager.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RecordingSink.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

#include <string>

using ContactSink = RecordingSink<_IUCCContactEvents>;

// A contact manager with the product's resolver, talking to the process's recording host.
// Every test must leave no COM object behind: the module's count of live objects is back
// where it started when the test ends.
class ContactTestFixture : public HostedTest {
protected:
    using HostCallback = IOfficeAdapterPlatformHelper::PresenceCallback;

    struct WatchedContact {
        Microsoft::WRL::ComPtr<IUCCContact> contact;
        // What the host was given to report the contact's presence with.
        HostCallback hostSide;
    };

    void SetUp() override;
    void TearDown() override;

    // A contact made by GetContactByUri, with the watch it started in the host.
    WatchedContact contactFor(const std::wstring& address);

    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCContactManager>> manager;

private:
    LONG liveAtStart = 0;
};
