#pragma once

#include "client/com/Atl.h"
#include "client/com/Bstr.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

// One element of a contact's custom-activity list: a text without a locale.
class UCCLocaleString : public orvex::com::CComObjectRootEx,
                        public orvex::com::IDispatchImpl<IUCCLocaleString> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCLocaleString, IDispatch>;

    UCCLocaleString();
    ~UCCLocaleString() override;

    // Always -1: the text carries no locale.
    HRESULT STDMETHODCALLTYPE get_LocaleId(LONG* localeId) noexcept override;
    // A byte-exact copy; null when no value was set.
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) noexcept override;

    // Keeps a byte-exact copy; a failed allocation is raised as ComError(E_OUTOFMEMORY).
    void setValue(BSTR text);

private:
    mutable SlimReaderWriterLock lock;
    orvex::com::Bstr value;
};
