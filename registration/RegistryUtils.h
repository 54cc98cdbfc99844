#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The names that identify the provider to Office and the registry primitives through
// which the library's registry access goes. The WOW6432Node keys are addressed by their
// literal paths; only registration/Wow64RegistryMirror passes a view flag, for the 64-bit
// view a 32-bit process does not otherwise reach. GUID texts are compared exactly, case
// included.
namespace Utils::Registry {

inline constexpr std::wstring_view ProviderName = L"Talvo Orvex";
inline constexpr std::wstring_view ProviderProcessName = L"OrvexWindows.exe";
inline constexpr std::wstring_view TypeLibDummyPath = L"ORVEX_DUMMY";
inline constexpr std::string_view IntegrationDllName = "orvex-windows-office-integration.dll";

// The registry text of a GUID: upper case, in braces, 38 characters.
std::wstring GuidText(const GUID& guid);
// The class Office creates and the type library, as registry text.
std::wstring ProviderClsid();
std::wstring TypeLibId();

// The type library's keys in the 64-bit view and under WOW6432Node.
std::wstring typeLibPath();
std::wstring typeLibWowPath();

// The text of a REG_SZ value, cut at its first NUL; empty when the key or value is
// missing, the value has another type, or a query fails.
std::wstring ReadString(HKEY root, const std::wstring& path, const std::wstring& valueName);

// Stores data as REG_SZ with its terminating NUL, creating the key if needed.
bool WriteString(HKEY root, const std::wstring& path, const std::wstring& valueName, const std::wstring& data);

void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName);

// Not recursive: a subkey that has subkeys of its own stays.
void DeleteKey(HKEY root, const std::wstring& parentPath, const std::wstring& subkeyName);

// The per-user type library keys, pointing at this library's file in the host
// executable's directory. Rewritten with the same data on every getOutlookIntegration.
void WriteUserTypeLibKeys();

} // namespace Utils::Registry
