#include "registration/SelfRegistration.h"

#include "registration/ProviderKeys.h"
#include "registration/RegistrationDiagnostics.h"
#include "registration/RegistryUtils.h"
#include "registration/TypeLibraryRegistration.h"

#include <atomic>
#include <cwchar>

namespace Utils::Registry {

namespace {

// Set by DllInstall("user") and never cleared: the process was started to register for
// the current user, and its later unregistration has to be per user as well.
std::atomic<bool> perUserRegistration{false};

// Loading and registering a type library depend on the thread locale; they run under
// the system default, whatever the caller's thread uses, and the thread gets its own
// locale back afterwards.
class SystemLocaleScope {
public:
    SystemLocaleScope() : saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(saved); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    const LCID saved;
};

std::wstring platformValuePath(const std::wstring& typeLibKey, const wchar_t* platform)
{
    return typeLibKey + L"\\1.0\\0\\" + platform;
}

} // namespace

const std::array<std::wstring, 4>& MachinePlatformValuePaths()
{
    static const std::array<std::wstring, 4> paths = {
        platformValuePath(typeLibPath(), L"win64"),
        platformValuePath(typeLibWowPath(), L"win64"),
        platformValuePath(typeLibPath(), L"win32"),
        platformValuePath(typeLibWowPath(), L"win32"),
    };
    return paths;
}

void MaskMachineTypeLibPath(const std::wstring& path)
{
    if (!ReadString(HKEY_LOCAL_MACHINE, path, L"").empty()) {
        WriteString(HKEY_LOCAL_MACHINE, path, L"", std::wstring(TypeLibDummyPath));
    }
}

void RestoreMachineTypeLibPaths()
{
    std::wstring userPath = ReadString(HKEY_CURRENT_USER, platformValuePath(typeLibWowPath(), L"win32"), L"");
    if (userPath.empty()) {
        userPath = ReadString(HKEY_CURRENT_USER, platformValuePath(typeLibPath(), L"win32"), L"");
    }
    if (userPath.empty()) {
        return;
    }
    for (const std::wstring& path : MachinePlatformValuePaths()) {
        if (ReadString(HKEY_LOCAL_MACHINE, path, L"") == TypeLibDummyPath) {
            WriteString(HKEY_LOCAL_MACHINE, path, L"", userPath);
        }
    }
}

HRESULT RegisterServer(HMODULE module)
{
    HRESULT result = S_OK;
    {
        const SystemLocaleScope locale;
        result = RegisterTypeLibrary(module, perUserRegistration);
    }
    if (FAILED(result)) {
        return result;
    }
    RegisterProvider();
    CheckAllInterfaces();
    for (const std::wstring& path : MachinePlatformValuePaths()) {
        MaskMachineTypeLibPath(path);
    }
    return result;
}

HRESULT UnregisterServer(HMODULE module)
{
    UnregisterProvider();
    RestoreMachineTypeLibPaths();
    const SystemLocaleScope locale;
    return UnregisterTypeLibrary(module, perUserRegistration);
}

HRESULT Install(HMODULE module, BOOL install, const wchar_t* commandLine)
{
    // Five characters, the terminating NUL included: "user" in any letter case, and
    // nothing longer that merely begins with it.
    if (commandLine != nullptr && _wcsnicmp(commandLine, L"user", 5) == 0) {
        perUserRegistration = true;
    }
    if (!install) {
        return UnregisterServer(module);
    }
    const HRESULT result = RegisterServer(module);
    if (FAILED(result)) {
        // A half-done registration is taken back whole; its own outcome does not
        // change what the caller is told.
        UnregisterServer(module);
    }
    return result;
}

} // namespace Utils::Registry
