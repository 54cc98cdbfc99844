#pragma once

#include "client/com/Atl.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

// The signed-in user as Office sees them. Only their own contact is offered, through
// the client's contact manager; publishing presence, phones and permissions is the
// messenger's own business and is declined.
class UCCSelf : public orvex::com::CComObjectRootEx,
                public orvex::com::IDispatchImpl<IUCCSelf>,
                public orvex::com::IDispatchImpl<IUCCSelf2> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCSelf, IUCCSelf2, orvex::com::Via<IDispatch, IUCCSelf>>;

    UCCSelf();
    ~UCCSelf() override;

    // Wires the contact manager that answers Contact; the integration does this before
    // Office can reach the object. Passing the manager already held changes nothing.
    void setContactManager(IUCCContactManager* manager) noexcept;
    // The manager held now (with a reference of its own), or null before wiring.
    Microsoft::WRL::ComPtr<IUCCContactManager> heldContactManager() const noexcept;

    // IUCCSelf
    HRESULT STDMETHODCALLTYPE PublishContactInformation(SAFEARRAY* itemTypes, SAFEARRAY* itemValues,
                                                        IUnknown* callback, VARIANT state,
                                                        IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Contact(IUCCContact** selfContact) noexcept override;
    HRESULT STDMETHODCALLTYPE CreatePhone(ContactEndpointType phoneType, BSTR phoneUri, VARIANT_BOOL toBePublished,
                                          IUCCPhone** phone) noexcept override;
    HRESULT STDMETHODCALLTYPE CanSetPhone(ContactEndpointType phoneType, VARIANT_BOOL* canSet) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Phones(SAFEARRAY** phones) noexcept override;
    HRESULT STDMETHODCALLTYPE SetPhones(SAFEARRAY* phones, IUnknown* callback, VARIANT state,
                                        IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPublishableCustomAvailabilityStates(LONG localeId,
                                                                     SAFEARRAY** states) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Permissions(SAFEARRAY** permissions) noexcept override;
    HRESULT STDMETHODCALLTYPE get_PhotoDisplayed(VARIANT_BOOL* displayed) noexcept override;
    HRESULT STDMETHODCALLTYPE get_TestCallEndpoint(IUCCContactEndpoint** endpoint) noexcept override;
    HRESULT STDMETHODCALLTYPE SetPhone(ContactEndpointType phoneType, BSTR phoneUri, VARIANT_BOOL toBePublished,
                                       IUnknown* callback, VARIANT state,
                                       IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE RemovePhone(ContactEndpointType phoneType, IUnknown* callback, VARIANT state,
                                          IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPhone(ContactEndpointType phoneType, IUCCPhone** phone) noexcept override;
    HRESULT STDMETHODCALLTYPE get_IsInResiliencyMode(VARIANT_BOOL* isResiliencyMode) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSettingInternal(SettingItemTypeInternal settingItem,
                                                 VARIANT* setting) noexcept override;

    // IUCCSelf2
    HRESULT STDMETHODCALLTYPE GetAlertLevelForNotification(BSTR senderIdentity, NotificationTypes notificationTypes,
                                                           NotificationUrgencyType urgency,
                                                           IUCCAlertLevel** alertLevel) noexcept override;

private:
    mutable SlimReaderWriterLock contactManagerLock;
    Microsoft::WRL::ComPtr<IUCCContactManager> contactManager;
};
