#pragma once

#include "client/com/CComTypeInfoHolder.h"

#include <windows.h>

#include <oaidl.h>

namespace orvex::com {

// The IDispatch half of a dual interface, served from the component's type library
// through the interface's shared CComTypeInfoHolder. The class implements the
// interface's own methods; Invoke reaches them through the type information.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // see Implements.h
template <class Interface>
class IDispatchImpl : public Interface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override
    {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) noexcept override
    {
        return typeInfoHolder().GetTypeInfo(index, locale, typeInfo);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) noexcept override
    {
        return typeInfoHolder().GetIDsOfNames(iid, names, count, locale, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept override
    {
        return typeInfoHolder().Invoke(static_cast<Interface*>(this), member, iid, locale, flags, parameters, result,
                                       exception, argumentError);
    }

    // The holder every object implementing Interface shares.
    static CComTypeInfoHolder& typeInfoHolder() noexcept
    {
        static CComTypeInfoHolder holder(__uuidof(Interface));
        return holder;
    }

protected:
    ~IDispatchImpl() = default;
};
#pragma GCC diagnostic pop

} // namespace orvex::com
