#pragma once

#include "client/UCCLyncClientEventsProxy.h"
#include "client/UCCSelf.h"
#include "client/com/Atl.h"
#include "contacts/IContactResolver.h"
#include "contacts/UCCContactManager.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

#include <memory>

// The client as Office sees it. It is signed in from its creation on and signed out
// once the host stops the integration; it never signs in or out by itself. It leads
// Office to the contact manager and the signed-in user; everything else about a
// client is answered with fixed results.
class UCCLyncClient : public orvex::com::CComObjectRootEx,
                      public orvex::com::IDispatchImpl<IUCCLyncClient>,
                      public orvex::com::IDispatchImpl<IUCCClient2>,
                      public orvex::com::IConnectionPointContainerImpl<UCCLyncClient>,
                      public UCCLyncClientEventsProxy<UCCLyncClient> {
public:
    // IUCCClient is left out on purpose: Office reaches its methods through
    // IUCCLyncClient and must not get the older client on its own.
    using InterfaceTable = orvex::com::InterfaceTable<IUCCLyncClient, IUCCClient2,
                                                      orvex::com::Via<IDispatch, IUCCLyncClient>,
                                                      IConnectionPointContainer>;
    using ConnectionPointTable = orvex::com::ConnectionPointTable<UCCLyncClientEventsProxy<UCCLyncClient>>;

    UCCLyncClient();
    ~UCCLyncClient() override;

    // The one way the state changes. A new state is logged and announced to the sinks
    // with OnStateChanged, after the state lock was left, so that a sink may read the
    // client from inside the event; the state already held changes nothing.
    void setClientState(const ClientState& newState) noexcept;

    // Gives the contact manager the resolver and the self object the contact manager,
    // under the state lock; a part that could not be created is left out.
    void wireContacts(const std::shared_ptr<IContactResolver>& resolver);

    // The client as the source of its events.
    IUnknown* eventSource() noexcept { return static_cast<IUCCLyncClient*>(this); }

    // IUCCClient
    HRESULT STDMETHODCALLTYPE get_Type(ClientType* type) noexcept override;
    HRESULT STDMETHODCALLTYPE get_State(ClientState* value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Uri(BSTR* uri) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Self(IUCCSelf** value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ContactManager(IUCCContactManager** value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ConversationManager(IUCCConversationManager** manager) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ConferenceScheduler(IUCCConferenceScheduler** value) noexcept override;

    // IUCCLyncClient
    HRESULT STDMETHODCALLTYPE SignIn(BSTR userUri, BSTR domainAndUsername, BSTR password, IUnknown* callback,
                                     VARIANT state, IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE SignOut(IUnknown* callback, VARIANT state,
                                      IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE get_SignInConfiguration(IUCCSignInConfiguration** configuration) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Capabilities(LyncClientCapabilityTypes* capabilities) noexcept override;
    HRESULT STDMETHODCALLTYPE get_DeviceManager(IUCCDeviceManager** deviceManager) noexcept override;
    HRESULT STDMETHODCALLTYPE get_DelegatorClients(SAFEARRAY** delegateClients) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Utilities(IUCCUtilities** utilities) noexcept override;
    HRESULT STDMETHODCALLTYPE CreateApplicationRegistration(BSTR appGuid, BSTR appName,
                                                            IUCCApplicationRegistration** registration) noexcept
        override;
    HRESULT STDMETHODCALLTYPE get_InSuppressedMode(VARIANT_BOOL* value) noexcept override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR clientName, BSTR version, BSTR clientShortName,
                                         BSTR clientNameAbbreviation, BSTR clientLongName,
                                         SupportedFeatures supportedFeatures, IUnknown* callback, VARIANT state,
                                         IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE Shutdown(IUnknown* callback, VARIANT state,
                                       IUCCAsynchronousOperation** asyncOperation) noexcept override;

    // IUCCClient2
    HRESULT STDMETHODCALLTYPE get_PrivateContactManager(IUCCContactManager** value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_RoomManager(IUCCRoomManager** value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Settings(IUCCClientSettings** value) noexcept override;

private:
    template <class Interface, class Child>
    HRESULT handOut(const Microsoft::WRL::ComPtr<Child>& child, Interface** value) const noexcept;

    mutable SlimReaderWriterLock stateLock;
    ClientState state = ucClientStateSignedIn;
    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCContactManager>> contactManager;
    Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCSelf>> self;
};
