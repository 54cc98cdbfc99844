#pragma once

#include "client/com/Atl.h"
#include "client/com/SafeArray.h"
#include "contacts/IContactDetails.h"
#include "contacts/UCCContactEventsProxy.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

#include <memory>
#include <mutex>

// One person as Office sees them: the address, the presence and related information
// read from the contact's watcher, and an OnContactInformationChanged event each time
// the host reports a presence.
//
// The contact manager creates every contact and attaches its watcher before Office can
// reach it.
class UCCContact : public orvex::com::CComObjectRootEx,
                   public orvex::com::IDispatchImpl<IUCCContact>,
                   public orvex::com::IConnectionPointContainerImpl<UCCContact>,
                   public UCCContactEventsProxy<UCCContact> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCContact, orvex::com::Via<IDispatch, IUCCContact>,
                                                      IConnectionPointContainer>;
    using ConnectionPointTable = orvex::com::ConnectionPointTable<UCCContactEventsProxy<UCCContact>>;

    UCCContact();
    ~UCCContact() override;

    // Office has released the contact: the host stops watching it, and a change call in
    // progress is waited for.
    void FinalRelease() noexcept;

    void attach(Microsoft::WRL::ComPtr<IUCCContactManager> manager, std::shared_ptr<IContactDetails> details);

    // The change callback's entry: `contact` is a plain pointer bound when the watch
    // started. A contact whose last reference has already gone is left alone.
    static void onContactChangedDelegator(UCCContact* contact, DISPPARAMS* params) noexcept;

    // IUCCContact
    HRESULT STDMETHODCALLTYPE get_Uri(BSTR* uri) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContactInformation(ContactInformationType type, VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE BatchGetContactInformation(SAFEARRAY* types,
                                                         IUCCContactInformationDictionary** information) noexcept
        override;
    HRESULT STDMETHODCALLTYPE get_Settings(IUCCContactSettingDictionary** settings) noexcept override;
    HRESULT STDMETHODCALLTYPE CanStart(ModalityTypes modalities, VARIANT_BOOL* canStart) noexcept override;
    HRESULT STDMETHODCALLTYPE ChangeSetting(ContactSetting setting, VARIANT value, IUnknown* callback, VARIANT state,
                                            IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE CanChangeSetting(ContactSetting setting, VARIANT_BOOL* canSet) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ContactManager(IUCCContactManager** manager) noexcept override;
    HRESULT STDMETHODCALLTYPE get_CustomGroups(IUCCGroupCollection** groups) noexcept override;
    HRESULT STDMETHODCALLTYPE MoveToGroup(IUCCGroup* targetGroup, IUCCGroup* sourceGroup, IUnknown* callback,
                                          VARIANT state, IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE CanMoveToGroup(IUCCGroup* targetGroup, IUCCGroup* sourceGroup,
                                             VARIANT_BOOL* canMove) noexcept override;
    HRESULT STDMETHODCALLTYPE CreateContactEndpoint(BSTR telephoneUri,
                                                    IUCCContactEndpoint** endpoint) noexcept override;
    HRESULT STDMETHODCALLTYPE get_UnifiedCommunicationType(UnifiedCommunicationType* type) noexcept override;
    HRESULT STDMETHODCALLTYPE GetOrganizationInformation(OrganizationStructureTypes types, IUnknown* callback,
                                                         VARIANT state,
                                                         IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE GetMultipleContactInformation(SAFEARRAY* types,
                                                            IUCCContactInformationDictionary** information) noexcept
        override;

private:
    // A counted reference, or none when the last one has already gone and the contact
    // is on its way out.
    Microsoft::WRL::ComPtr<IUCCContact> tryReference() noexcept;
    HRESULT onContactChanged(DISPPARAMS* params);
    static void onContactChangedAction(Microsoft::WRL::ComPtr<IUCCContact> contact, orvex::com::SafeArray kinds);
    static Microsoft::WRL::ComPtr<IUCCContactInformationChangedEventData> newEventData(
        const orvex::com::SafeArray& kinds);
    Microsoft::WRL::ComPtr<IUCCContactInformationChangedEventData> presenceChangeEventData();
    HRESULT answerContactInformation(ContactInformationType type, orvex::com::Variant& answer);
    HRESULT setVariantToPresenceStringAsLocalString(orvex::com::Variant& answer);
    HRESULT setVariantToAddressList(orvex::com::Variant& answer);
    bool isClientUser();

    std::shared_ptr<IContactDetails> contactDetails;
    Microsoft::WRL::ComPtr<IUCCContactManager> contactManager;

    // A presence change always reports the same four types, and the event data cannot be
    // changed from outside: every presence push of this contact hands Office the one
    // object made at the first, which stays connected to COM until the contact goes.
    std::mutex presenceChangeMutex;
    Microsoft::WRL::ComPtr<IUCCContactInformationChangedEventData> presenceChange;
    DWORD presenceChangeCookie = 0; // its entry in the global interface table, 0 for none
};
