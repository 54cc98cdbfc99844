#pragma once

#include "client/com/CComObject.h"

#include <windows.h>

#include <wrl/client.h>

namespace orvex::atl {

// The class identifier of a class that plays no part as a class.
inline constexpr CLSID kNoClassId{};

// Binds a class to its class identifier. None of the classes is registered with COM by
// this: objects are created by the component itself (CreateInstance below, or
// CComObject<T>::CreateInstance).
template <class T, const CLSID* clsid = &kNoClassId>
class CComCoClass {
public:
    static const CLSID& GetObjectCLSID() noexcept { return *clsid; }

    // Creates an object of the class and asks it for `iid`; when it does not answer, the
    // object goes again.
    static HRESULT CreateInstance(REFIID iid, void** out) noexcept
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        Microsoft::WRL::ComPtr<CComObject<T>> object;
        const HRESULT result = CComObject<T>::CreateInstance(object);
        if (FAILED(result)) {
            return result;
        }
        return object->QueryInterface(iid, out);
    }

protected:
    ~CComCoClass() = default;
};

} // namespace orvex::atl
