// The registration diagnostics against the real registry of the test prefix: every
// interface key they read, in HKCU and HKLM, both views, is saved and cleared first and
// put back afterwards.
#include "host/LogLevel.h"
#include "registration/ExpectedInterfaces.h"
#include "registration/RegistrationDiagnostics.h"
#include "registration/RegistryUtils.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/SavedRegistryKeys.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Registry = Utils::Registry;

namespace {

constexpr auto kDebug = static_cast<std::int32_t>(LogLevel::Debug);
constexpr auto kInfo = static_cast<std::int32_t>(LogLevel::Info);
constexpr auto kError = static_cast<std::int32_t>(LogLevel::Error);

const std::wstring kLibId = L"{9D5662DE-96CC-471F-94F0-E00E05457627}";

enum class View { Native, Wow };

std::wstring interfaceKey(View view, const wchar_t* iid)
{
    return std::wstring(view == View::Native ? L"SOFTWARE\\Classes\\Interface\\"
                                             : L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\") +
           iid;
}

std::wstring platformKey(const wchar_t* platform)
{
    return L"SOFTWARE\\Classes\\TypeLib\\" + kLibId + L"\\1.0\\0\\" + platform;
}

class RegistrationDiagnostics : public HostedTest {
protected:
    void SetUp() override
    {
        // In a 32-bit process on 64-bit Windows the registry, not the diagnostics, decides which
        // key each of the four paths names: both paths of a root reach its 32-bit view, and Wine
        // also sends HKCU "Software" under "Wow6432Node" once earlier suites have created that
        // key. Exact counters per location can only be asserted where the four are four keys.
        BOOL wow64 = FALSE;
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
            GTEST_SKIP() << "in a 32-bit process on a 64-bit system the registry folds the locations together";
        }
        // The host exists before the keys are cleared: handing it over writes the
        // per-user type library keys.
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const auto& row : Registry::ExpectedInterfaces) {
                saved.saveAndRemove(root, interfaceKey(View::Native, row.iid));
                saved.saveAndRemove(root, interfaceKey(View::Wow, row.iid));
            }
            saved.saveAndRemove(root, Registry::typeLibPath());
        }
        HostedTest::SetUp();
    }

    static void registerRow(HKEY root, View view, std::size_t row, const std::wstring& libId = kLibId)
    {
        RawRegistry::writeText(root, interfaceKey(view, Registry::ExpectedInterfaces[row].iid) + L"\\TypeLib", L"",
                               libId);
    }

    // The records after the per-interface ones: separator, counters, paths, verdict.
    std::vector<std::string> summary() const
    {
        return host.messagesWhere([](const RecordingHost::Record& record) { return record.level != kError; });
    }

    SavedRegistryKeys saved;
};

} // namespace

// Each location has its own counter and each platform value its own line; only a location
// holding every interface, with a type library path, gives a positive verdict.
TEST_F(RegistrationDiagnostics, EachLocationIsCountedAndOnlyACompleteOneIsAVerdictOfSuccess)
{
    // Different numbers of interfaces in each location, so that a swapped counter shows.
    std::size_t row = 0;
    for (const auto& [root, view, count] : {std::tuple{HKEY_CURRENT_USER, View::Native, 1},
                                            std::tuple{HKEY_CURRENT_USER, View::Wow, 2},
                                            std::tuple{HKEY_LOCAL_MACHINE, View::Native, 3},
                                            std::tuple{HKEY_LOCAL_MACHINE, View::Wow, 4}}) {
        for (int registered = 0; registered < count; ++registered) {
            registerRow(root, view, row++);
        }
    }
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, platformKey(L"win32"), L"", L"machine 32");
    RawRegistry::writeText(HKEY_LOCAL_MACHINE, platformKey(L"win64"), L"", L"machine 64");
    RawRegistry::writeText(HKEY_CURRENT_USER, platformKey(L"win64"), L"", L"user 64");

    EXPECT_FALSE(Registry::CheckAllInterfaces()) << "no location holds every interface";

    EXPECT_EQ(summary(), (std::vector<std::string>{
                             std::string(89, '='),
                             "HKCU: 272 HKCU Wow6432Node: 271",
                             "HKLM: 270 HKLM Wow6432Node: 269",
                             "TypeLib Win32: machine 32",
                             "TypeLib Win64: machine 64",
                             "TypeLib Win32 HKCU: ",
                             "TypeLib Win64 HKCU: user 64",
                             "Successful registration: 0",
                         }));
    const std::vector<std::string> missing = host.messages(kError);
    ASSERT_EQ(missing.size(), 273u - 10u);
    EXPECT_EQ(missing.front(), "Missing HKEY_LOCAL_MACHINE: SOFTWARE\\Classes\\WOW6432Node\\Interface\\"
                               "{AA41EE75-F9C5-42F7-8D17-1D92D6BA4D92}\\TypeLib, inteface: IUCCApplicationRegistration")
        << "the eleventh row is the first registered nowhere";
    EXPECT_EQ(missing.back(), "Missing HKEY_LOCAL_MACHINE: SOFTWARE\\Classes\\WOW6432Node\\Interface\\"
                              "{8C9B6953-33CC-4A04-9DA4-F71AE79DA0C0}\\TypeLib, inteface: _IUCOfficeIntegrationEvents");
    // Completed per user: HKCU's native view now holds every interface.
    for (std::size_t at = 0; at < Registry::ExpectedInterfaces.size(); ++at) {
        registerRow(HKEY_CURRENT_USER, View::Native, at);
    }
    RawRegistry::writeText(HKEY_CURRENT_USER, platformKey(L"win32"), L"", L"C:\\Orvex\\integration.dll");
    host.forgetRecords();
    EXPECT_TRUE(Registry::CheckAllInterfaces());
    const auto complete = summary(); // the other lines as above
    ASSERT_EQ(complete.size(), 8u);
    EXPECT_EQ(complete[1], "HKCU: 0 HKCU Wow6432Node: 271");
    EXPECT_EQ(complete[5], "TypeLib Win32 HKCU: C:\\Orvex\\integration.dll");
    EXPECT_EQ(complete[7], "Successful registration: 1");
    for (const auto& record : host.records()) {
        EXPECT_EQ(record.level, record.message.starts_with("Successful") ? kInfo : kDebug) << record.message;
        EXPECT_EQ(record.file, "Utilities\\RegistryUtils");
        EXPECT_EQ(record.function, "Utils::Registry::CheckAllInterfaces");
    }
}
