// The IM provider keys against the real registry of the test prefix. The keys are saved
// and cleared first and put back afterwards.
#include "host/IOfficeIntegration.h"
#include "registration/ProviderKeys.h"
#include "registration/RegistryUtils.h"
#include "registration/Wow64RegistryMirror.h"
#include "tests/support/LifecycleProbe.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/SavedRegistryKeys.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <filesystem>

namespace Registry = Utils::Registry;

namespace {

const std::wstring kUserProviders = L"Software\\IM Providers";
const std::wstring kUserWowProviders = L"Software\\WOW6432Node\\IM Providers";
// The same path per user (UpAndRunning) and machine-wide (the provider's identity).
const std::wstring kProviderKey = L"Software\\IM Providers\\Talvo Orvex";
const std::wstring kMachineWowProviderKey = L"Software\\WOW6432Node\\IM Providers\\Talvo Orvex";
const std::wstring kClsid = L"{EF7DF969-CE84-41FD-AE70-4F563C30BE2F}";

void writeProviderKey(HKEY root, const std::wstring& key, const std::wstring& guid = kClsid, REGSAM view = 0)
{
    RawRegistry::writeText(root, key, L"FriendlyName", L"Talvo Orvex", view);
    RawRegistry::writeText(root, key, L"ProcessName", L"OrvexWindows.exe", view);
    RawRegistry::writeText(root, key, L"GUID", guid, view);
}

// A value as a 64-bit Office reads it, from the 64-bit view, whatever this process's bitness.
std::wstring read64(HKEY root, const std::wstring& path, const wchar_t* name)
{
    return RawRegistry::read(root, path, name, KEY_WOW64_64KEY).text;
}

std::wstring defaultApp(const std::wstring& providers)
{
    return RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp").text;
}

// A key that this process may read but not write, as HKLM is for a user without
// administrative rights. The process owns it, so it can hand write access back to
// itself for the clean-up.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(std::wstring keyPath) : path(std::move(keyPath)) { setDacl(L"D:P(A;;KR;;;WD)"); }
    ~ReadOnlyKey() { setDacl(L"D:(A;;KA;;;WD)"); }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

private:
    // Creates the key when it is missing.
    void setDacl(const wchar_t* sddl) const
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
        RegCloseKey(key);
    }

    std::wstring path;
};

class ProviderKeys : public HostedTest {
protected:
    void SetUp() override
    {
        saved.saveAndRemove(HKEY_CURRENT_USER, kUserProviders);
        saved.saveAndRemove(HKEY_CURRENT_USER, kUserWowProviders);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kProviderKey);
        saved.saveAndRemove(HKEY_LOCAL_MACHINE, kMachineWowProviderKey);
        HostedTest::SetUp();
    }

    static IOfficeIntegration& integration() { return *getOutlookIntegration(nullptr); }

    SavedRegistryKeys saved;
};

} // namespace

TEST_F(ProviderKeys, UpAndRunningStatesAndWhenTheDefaultProviderIsWritten)
{
    Registry::SetUpAndRunning(1);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 1) << "the per-user provider key is created";
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp").exists);
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, kUserWowProviders, L"DefaultIMApp").exists);

    Registry::SetUpAndRunning(2);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 2);
    for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp").type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(defaultApp(providers), L"Talvo Orvex");
    }

    Registry::SetUpAndRunning(0);
    EXPECT_EQ(LifecycleProbe::upAndRunning(), 0);
    EXPECT_EQ(defaultApp(kUserProviders), L"Talvo Orvex") << "stopping leaves the default provider";
    // In a 32-bit process Wine (not Windows, where HKCU "Software" is shared by both views)
    // sends these writes under "Software\\Wow6432Node" once that key exists, which the
    // provider's own DefaultIMApp write makes.
    if (!Wow64RegistryMirror::active()) {
        EXPECT_FALSE(RawRegistry::keyExists(HKEY_CURRENT_USER, kUserWowProviders + L"\\Talvo Orvex"))
            << "UpAndRunning has no WOW6432Node twin";
    }
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kProviderKey));

    EXPECT_EQ(host.messagesOf("Utils::Registry::SetUpAndRunning"),
              (std::vector<std::string>{"Setting up and running to: 1", "Setting key for Office 2013 or 2016.",
                                        "Setting up and running to: 2", "Setting key for Office 2013 or 2016.",
                                        "Setting up and running to: 0", "Setting key for Office 2013 or 2016."}));
}

TEST_F(ProviderKeys, WithoutWriteAccessToTheMachineKeysOnlyTheUserValuesAreSet)
{
    {
        const ReadOnlyKey machine(kProviderKey);
        const ReadOnlyKey machineWow(kMachineWowProviderKey);
        HKEY probe = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), 0, KEY_WRITE, &probe), ERROR_ACCESS_DENIED)
            << "the machine key must refuse writing for this test to mean anything";

        Registry::RegisterProvider();

        for (const std::wstring& key : {kProviderKey, kMachineWowProviderKey}) {
            EXPECT_FALSE(RawRegistry::read(HKEY_LOCAL_MACHINE, key, L"FriendlyName").exists);
            EXPECT_FALSE(RawRegistry::read(HKEY_LOCAL_MACHINE, key, L"GUID").exists);
        }
        EXPECT_FALSE(Registry::IsProviderRegistered());
    }
    EXPECT_EQ(defaultApp(kUserProviders), L"Talvo Orvex");
    EXPECT_EQ(defaultApp(kUserWowProviders), L"Talvo Orvex");
}

TEST_F(ProviderKeys, UnregisteringRemovesOnlyThisProvidersDefaultAndOnlyLeafMachineKeys)
{
    // What each DefaultIMApp holds before an uninstall, and whether it is this provider's
    // to remove: another messenger's default, or an empty one, is not.
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"Talvo Orvex", true}, {L"tALVO orvex", true}, {L"Another Messenger", false},
        {L"", false},           {L"Talvo Orvex 2", false},
    };
    for (const auto& [before, removed] : cases) {
        SCOPED_TRACE(testing::Message() << L"DefaultIMApp \"" << before << L"\"");
        for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
            RawRegistry::writeText(HKEY_CURRENT_USER, providers, L"DefaultIMApp", before);
        }
        Wow64RegistryMirror::writeString(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp", before);
        RawRegistry::writeText(HKEY_CURRENT_USER, kUserProviders, L"Kept", L"other data");
        Registry::SetUpAndRunning(0);
        // The key a 64-bit Office reads, and the one a 32-bit Office reads.
        writeProviderKey(HKEY_LOCAL_MACHINE, kProviderKey, kClsid, KEY_WOW64_64KEY);
        writeProviderKey(HKEY_LOCAL_MACHINE, kMachineWowProviderKey);
        RawRegistry::writeText(HKEY_LOCAL_MACHINE, kMachineWowProviderKey + L"\\Extension", L"", L"someone else's");

        integration().removeRegistration();

        for (const std::wstring& providers : {kUserProviders, kUserWowProviders}) {
            const RawRegistry::Text after = RawRegistry::read(HKEY_CURRENT_USER, providers, L"DefaultIMApp");
            EXPECT_EQ(after.exists, !removed);
            EXPECT_EQ(after.text, removed ? L"" : before);
        }
        EXPECT_EQ(read64(HKEY_CURRENT_USER, kUserProviders, L"DefaultIMApp"), removed ? L"" : before)
            << "the 64-bit view, where a 64-bit Office reads it";
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, kUserProviders, L"Kept").text, L"other data");
        EXPECT_EQ(LifecycleProbe::upAndRunning(), 0) << "the per-user provider key stays";
        EXPECT_EQ(read64(HKEY_LOCAL_MACHINE, kProviderKey, L"GUID"), L"") << "the 64-bit view's leaf key goes";
        EXPECT_TRUE(RawRegistry::keyExists(HKEY_LOCAL_MACHINE, kMachineWowProviderKey))
            << "a provider key with a subkey is not removed";
        EXPECT_TRUE(Registry::IsProviderRegistered());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kMachineWowProviderKey + L"\\Extension").c_str());
    }
}

// The keys every start writes for the messenger's user, naming the DLL beside the host.
TEST(UserTypeLibKeys, PointAtTheLibraryBesideTheHostExecutable)
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    const std::wstring directory = std::filesystem::path(executable).parent_path().wstring();
    const std::wstring libId = L"TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}";
    const std::wstring bases[] = {L"SOFTWARE\\Classes\\" + libId, L"SOFTWARE\\WOW6432Node\\Classes\\" + libId};
    SavedRegistryKeys saved;
    for (const std::wstring& base : bases) {
        saved.saveAndRemove(HKEY_CURRENT_USER, base);
    }
    Registry::WriteUserTypeLibKeys();

    for (const std::wstring& base : bases) {
        const auto value = [&base](const wchar_t* path) {
            return RawRegistry::read(HKEY_CURRENT_USER, base + L"\\1.0" + path).text;
        };
        EXPECT_EQ(value(L""), L"OfficeIntegrationLib");
        EXPECT_EQ(value(L"\\FLAGS"), L"0");
        EXPECT_EQ(value(L"\\HELPDIR"), directory);
        EXPECT_EQ(value(L"\\0\\win32"), directory + L"\\orvex-windows-office-integration.dll");
        EXPECT_EQ(value(L"\\0\\win64"), L"");
    }
}
