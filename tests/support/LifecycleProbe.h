#pragma once

#include "tests/support/RawRegistry.h"

#include "OfficeIntegrationLib.h"

#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <string>

// What the tests of the integration's start and stop observe from outside: the
// provider's run-time registry values and whether COM reaches the class object.
namespace LifecycleProbe {

inline constexpr wchar_t kProviderKey[] = L"Software\\IM Providers\\Talvo Orvex";

// HKCU "Software\IM Providers\Talvo Orvex" UpAndRunning in `view`, or -1 when absent.
inline long upAndRunning(REGSAM view = 0)
{
    const auto value = RawRegistry::read(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", view);
    return value.type == REG_DWORD ? static_cast<long>(value.number) : -1;
}

inline std::wstring defaultImApp()
{
    return RawRegistry::read(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp").text;
}

// Sets UpAndRunning to a value the library never writes, to see that it writes one.
inline void markUpAndRunning(DWORD value)
{
    RawRegistry::writeNumber(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", value);
}

// The provider's class object as COM finds it for a local server, or null.
inline Microsoft::WRL::ComPtr<IClassFactory> classObject()
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    CoGetClassObject(CLSID_OfficeIntegrationImpl, CLSCTX_LOCAL_SERVER, nullptr, IID_PPV_ARGS(&factory));
    return factory;
}

// The calling thread's apartment: APTTYPE_MTA, APTTYPE_STA..., or -1 without COM.
inline int apartmentType()
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) ? static_cast<int>(type) : -1;
}

} // namespace LifecycleProbe
