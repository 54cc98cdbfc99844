#include "tests/host/LifecycleProbe.h"

#include "registration/RegistryUtils.h"

#include "OfficeIntegrationLib.h"

#include <objbase.h>

namespace LifecycleProbe {

namespace {

const wchar_t kProviderKey[] = L"Software\\IM Providers\\Talvo Orvex";

} // namespace

long upAndRunning()
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<long>(value);
}

std::wstring defaultImApp()
{
    return Utils::Registry::ReadString(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp");
}

void markUpAndRunning(DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, kProviderKey, L"UpAndRunning", REG_DWORD, &value, sizeof(value));
}

HRESULT findClassObject(REFIID iid, void** classObject)
{
    return CoGetClassObject(CLSID_OfficeIntegrationImpl, CLSCTX_LOCAL_SERVER, nullptr, iid, classObject);
}

int apartmentType()
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) ? static_cast<int>(type) : -1;
}

} // namespace LifecycleProbe
