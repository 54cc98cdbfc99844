#include "registration/ProviderKeys.h"

#include "host/HostLog.h"
#include "registration/RegistrationDiagnostics.h"
#include "registration/RegistryUtils.h"
#include "registration/Wow64RegistryMirror.h"

#include <string>

namespace Utils::Registry {

namespace {

constexpr char kLogSource[] = "Utilities\\RegistryUtils";

constexpr wchar_t kProvidersPath[] = L"Software\\IM Providers";
constexpr wchar_t kWowProvidersPath[] = L"Software\\WOW6432Node\\IM Providers";

std::wstring providerKeyPath(const wchar_t* providersPath)
{
    return std::wstring(providersPath).append(L"\\").append(ProviderName);
}

void setDefaultProvider()
{
    for (const wchar_t* providersPath : {kProvidersPath, kWowProvidersPath}) {
        WriteString(HKEY_CURRENT_USER, providersPath, L"DefaultIMApp", std::wstring(ProviderName));
    }
    Wow64RegistryMirror::writeString(HKEY_CURRENT_USER, kProvidersPath, L"DefaultIMApp", std::wstring(ProviderName));
}

void writeMachineProviderKey(const std::wstring& keyPath)
{
    WriteString(HKEY_LOCAL_MACHINE, keyPath, L"FriendlyName", std::wstring(ProviderName));
    WriteString(HKEY_LOCAL_MACHINE, keyPath, L"ProcessName", std::wstring(ProviderProcessName));
    WriteString(HKEY_LOCAL_MACHINE, keyPath, L"GUID", ProviderClsid());
}

// Office looks the default up as a key name, and registry key names ignore letter case.
bool namesThisProvider(const std::wstring& defaultProvider)
{
    return !defaultProvider.empty() &&
           CompareStringOrdinal(defaultProvider.c_str(), static_cast<int>(defaultProvider.size()), ProviderName.data(),
                                static_cast<int>(ProviderName.size()), TRUE) == CSTR_EQUAL;
}

void removeDefaultProviderIfThisOne()
{
    for (const wchar_t* providersPath : {kProvidersPath, kWowProvidersPath}) {
        if (namesThisProvider(ReadString(HKEY_CURRENT_USER, providersPath, L"DefaultIMApp"))) {
            DeleteValue(HKEY_CURRENT_USER, providersPath, L"DefaultIMApp");
        }
    }
    if (namesThisProvider(Wow64RegistryMirror::readString(HKEY_CURRENT_USER, kProvidersPath, L"DefaultIMApp"))) {
        Wow64RegistryMirror::deleteValue(HKEY_CURRENT_USER, kProvidersPath, L"DefaultIMApp");
    }
}

bool providerKeyMatches(const std::wstring& keyPath)
{
    return ReadString(HKEY_LOCAL_MACHINE, keyPath, L"FriendlyName") == ProviderName &&
           ReadString(HKEY_LOCAL_MACHINE, keyPath, L"ProcessName") == ProviderProcessName &&
           ReadString(HKEY_LOCAL_MACHINE, keyPath, L"GUID") == ProviderClsid();
}

} // namespace

void SetUpAndRunning(std::uint32_t state)
{
    AnnounceUpAndRunning(state);
    WriteUpAndRunning(state);
}

void AnnounceUpAndRunning(std::uint32_t state)
{
    constexpr char function[] = "Utils::Registry::SetUpAndRunning";
    ORVEX_LOG(LogLevel::Debug, function, "Setting up and running to: " << state);
    ORVEX_LOG(LogLevel::Debug, function, "Setting key for Office 2013 or 2016.");
}

void WriteUpAndRunning(std::uint32_t state)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, providerKeyPath(kProvidersPath).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const DWORD value = state;
        RegSetValueExW(key, L"UpAndRunning", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }
    Wow64RegistryMirror::writeDword(HKEY_CURRENT_USER, providerKeyPath(kProvidersPath), L"UpAndRunning", state);

    if (state == ProviderUpAndRunning) {
        setDefaultProvider();
    }
}

void RegisterProvider()
{
    setDefaultProvider();
    for (const wchar_t* providersPath : {kProvidersPath, kWowProvidersPath}) {
        writeMachineProviderKey(providerKeyPath(providersPath));
    }
    const std::wstring keyPath = providerKeyPath(kProvidersPath);
    Wow64RegistryMirror::writeString(HKEY_LOCAL_MACHINE, keyPath, L"FriendlyName", std::wstring(ProviderName));
    Wow64RegistryMirror::writeString(HKEY_LOCAL_MACHINE, keyPath, L"ProcessName", std::wstring(ProviderProcessName));
    Wow64RegistryMirror::writeString(HKEY_LOCAL_MACHINE, keyPath, L"GUID", ProviderClsid());
}

void UnregisterProvider()
{
    removeDefaultProviderIfThisOne();
    for (const wchar_t* providersPath : {kProvidersPath, kWowProvidersPath}) {
        DeleteKey(HKEY_LOCAL_MACHINE, providersPath, std::wstring(ProviderName));
    }
    Wow64RegistryMirror::deleteKey(HKEY_LOCAL_MACHINE, kProvidersPath, std::wstring(ProviderName));
}

bool IsProviderRegistered()
{
    const bool registered =
        providerKeyMatches(providerKeyPath(kProvidersPath)) || providerKeyMatches(providerKeyPath(kWowProvidersPath));
    CheckAllInterfaces();
    return registered;
}

} // namespace Utils::Registry
