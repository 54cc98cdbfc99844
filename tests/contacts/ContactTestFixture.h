#pragma once

#include "contacts/UCCContactManager.h"
#include "tests/contacts/RecordingHost.h"

#include "OfficeIntegrationLib.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <string>

// A contact manager with the product's resolver, talking to the process's mock host.
// Every test must leave no COM object behind: the module's count of live objects is back
// where it started when the test ends.
class ContactTestFixture : public ::testing::Test {
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

    static LONG liveObjects();

    RecordingHost& host = RecordingHost::instance();
    Microsoft::WRL::ComPtr<orvex::atl::CComObject<UCCContactManager>> manager;

private:
    LONG liveAtStart = 0;
};
