#pragma once

#include "client/com/DispatchTable.h"

#include <windows.h>

#include <oaidl.h>

#include <atomic>
#include <memory>

namespace orvex::com {

// The type information of one dual interface, shared by every object of the process
// that implements it. It is loaded from the registered type library on the first
// IDispatch call that needs it, under the module's critical section, and kept until the
// module's teardown; a failed load is tried again on the next call. A loaded holder is
// read without a lock.
//
// Holders live in static storage and have no destructor: the module's clean-up list
// releases what they hold.
class CComTypeInfoHolder {
public:
    // The interface is looked up in the module's type library, at the module's version.
    explicit constexpr CComTypeInfoHolder(const IID& iid) noexcept : iid_(&iid) {}
    CComTypeInfoHolder(const CComTypeInfoHolder&) = delete;
    CComTypeInfoHolder& operator=(const CComTypeInfoHolder&) = delete;

    // DISP_E_BADINDEX for an index other than 0, E_POINTER for a null out-pointer;
    // otherwise the type information with an added reference, or null and the load's
    // error.
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) noexcept;
    // One name is looked up in the dispatch table, last row first, exactly (case matters);
    // a miss, or several names, go to the type information, which ignores case. A count
    // of zero is E_INVALIDARG. The interface identifier is not looked at.
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) noexcept;
    // Lets the type information call the method of the dual interface `self`.
    HRESULT Invoke(IDispatch* self, DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

private:
    HRESULT load(LCID locale) noexcept;
    static void cleanUp(void* holder) noexcept;

    const IID* iid_;
    // Null when the type information cannot list its members: it then answers every call.
    std::atomic<DispatchTable*> table_{nullptr};
    std::atomic<ITypeInfo*> typeInfo_{nullptr};
};

} // namespace orvex::com
