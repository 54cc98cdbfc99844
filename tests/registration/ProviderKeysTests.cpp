// The IM provider keys against the real registry of the test prefix. The keys are saved
// and cleared first and put back afterwards.
#include "host/IOfficeIntegration.h"
#include "host/LogLevel.h"
#include "registration/ProviderKeys.h"
#include "registration/RegistryUtils.h"
#include "registration/Wow64RegistryMirror.h"
#include "tests/registration/SavedRegistryKeys.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <filesystem>

namespace Registry = Utils::Registry;

namespace {

const std::wstring kUserProviders = L"Software\\IM Providers";
const std::wstring kUserWowProviders = L"Software\\WOW6432Node\\IM Providers";
const std::wstring kUserProviderKey = L"Software\\IM Providers\\Talvo Orvex";
const std::wstring kMachineProviderKey = L"Software\\IM Providers\\Talvo Orvex";
const std::wstring kMachineWowProviderKey = L"Software\\WOW6432Node\\IM Providers\\Talvo Orvex";
const std::wstring kClsid = L"{EF7DF969-CE84-41FD-AE70-4F563C30BE2F}";

void writeMachineProviderKey(const std::wstring& key, const std::wstring& guid = kClsid)
{
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, key, L"FriendlyName", L"Talvo Orvex");
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, key, L"ProcessName", L"OrvexWindows.exe");
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, key, L"GUID", guid);
}

DWORD upAndRunning()
{
    DWORD value = 0xFFFFFFFF;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kUserProviderKey.c_str(), L"UpAndRunning", RRF_RT_ANY, &type, &value,
                     &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD)) {
        return 0xFFFFFFFF;
    }
    return value;
}

// A key that this process may read but not write, as HKLM is for a user without
// administrative rights. The process owns it, so it can hand write access back to
// itself for the clean-up.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY keyRoot, std::wstring keyPath) : root(keyRoot), path(std::move(keyPath))
    {
        setDacl(L"D:P(A;;KR;;;WD)");
    }
    ~ReadOnlyKey() { setDacl(L"D:(A;;KA;;;WD)"); }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

private:
    // Creates the key when it is missing.
    void setDacl(const wchar_t* sddl) const
    {
        HKEY key = nullptr;
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
        RegCloseKey(key);
    }

    HKEY root;
    std::wstring path;
};

class ProviderKeys : public HostedTest {
protected:
    void SetUp() override
    {
        saved.saveAndRemove(HKEY_CURRENT_USER, kUserProviders);
        saved.saveAndRemove(HKEY_CURRENT_USER, kUserWowProviders);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kMachineProviderKey);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kMachineWowProviderKey);
        HostedTest::SetUp();
    }

    static IOfficeIntegration& integration() { return *getOutlookIntegration(nullptr); }

    SavedRegistryKeys saved;
};

} // namespace

namespace {

// A value as a 64-bit Office reads it, from the 64-bit view, whatever this process's
// bitness; empty when missing.
std::wstring read64(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t text[64] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? text : L"";
}

DWORD read64Dword(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    DWORD value = 0xFFFFFFFF;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof(value);
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

} // namespace

TEST_F(ProviderKeys, UpAndRunningStatesAndWhenTheDefaultProviderIsWritten)
{
    Registry::SetUpAndRunning(1);
    EXPECT_EQ(upAndRunning(), 1u) << "the per-user provider key is created";
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp").exists);
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, kUserWowProviders, L"DefaultIMApp").exists);

    Registry::SetUpAndRunning(2);
    EXPECT_EQ(upAndRunning(), 2u);
    for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
        const RawRegistry::Text defaultApp = RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp");
        EXPECT_EQ(defaultApp.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(defaultApp.text, L"Talvo Orvex");
    }

    Registry::SetUpAndRunning(0);
    EXPECT_EQ(upAndRunning(), 0u);
    EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp").text, L"Talvo Orvex")
        << "stopping leaves the default provider";
    // In a 32-bit process Wine (not Windows, where HKCU "Software" is shared by both views)
    // sends these writes under "Software\\Wow6432Node" once that key exists, which the
    // provider's own DefaultIMApp write makes.
    if (!Wow64RegistryMirror::active()) {
        EXPECT_FALSE(RawRegistry::keyExists(HKEY_CURRENT_USER, kUserWowProviders + L"\\Talvo Orvex"))
            << "UpAndRunning has no WOW6432Node twin";
    }
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineProviderKey));

    EXPECT_EQ(host.messagesOf("Utils::Registry::SetUpAndRunning"),
              (std::vector<std::string>{"Setting up and running to: 1", "Setting key for Office 2013 or 2016.",
                                        "Setting up and running to: 2", "Setting key for Office 2013 or 2016.",
                                        "Setting up and running to: 0", "Setting key for Office 2013 or 2016."}));
}

TEST_F(ProviderKeys, WithoutWriteAccessToTheMachineKeysOnlyTheUserValuesAreSet)
{
    {
        const ReadOnlyKey machine(HKEY_LOCAL_MACHINE, kMachineProviderKey);
        const ReadOnlyKey machineWow(HKEY_LOCAL_MACHINE, kMachineWowProviderKey);
        HKEY probe = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineProviderKey.c_str(), 0, KEY_WRITE, &probe),
                  ERROR_ACCESS_DENIED)
            << "the machine key must refuse writing for this test to mean anything";

        Registry::RegisterProvider();

        for (const std::wstring& key : {kMachineProviderKey, kMachineWowProviderKey}) {
            EXPECT_FALSE(RawRegistry::read(HKEY_LOCAL_MACHINE, key, L"FriendlyName").exists);
            EXPECT_FALSE(RawRegistry::read(HKEY_LOCAL_MACHINE, key, L"GUID").exists);
        }
        EXPECT_FALSE(Registry::IsProviderRegistered());
    }
    for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp").text, L"Talvo Orvex");
    }
}

TEST_F(ProviderKeys, UnregisteringRemovesOnlyThisProvidersDefaultAndOnlyLeafMachineKeys)
{
    // What each DefaultIMApp holds before an uninstall, and whether it is this provider's
    // to remove: another messenger's default, or an empty one, is not.
    struct DefaultCase {
        const wchar_t* before;
        bool removed;
    };
    const DefaultCase cases[] = {
        {L"Talvo Orvex", true}, {L"tALVO orvex", true}, {L"Another Messenger", false},
        {L"", false},           {L"Talvo Orvex 2", false},
    };
    for (const DefaultCase& defaultCase : cases) {
        SCOPED_TRACE(testing::Message() << L"DefaultIMApp \"" << defaultCase.before << L"\"");
        for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
            RawRegistry::writeText(HKEY_CURRENT_USER, providers, L"DefaultIMApp", defaultCase.before);
        }
        Wow64RegistryMirror::writeString(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp", defaultCase.before);
        RawRegistry::writeText(HKEY_CURRENT_USER, kUserProviders, L"Kept", L"other data");
        Registry::SetUpAndRunning(0);
        writeMachineProviderKey(kMachineProviderKey);
        writeMachineProviderKey(kMachineWowProviderKey);
        RawRegistry::writeText(HKEY_LOCAL_MACHINE, kMachineWowProviderKey + L"\\Extension", L"", L"someone else's");

        integration().removeRegistration();

        for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
            const RawRegistry::Text after = RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp");
            EXPECT_EQ(after.exists, !defaultCase.removed);
            if (!defaultCase.removed) {
                EXPECT_EQ(after.text, defaultCase.before);
            }
        }
        EXPECT_EQ(read64(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp"),
                  defaultCase.removed ? L"" : defaultCase.before)
            << "the 64-bit view, where a 64-bit Office reads it";
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, kUserProviders, L"Kept").text, L"other data");
        EXPECT_EQ(upAndRunning(), 0u) << "the per-user provider key stays";
        if (!Wow64RegistryMirror::active()) {
            // In a 32-bit process on a 64-bit system the plain path is the WOW6432Node key.
            EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineProviderKey));
        }
        EXPECT_TRUE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineWowProviderKey))
            << "a provider key with a subkey is not removed";
        EXPECT_TRUE(Registry::IsProviderRegistered());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kMachineWowProviderKey + L"\\Extension").c_str());
    }
}

TEST_F(ProviderKeys, RegisteredMeansOneMachineKeyNamingThisProviderExactly)
{
    // Only under WOW6432Node.
    writeMachineProviderKey(kMachineWowProviderKey);
    EXPECT_TRUE(Registry::IsProviderRegistered());

    // The class identifier in other letters.
    std::wstring lowerCase = kClsid;
    for (auto& character : lowerCase) {
        character = towlower(character);
    }
    writeMachineProviderKey(kMachineWowProviderKey, lowerCase);
    EXPECT_FALSE(Registry::IsProviderRegistered());

    // The per-user key does not count, however complete.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMachineProviderKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMachineWowProviderKey.c_str());
    RawRegistry::writeText(HKEY_CURRENT_USER, kUserProviderKey, L"FriendlyName", L"Talvo Orvex");
    RawRegistry::writeText(HKEY_CURRENT_USER, kUserProviderKey, L"ProcessName", L"OrvexWindows.exe");
    RawRegistry::writeText(HKEY_CURRENT_USER, kUserProviderKey, L"GUID", kClsid);
    host.forgetRecords();
    EXPECT_FALSE(integration().isRegistered());

    // Each check runs the registration diagnostics for the log.
    const auto verdicts = host.messages(static_cast<std::int32_t>(LogLevel::Info));
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0].rfind("Successful registration: ", 0), 0u);
}

// The keys every start writes for the messenger's user, naming the DLL beside the host.
TEST(UserTypeLibKeys, PointAtTheLibraryBesideTheHostExecutable)
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    const std::wstring directory = std::filesystem::path(executable).parent_path().wstring();
    Registry::WriteUserTypeLibKeys();

    for (const std::wstring& base : {Registry::typeLibPath(), Registry::typeLibWowPath()}) {
        EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, base + L"\\1.0", L""), L"OfficeIntegrationLib");
        EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, base + L"\\1.0\\FLAGS", L""), L"0");
        EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, base + L"\\1.0\\HELPDIR", L""), directory);
        EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, base + L"\\1.0\\0\\win32", L""),
                  directory + L"\\orvex-windows-office-integration.dll");
        EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, base + L"\\1.0\\0\\win64", L""), L"");
    }
    EXPECT_EQ(Registry::typeLibPath(), L"SOFTWARE\\Classes\\TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}");
    EXPECT_EQ(Registry::typeLibWowPath(),
              L"SOFTWARE\\WOW6432Node\\Classes\\TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}");
}


// On 64-bit Windows the 32-bit library writes the 32-bit view, where a 64-bit Office does
// not look; the 64-bit build writes that view anyway. Both must leave the same keys there.
TEST_F(ProviderKeys, A64BitOfficeFindsTheProviderInItsViewUntilUnregistration)
{
    Registry::RegisterProvider();
    Registry::SetUpAndRunning(2);

    EXPECT_EQ(read64(HKEY_LOCAL_MACHINE, kMachineProviderKey, L"FriendlyName"), L"Talvo Orvex");
    EXPECT_EQ(read64(HKEY_LOCAL_MACHINE, kMachineProviderKey, L"ProcessName"), L"OrvexWindows.exe");
    EXPECT_EQ(read64(HKEY_LOCAL_MACHINE, kMachineProviderKey, L"GUID"), kClsid);
    EXPECT_EQ(read64(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp"), L"Talvo Orvex");
    EXPECT_EQ(read64Dword(HKEY_CURRENT_USER, kUserProviderKey, L"UpAndRunning"), 2u);

    Registry::SetUpAndRunning(0);
    EXPECT_EQ(read64Dword(HKEY_CURRENT_USER, kUserProviderKey, L"UpAndRunning"), 0u);

    Registry::UnregisterProvider();
    EXPECT_EQ(read64(HKEY_LOCAL_MACHINE, kMachineProviderKey, L"GUID"), L"");
    EXPECT_EQ(read64(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp"), L"");
}
