#pragma once

#include "client/com/Atl.h"
#include "contacts/DictionaryImpl.h"

#include "OfficeIntegrationLib.h"

// The answer to a batch request for contact information: a dictionary from information
// type to VARIANT, filled by the contact before Office sees it and read-only afterwards.
class UCCContactInformationDictionary
    : public orvex::com::CComObjectRootEx,
      public orvex::com::IDispatchImpl<IUCCContactInformationDictionary> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCContactInformationDictionary, IDispatch>;

    UCCContactInformationDictionary();
    ~UCCContactInformationDictionary() override;

    HRESULT STDMETHODCALLTYPE get_Values(SAFEARRAY** values) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Item(ContactInformationType key, VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_Keys(SAFEARRAY** keys) noexcept override;
    HRESULT STDMETHODCALLTYPE TryGetValue(ContactInformationType key, VARIANT* value,
                                          VARIANT_BOOL* found) noexcept override;
    HRESULT STDMETHODCALLTYPE GetKeyAt(LONG index, ContactInformationType* key) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValueAt(LONG index, VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE ContainsKey(ContactInformationType key, VARIANT_BOOL* found) noexcept override;

    // Filling, before the dictionary is handed out.
    void add(ContactInformationType key, orvex::com::Variant value);

private:
    DictionaryImpl<ContactInformationType> dictionary;
};
