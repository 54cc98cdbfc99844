#pragma once

#include "client/com/CAtlModule.h"
#include "client/com/InterfaceTable.h"

#include <windows.h>

#include <wrl/client.h>

#include <new>

namespace orvex::com {

// The creatable wrapper that makes a class a COM object: it adds IUnknown (the class's
// InterfaceTable, the atomic count of CComObjectRootEx) and the creation and
// destruction steps. The class's constructor may throw; creation then fails with
// E_OUTOFMEMORY and nothing is left behind.
//
// Creation locks the module and hands the object out with a count of 0: the caller adds
// the first reference. When the last reference goes, the count is moved far from zero,
// the class's FinalRelease runs, the module is unlocked, and then the class and its
// members are destroyed.
template <class T>
class CComObject final : public T {
public:
    static HRESULT CreateInstance(CComObject<T>** object) noexcept
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        try {
            *object = new CComObject<T>();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // The same, holding the first reference in `object`.
    static HRESULT CreateInstance(Microsoft::WRL::ComPtr<CComObject<T>>& object) noexcept
    {
        CComObject<T>* created = nullptr;
        const HRESULT result = CreateInstance(&created);
        object = created;
        return result;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
    {
        return queryInterface(static_cast<T*>(this), T::InterfaceTable::template entries<T>(), iid, out);
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->internalAddRef(); }

    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const ULONG count = this->internalRelease();
        if (count == 0) {
            // The module stays locked while the object goes, so that the library is not
            // unloaded under its destructor.
            lockModule();
            delete this;
            unlockModule();
        }
        return count;
    }

private:
    CComObject() { lockModule(); }

    ~CComObject() override
    {
        this->markDestroying();
        try {
            this->FinalRelease();
        } catch (...) {
            // A final release that fails still lets the object go.
        }
        unlockModule();
    }
};

} // namespace orvex::com
