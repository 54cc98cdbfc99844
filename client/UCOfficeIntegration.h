#pragma once

#include "client/UCCAutomation.h"
#include "client/UCCLyncClient.h"
#include "client/UCOfficeIntegrationEventsProxy.h"
#include "client/UCOfficeIntegrationEventsTriggers.h"
#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

#include <servprov.h>
#include <wrl/client.h>

// The root object Office creates through the provider's class object. It tells Office
// which versions and features the provider supports and hands out the client and the
// automation object; it also tells Office when the messenger goes away.
class UCOfficeIntegration : public orvex::com::CComObjectRootEx,
                            public orvex::com::IDispatchImpl<IUCOfficeIntegration>,
                            public orvex::com::IConnectionPointContainerImpl<UCOfficeIntegration>,
                            public UCOfficeIntegrationEventsProxy<UCOfficeIntegration>,
                            public orvex::com::Implements<IServiceProvider> {
public:
    // IDispatch is not answered, although the primary interface is dual.
    using InterfaceTable =
        orvex::com::InterfaceTable<IUCOfficeIntegration, IServiceProvider, IConnectionPointContainer>;
    using ConnectionPointTable =
        orvex::com::ConnectionPointTable<UCOfficeIntegrationEventsProxy<UCOfficeIntegration>>;

    // The service Office asks the provider for, {6b734cfb-92e4-42f3-9a5e-d4bded5fc357}: the
    // one QueryService answers, with the object itself.
    static constexpr GUID kOfficeIntegrationService = {
        0x6b734cfb, 0x92e4, 0x42f3, {0x9a, 0x5e, 0xd4, 0xbd, 0xed, 0x5f, 0xc3, 0x57}};

    // Creates the client (with its contact manager and self object) and the automation
    // object; a part that cannot be created stays empty and is not handed out.
    UCOfficeIntegration();
    ~UCOfficeIntegration() override;

    // What the local server fires when the messenger goes away.
    virtual UCOfficeIntegrationEventsTriggers& getEventsTriggers() noexcept;
    // Wires a new contact resolver into the client's contact manager and that manager
    // into the self object. The class factory calls it once, before Office gets the
    // object.
    virtual void initialise() noexcept;

    // The client, for signing it out when the messenger goes away; null when it could
    // not be created.
    UCCLyncClient* lyncClientObject() const noexcept { return lyncClient.Get(); }

    // IUCOfficeIntegration
    HRESULT STDMETHODCALLTYPE GetSupportedFeatures(BSTR version, OIFeature* features) noexcept override;
    HRESULT STDMETHODCALLTYPE GetAuthenticationInfo(BSTR version, BSTR* info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetInterface(BSTR version, OIInterface requested, IDispatch** value) noexcept override;

    // IServiceProvider
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) noexcept override;

private:
    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCLyncClient>> lyncClient;
    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCAutomation>> automation;
};
