#pragma once

#include "tools/office/ConnectionReport.h"
#include "tools/office/EventSink.h"
#include "tools/office/ProviderRegistry.h"

#include <OfficeIntegrationLib.h>
#include <wrl/client.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// Office's side of the connection to its instant-messaging provider, step by step in the
// order Office takes them, each step reported with its HRESULT. Office gives up on the
// first failing connection step until it is restarted, and so does this class. The
// objects it holds stay available to whoever drives it (the stand-in, the tests).
class OfficeConnection {
public:
    struct Settings {
        std::chrono::milliseconds waitForUp{10000};
        // After a change event, read the contact's availability again, as Office does.
        bool rereadOnChange = true;
        // Keep watching UpAndRunning and report each change as an event.
        bool watchRegistry = true;
    };
    struct Contact {
        std::string address;
        Microsoft::WRL::ComPtr<IUCCContact> object;
    };

    explicit OfficeConnection(ConnectionReport& output);
    OfficeConnection(ConnectionReport& output, Settings chosen);
    ~OfficeConnection();
    OfficeConnection(const OfficeConnection&) = delete;
    OfficeConnection& operator=(const OfficeConnection&) = delete;

    // From the registry to the contact manager and the user's own contact.
    bool connect();
    // Everything Office does for one person it shows; the contact stays watched.
    bool watchContact(const std::string& address);
    // Asks the provider to start a conversation; the modes are AutomationModalities bits.
    HRESULT startConversation(LONG modes, const std::vector<std::string>& participants, const std::string& subject,
                              const std::string& endpoint);
    // Unadvises every sink and releases every object, as Office does when it closes.
    void release();

    static std::string availabilityName(LONG availability);

    IUCOfficeIntegration* integration() const { return integrationObject.Get(); }
    IUCCLyncClient* client() const { return clientObject.Get(); }
    IUCCAutomation* automation() const { return automationObject.Get(); }
    IUCCContactManager* contactManager() const { return contactManagerObject.Get(); }
    const std::vector<Contact>& contacts() const { return watched; }
    const std::wstring& processName() const { return provider.processName; }

private:
    struct Advised {
        Microsoft::WRL::ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
    };
    struct Provider {
        std::wstring name;
        std::wstring processName;
        std::wstring guid;
    };

    bool findProvider();
    bool createIntegration();
    bool authenticate();
    bool takeInterfaces();
    bool takeContactManager();
    bool checkSelf();
    bool advise(IUnknown* source, const IID& events, EventSink::Handler handler, const std::string& what);
    // A failed QueryInterface across the process boundary is a marshalling fault when no
    // proxy is registered for the interface, and the object's answer otherwise.
    Link linkOfQueryInterface(HRESULT result, const IID& iid) const;

    void onIntegrationEvent(DISPID member, const DISPPARAMS& parameters);
    void onClientEvent(DISPID member, const DISPPARAMS& parameters);
    void onContactEvent(const std::string& address, DISPID member, const DISPPARAMS& parameters);

    ConnectionReport& report;
    const Settings settings;
    Provider provider;
    ProviderRegistry registry;
    Microsoft::WRL::ComPtr<IUCOfficeIntegration> integrationObject;
    Microsoft::WRL::ComPtr<IUCCLyncClient> clientObject;
    Microsoft::WRL::ComPtr<IUCCAutomation> automationObject;
    Microsoft::WRL::ComPtr<IUCCContactManager> contactManagerObject;
    Microsoft::WRL::ComPtr<IUCCContactSubscription> subscription;
    Microsoft::WRL::ComPtr<IUCCContact> selfContact;
    std::vector<Contact> watched;
    std::vector<Advised> advised;
};
