#pragma once

#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

// Office's subscription object. Every contact watches its own presence from creation to
// release, so subscribing changes nothing: the calls that declare a subscription
// succeed and keep nothing, the ones that read it back are not supported.
class UCCContactSubscription : public orvex::com::CComObjectRootEx,
                               public orvex::com::IDispatchImpl<IUCCContactSubscription> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCContactSubscription, IDispatch>;

    UCCContactSubscription();
    ~UCCContactSubscription() override;

    HRESULT STDMETHODCALLTYPE Subscribe(ContactSubscriptionRefreshRate refreshRate,
                                        SAFEARRAY* informationTypes) noexcept override;
    HRESULT STDMETHODCALLTYPE Unsubscribe() noexcept override;
    HRESULT STDMETHODCALLTYPE AddContact(IUCCContact* contact) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveContact(IUCCContact* contact) noexcept override;
    HRESULT STDMETHODCALLTYPE get_LastSubscribedRefreshRate(ContactSubscriptionRefreshRate* refreshRate) noexcept
        override;
    HRESULT STDMETHODCALLTYPE get_LastSubscribedContactInformation(SAFEARRAY** informationTypes) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Contacts(SAFEARRAY** contacts) noexcept override;
    HRESULT STDMETHODCALLTYPE AddContactByUri(BSTR contactUri) noexcept override;
    HRESULT STDMETHODCALLTYPE AddContacts(SAFEARRAY* contacts) noexcept override;
};
