// Self-registration through the built DLL's exports and through Wine's regsvr32, against
// the real registry of the test prefix. Every key the registration may touch is saved
// and cleared first and put back afterwards.
#include "registration/ExpectedInterfaces.h"
#include "registration/RegistryUtils.h"
#include "registration/SelfRegistration.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/SavedRegistryKeys.h"
#include "tests/support/ImportHook.h"
#include "tests/support/IntegrationLibrary.h"
#include "tests/support/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Registry = Utils::Registry;

namespace {

constexpr LCID kCallerLocale = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
const std::wstring kDummy = L"ORVEX_DUMMY";
const std::wstring kSharedInterfaceKey = L"SOFTWARE\\Classes\\Interface\\{56A868B4-0AD4-11CE-B03A-0020AF0BA770}";
const std::wstring kIntegrationInterfaceKey =
    L"SOFTWARE\\Classes\\Interface\\{6A222195-F65E-467F-8F77-EB180BD85288}";
const std::wstring kMachineProviderKey = L"Software\\IM Providers\\Talvo Orvex";
const std::wstring kMachineWowProviderKey = L"Software\\WOW6432Node\\IM Providers\\Talvo Orvex";
// The platform value the system's registration writes for a library of this build.
const wchar_t* const kOwnPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

std::wstring platformValue(const std::wstring& typeLibKey, const wchar_t* platform)
{
    return typeLibKey + L"\\1.0\\0\\" + platform;
}

// Stands in for the per-user functions that the DLL looks up by name: counts their calls
// and passes them on to the system's, or has the system do a registration half: the
// library's keys written, then refused.
struct PerUserCalls {
    static inline int registrations = 0;
    static inline int unregistrations = 0;
    static inline LCID localeDuringRegistration = 0;
    static inline bool refuse = false;

    template <class Function>
    static Function system(const char* name)
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), name)));
    }
    static HRESULT WINAPI registerForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDirectory)
    {
        ++registrations;
        localeDuringRegistration = GetThreadLocale();
        const HRESULT result =
            system<decltype(&registerForUser)>("RegisterTypeLibForUser")(library, path, helpDirectory);
        return refuse ? E_ACCESSDENIED : result;
    }
    static HRESULT WINAPI unregisterForUser(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind)
    {
        ++unregistrations;
        return system<decltype(&unregisterForUser)>("UnRegisterTypeLibForUser")(library, major, minor, locale, kind);
    }
    // The DLL's own GetProcAddress: its lookups of the two reach the stand-ins.
    static FARPROC WINAPI lookUp(HMODULE module, LPCSTR name)
    {
        const bool named = HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0;
        if (named && std::strcmp(name, "RegisterTypeLibForUser") == 0) {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&registerForUser));
        }
        if (named && std::strcmp(name, "UnRegisterTypeLibForUser") == 0) {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&unregisterForUser));
        }
        return GetProcAddress(module, name);
    }
};

// The exports of one load of the DLL, whose per-user lookups reach PerUserCalls. Each load
// starts with the per-user flag clear.
struct Exports {
    IntegrationLibrary library;
    ImportHook lookUps{library.handle(), "GetProcAddress", reinterpret_cast<const void*>(&PerUserCalls::lookUp)};
    HRESULT(WINAPI* registerServer)() = find<decltype(registerServer)>("DllRegisterServer");
    HRESULT(WINAPI* unregisterServer)() = find<decltype(unregisterServer)>("DllUnregisterServer");
    HRESULT(WINAPI* install)(BOOL, const wchar_t*) = find<decltype(install)>("DllInstall");

    // Without the library, GetProcAddress looks in the test executable, which has none of them.
    template <class Function>
    Function find(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library.handle(), name)));
    }
    bool complete() const
    {
        return lookUps.installed() && registerServer != nullptr && unregisterServer != nullptr && install != nullptr;
    }
};

class SelfRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (const auto& row : Registry::ExpectedInterfaces) {
                saved.saveAndRemove(root, L"SOFTWARE\\Classes\\Interface\\" + std::wstring(row.iid));
                saved.saveAndRemove(root, L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\" + std::wstring(row.iid));
            }
            saved.saveAndRemove(root, Registry::typeLibPath());
            saved.saveAndRemove(root, Registry::typeLibWowPath());
        }
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kSharedInterfaceKey);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kMachineProviderKey);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kMachineWowProviderKey);
        saved.saveAndRemove(HKEY_CURRENT_USER, L"Software\\IM Providers");
        saved.saveAndRemove(HKEY_CURRENT_USER, L"Software\\WOW6432Node\\IM Providers");
        SetThreadLocale(kCallerLocale);
        PerUserCalls::registrations = PerUserCalls::unregistrations = 0;
        PerUserCalls::refuse = false;
    }

    void TearDown() override { SetThreadLocale(savedLocale); }

    static std::wstring machineValue(const std::wstring& path) { return RawRegistry::read(HKEY_LOCAL_MACHINE, path).text; }
    static bool providerRegistered()
    {
        return RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineProviderKey) &&
               RawRegistry::read(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp").exists;
    }

    SavedRegistryKeys saved;
    const LCID savedLocale = GetThreadLocale();
};

} // namespace

TEST_F(SelfRegistration, MachineWideRegistrationMasksThePlatformPathsAndUnregistrationRemovesItsOwnKeysOnly)
{
    Exports dll;
    ASSERT_TRUE(dll.complete());

    EXPECT_EQ(dll.registerServer(), S_OK);

    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
    EXPECT_EQ(machineValue(platformValue(Registry::typeLibPath(), kOwnPlatform)), kDummy);
    const wchar_t* const otherPlatform = sizeof(void*) == 8 ? L"win32" : L"win64";
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, platformValue(Registry::typeLibPath(), otherPlatform)));
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, platformValue(Registry::typeLibWowPath(), otherPlatform)));
    EXPECT_EQ(machineValue(kIntegrationInterfaceKey + L"\\TypeLib"), L"{9D5662DE-96CC-471F-94F0-E00E05457627}");
    EXPECT_TRUE(providerRegistered());
    EXPECT_EQ(RawRegistry::read(HKEY_LOCAL_MACHINE, kMachineWowProviderKey, L"GUID").text,
              L"{EF7DF969-CE84-41FD-AE70-4F563C30BE2F}");
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kSharedInterfaceKey))
        << "a system interface the system has not registered is not registered for it";

    // The messenger's per-user keys name this DLL: unregistration puts that path back
    // where the placeholder stands, which lets the system find the library to remove.
    Registry::WriteUserTypeLibKeys();
    EXPECT_EQ(dll.unregisterServer(), S_OK);

    EXPECT_EQ(GetThreadLocale(), kCallerLocale);
    EXPECT_FALSE(RawRegistry::read(HKEY_LOCAL_MACHINE, platformValue(Registry::typeLibPath(), kOwnPlatform)).exists);
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kIntegrationInterfaceKey));
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineProviderKey));
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineWowProviderKey));
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp").exists);

    // The shared system interface, as the system registers it (its own name, proxy and
    // method count, no type library), keeps that registration through both.
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, kSharedInterfaceKey, L"", L"IVideoWindow");
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, kSharedInterfaceKey + L"\\ProxyStubClsid32", L"",
                           L"{92A3A302-DA7C-4A1F-BA7E-1802BB5D2D02}");
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, kSharedInterfaceKey + L"\\NumMethods", L"", L"45");
    const RegistryTreeSnapshot systemRegistration(HKEY_LOCAL_MACHINE, kSharedInterfaceKey);
    ASSERT_EQ(dll.registerServer(), S_OK);
    EXPECT_TRUE(systemRegistration.unchanged());
    Registry::WriteUserTypeLibKeys();
    ASSERT_EQ(dll.unregisterServer(), S_OK);
    EXPECT_TRUE(systemRegistration.unchanged());
}

TEST_F(SelfRegistration, DllInstallRegistersPerUserOnlyForTheWordUser)
{
    {
        Exports dll;
        ASSERT_TRUE(dll.complete());
        EXPECT_EQ(dll.install(TRUE, L"USER"), S_OK);
        EXPECT_EQ(PerUserCalls::registrations, 1);
        EXPECT_EQ(PerUserCalls::localeDuringRegistration, ConvertDefaultLocale(LOCALE_SYSTEM_DEFAULT));
        EXPECT_EQ(GetThreadLocale(), kCallerLocale);
        EXPECT_TRUE(providerRegistered());

        // The flag stays for the life of the process: a plain uninstall is per user too.
        Registry::WriteUserTypeLibKeys();
        EXPECT_EQ(dll.install(FALSE, nullptr), S_OK);
        EXPECT_EQ(PerUserCalls::unregistrations, 1);
        EXPECT_FALSE(providerRegistered());
    }
    {
        Exports dll;
        ASSERT_TRUE(dll.complete());
        for (const wchar_t* commandLine : {L"users", L"use", L"", static_cast<const wchar_t*>(nullptr)}) {
            EXPECT_EQ(dll.install(TRUE, commandLine), S_OK);
        }
        EXPECT_EQ(PerUserCalls::registrations, 1) << "machine-wide each time";
        EXPECT_TRUE(providerRegistered());
        Registry::WriteUserTypeLibKeys();
        EXPECT_EQ(dll.install(FALSE, L"user "), S_OK);
        EXPECT_EQ(PerUserCalls::unregistrations, 1);
        EXPECT_FALSE(providerRegistered());

        EXPECT_EQ(dll.install(TRUE, L"uSeR"), S_OK);
        EXPECT_EQ(PerUserCalls::registrations, 2);
    }
}

// The steps' order is visible: the diagnostics see the type library's real machine path,
// which is masked only after them, and a registration refused by the system writes no
// provider key, so it cannot take the default from another messenger, and is taken back
// whole, type library keys included.
TEST_F(SelfRegistration, EachStepComesAfterWhatItNeeds)
{
    const std::wstring ownPlatform = platformValue(Registry::typeLibPath(), kOwnPlatform);
    const std::string diagnosed = sizeof(void*) == 8 ? "TypeLib Win64: " : "TypeLib Win32: ";
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "registered");
        RawRegistry::writeText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp", L"Other Messenger");
        PerUserCalls::refuse = refused;
        // Outlives the library, whose unload still logs.
        std::vector<std::string> logged;
        Exports dll;
        ASSERT_TRUE(dll.complete());
        auto helper = std::make_shared<::testing::NiceMock<MockPlatformHelper>>();
        ::testing::Mock::AllowLeak(helper.get());
        ON_CALL(*helper, log(::testing::_, ::testing::_, ::testing::_, ::testing::_, ::testing::_))
            .WillByDefault([&logged](const std::string& message, auto...) { logged.push_back(message); });
        dll.library.getOutlookIntegration(helper);

        EXPECT_EQ(dll.install(TRUE, L"user"), refused ? E_ACCESSDENIED : S_OK);

        EXPECT_EQ(machineValue(ownPlatform) == kDummy, !refused);
        EXPECT_EQ(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineProviderKey), !refused);
        // Wine's per-user registration writes the machine-wide keys as well, and takes back
        // only those: they show whether the library asked for the type library to go.
        for (const std::wstring& path : {Registry::typeLibPath(), Registry::typeLibWowPath()}) {
            EXPECT_TRUE(!refused || !RawRegistry::keyExists(HKEY_LOCAL_MACHINE, path))
                << "a half-done registration is taken back whole";
        }
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp").text,
                  refused ? L"Other Messenger" : L"Talvo Orvex");
        if (!refused) {
            const auto line = std::find_if(logged.begin(), logged.end(),
                                           [&](const std::string& m) { return m.starts_with(diagnosed); });
            ASSERT_NE(line, logged.end());
            EXPECT_NE(*line, diagnosed + "ORVEX_DUMMY") << "masked before the diagnostics ran";
            EXPECT_NE(std::find(logged.begin(), logged.end(), "Successful registration: 1"), logged.end());
            Registry::WriteUserTypeLibKeys();
            EXPECT_EQ(dll.install(FALSE, nullptr), S_OK);
        }
    }
}
