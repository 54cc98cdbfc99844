#include "registration/RegistrationDiagnostics.h"

#include "host/HostLog.h"
#include "host/TextConversion.h"
#include "registration/ExpectedInterfaces.h"
#include "registration/RegistryUtils.h"

#include <array>

namespace Utils::Registry {

namespace {

constexpr char kLogSource[] = "Utilities\\RegistryUtils";
constexpr char kFunction[] = "Utils::Registry::CheckAllInterfaces";

constexpr wchar_t kInterfacePath[] = L"SOFTWARE\\Classes\\Interface\\";
constexpr wchar_t kWowInterfacePath[] = L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\";
constexpr wchar_t kTypeLibSuffix[] = L"\\TypeLib";

// The four locations in checking order; each has its own counter of interfaces missing.
enum Location { UserView, UserWow, MachineView, MachineWow, LocationCount };

std::wstring platformValuePath(const wchar_t* platform) { return typeLibPath() + L"\\1.0\\0\\" + platform; }

} // namespace

bool PointsToTypeLib(HKEY root, const std::wstring& path) { return ReadString(root, path, L"") == TypeLibId(); }

bool CheckAllInterfaces()
{
    std::array<unsigned, LocationCount> missing{};
    // Both paths are rebuilt in place per row: the checks are bound by the registry
    // round trips, and the diagnostics should add nothing of their own beside them.
    std::wstring viewPath;
    std::wstring wowPath;
    for (const ExpectedInterface& expected : ExpectedInterfaces) {
        viewPath.assign(kInterfacePath).append(expected.iid).append(kTypeLibSuffix);
        wowPath.assign(kWowInterfacePath).append(expected.iid).append(kTypeLibSuffix);
        const std::array<bool, LocationCount> found = {
            PointsToTypeLib(HKEY_CURRENT_USER, viewPath),
            PointsToTypeLib(HKEY_CURRENT_USER, wowPath),
            PointsToTypeLib(HKEY_LOCAL_MACHINE, viewPath),
            PointsToTypeLib(HKEY_LOCAL_MACHINE, wowPath),
        };
        unsigned missingHere = 0;
        for (int location = 0; location < LocationCount; ++location) {
            if (!found[location]) {
                ++missing[location];
                ++missingHere;
            }
        }
        if (missingHere == LocationCount) {
            ORVEX_LOG(LogLevel::Error, kFunction,
                      "Missing HKEY_LOCAL_MACHINE: " << TextConversion::toUtf8(wowPath) << ", inteface: "
                                                     << TextConversion::toUtf8(expected.name));
        }
    }

    ORVEX_LOG(LogLevel::Debug, kFunction, std::string(89, '='));
    ORVEX_LOG(LogLevel::Debug, kFunction,
              "HKCU: " << missing[UserView] << " HKCU Wow6432Node: " << missing[UserWow]);
    ORVEX_LOG(LogLevel::Debug, kFunction,
              "HKLM: " << missing[MachineView] << " HKLM Wow6432Node: " << missing[MachineWow]);

    // Only the 64-bit view path is read here: these lines tell whether any platform path
    // exists at all, not which view Office will use.
    const std::wstring win64Path = platformValuePath(L"win64");
    const std::wstring win32Path = platformValuePath(L"win32");
    const std::wstring machineWin64 = ReadString(HKEY_LOCAL_MACHINE, win64Path, L"");
    const std::wstring machineWin32 = ReadString(HKEY_LOCAL_MACHINE, win32Path, L"");
    const std::wstring userWin64 = ReadString(HKEY_CURRENT_USER, win64Path, L"");
    const std::wstring userWin32 = ReadString(HKEY_CURRENT_USER, win32Path, L"");
    ORVEX_LOG(LogLevel::Debug, kFunction, "TypeLib Win32: " << TextConversion::toUtf8(machineWin32));
    ORVEX_LOG(LogLevel::Debug, kFunction, "TypeLib Win64: " << TextConversion::toUtf8(machineWin64));
    ORVEX_LOG(LogLevel::Debug, kFunction, "TypeLib Win32 HKCU: " << TextConversion::toUtf8(userWin32));
    ORVEX_LOG(LogLevel::Debug, kFunction, "TypeLib Win64 HKCU: " << TextConversion::toUtf8(userWin64));

    bool someLocationComplete = false;
    for (const unsigned count : missing) {
        someLocationComplete = someLocationComplete || count == 0;
    }
    const bool someTypeLibPath =
        !machineWin64.empty() || !machineWin32.empty() || !userWin64.empty() || !userWin32.empty();
    const bool verdict = someLocationComplete && someTypeLibPath;
    ORVEX_LOG(LogLevel::Info, kFunction, "Successful registration: " << (verdict ? "1" : "0"));
    return verdict;
}

} // namespace Utils::Registry
