#pragma once

#include "registration/RegistryUtils.h"

#include "OfficeIntegrationLib.h"

#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <string>

// What the tests of the integration's start and stop observe from outside: the
// provider's run-time registry values and whether COM reaches the class object.
namespace LifecycleProbe {

inline constexpr wchar_t kProviderKey[] = L"Software\\IM Providers\\Talvo Orvex";

// HKCU "Software\IM Providers\Talvo Orvex" UpAndRunning, or -1 when absent.
inline long upAndRunning()
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LSTATUS read =
        RegGetValueW(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return read == ERROR_SUCCESS ? static_cast<long>(value) : -1;
}

inline std::wstring defaultImApp()
{
    return Utils::Registry::ReadString(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp");
}

// Sets UpAndRunning to a value the library never writes, to see that it writes one.
inline void markUpAndRunning(DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", REG_DWORD, &value, sizeof(value));
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
