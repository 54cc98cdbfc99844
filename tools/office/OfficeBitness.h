#pragma once

#include "registration/RegistryUtils.h"

#include <windows.h>

#include <array>
#include <string>

// Where Office finds the providers: the machine-wide keys of each view, and the current
// user's run-time state and default.
inline const std::wstring kProvidersKey = L"Software\\IM Providers";
inline const std::wstring kProviderKey = kProvidersKey + L"\\" + std::wstring(Utils::Registry::ProviderName);
// The fix of whatever only the library's machine-wide registration writes.
inline const std::string kRegisterAgain = "register the library again from the messenger's folder, as an administrator: "
                                          "regsvr32 " + std::string(Utils::Registry::IntegrationDllName);

// Where an Office of one bitness looks: the registry view of its process, the type library
// platform it loads, and the per-user provider path it reads DefaultIMApp from. Windows
// shares HKCU "Software" between the views; Wine sends a 32-bit process's plain path to the
// WOW6432Node key, and the library writes both, so each path is read as one Office reads it.
struct OfficeBitness {
    const char* name;               // "64-bit" or "32-bit", as findings name it
    REGSAM view;                    // KEY_WOW64_64KEY or KEY_WOW64_32KEY
    const char* viewName;           // "64-bit view" ...
    const wchar_t* platform;        // the type library platform key: "win64" or "win32"
    const wchar_t* userProviders;   // HKCU path of DefaultIMApp
    REGSAM userView;

    bool isThisProcess() const { return (sizeof(void*) == 8) == (view == KEY_WOW64_64KEY); }
};

inline constexpr std::array<OfficeBitness, 2> kOfficeBitnesses{
    OfficeBitness{"64-bit", KEY_WOW64_64KEY, "64-bit view", L"win64", L"Software\\IM Providers", KEY_WOW64_64KEY},
    OfficeBitness{"32-bit", KEY_WOW64_32KEY, "32-bit view, WOW6432Node", L"win32",
                  L"Software\\WOW6432Node\\IM Providers", 0},
};

// A finding that concerns both Offices alike (the running process, the class object).
inline constexpr const char* kBothBitnesses = "both";
