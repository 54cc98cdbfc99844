// The registry primitives and the per-user type library keys, against the real
// registry of the test prefix.
#include "fileutils/FileUtils.h"
#include "host/TextConversion.h"
#include "registration/RegistryUtils.h"
#include "tests/registration/TestRegistryKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace Registry = Utils::Registry;

namespace {

std::wstring executableDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path().wstring();
}

const std::wstring kChildFlag = L"--write-user-type-library-keys";

} // namespace

TEST(RegistryPrimitives, WriteStringStoresTheTextWithItsTerminatingNul)
{
    TestRegistryKey key;
    ASSERT_TRUE(Registry::WriteString(HKEY_CURRENT_USER, key.path() + L"\\created\\on demand", L"name", L"value"));

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (key.path() + L"\\created\\on demand").c_str(), L"name",
                           RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (5u + 1u) * sizeof(wchar_t));
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path() + L"\\created\\on demand", L"name"), L"value");
}

TEST(RegistryPrimitives, ReadStringAnswersOnlyStringValues)
{
    TestRegistryKey key;
    const wchar_t expandable[] = L"%SystemRoot%";
    const DWORD number = 2;
    const wchar_t withNul[] = L"before\0after";
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    key.setValue(L"", L"expandable", REG_EXPAND_SZ, expandable, sizeof(expandable));
    key.setValue(L"", L"number", REG_DWORD, &number, sizeof(number));
    key.setValue(L"", L"withNul", REG_SZ, withNul, sizeof(withNul));
    key.setValue(L"", L"unterminated", REG_SZ, unterminated, sizeof(unterminated));
    key.setValue(L"", L"", REG_SZ, L"default", sizeof(L"default"));

    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"expandable"), L"");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"number"), L"");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"withNul"), L"before");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"unterminated"), L"abc");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L""), L"default");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"missing"), L"");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path() + L"\\missing", L""), L"");
}

TEST(RegistryPrimitives, DeleteValueAndDeleteKeyRemoveOnlyWhatTheyName)
{
    TestRegistryKey key;
    Registry::WriteString(HKEY_CURRENT_USER, key.path(), L"kept", L"1");
    Registry::WriteString(HKEY_CURRENT_USER, key.path(), L"gone", L"2");
    Registry::WriteString(HKEY_CURRENT_USER, key.path() + L"\\leaf", L"", L"x");
    Registry::WriteString(HKEY_CURRENT_USER, key.path() + L"\\branch\\child", L"", L"y");

    Registry::DeleteValue(HKEY_CURRENT_USER, key.path(), L"gone");
    Registry::DeleteKey(HKEY_CURRENT_USER, key.path(), L"leaf");
    Registry::DeleteKey(HKEY_CURRENT_USER, key.path(), L"branch");
    Registry::DeleteKey(HKEY_CURRENT_USER, key.path() + L"\\missing", L"leaf");
    Registry::DeleteValue(HKEY_CURRENT_USER, key.path() + L"\\missing", L"gone");

    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"kept"), L"1");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path(), L"gone"), L"");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path() + L"\\leaf", L""), L"");
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, key.path() + L"\\branch\\child", L""), L"y")
        << "a key with a subkey stays";
}

TEST(UserTypeLibKeys, PointAtTheLibraryBesideTheHostExecutable)
{
    const std::wstring directory = executableDirectory();
    Registry::WriteUserTypeLibKeys();

    for (const std::wstring& base : {Registry::typeLibPath(), Registry::typeLibWowPath()}) {
        SCOPED_TRACE(TextConversion::toUtf8(base));
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

TEST(UserTypeLibKeys, ANonAsciiHostDirectorySurvivesTheRoundTrip)
{
    // The keys name the directory of whichever executable calls the library, so a copy
    // of this test executable in a non-ASCII directory writes them.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path directory =
        std::filesystem::path(temp) / (L"\u00D8rvex \u0442\u0435\u0441\u0442 \U0001F600 " +
                                       std::to_wstring(GetCurrentProcessId()));
    std::filesystem::create_directories(directory);
    const std::filesystem::path copy = directory / L"registry-child.exe";
    std::filesystem::copy_file(self, copy, std::filesystem::copy_options::overwrite_existing);
    // The C++ runtime DLLs go with it.
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(self).parent_path())) {
        if (entry.path().extension() == L".dll" && entry.path().filename().wstring().starts_with(L"lib")) {
            std::filesystem::copy_file(entry.path(), directory / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }

    std::wstring commandLine = L"\"" + copy.wstring() + L"\" " + kChildFlag;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(exitCode, 0u);

    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, Registry::typeLibPath() + L"\\1.0\\HELPDIR", L""),
              directory.wstring());
    EXPECT_EQ(Registry::ReadString(HKEY_CURRENT_USER, Registry::typeLibWowPath() + L"\\1.0\\0\\win32", L""),
              directory.wstring() + L"\\orvex-windows-office-integration.dll");

    Registry::WriteUserTypeLibKeys();
    std::filesystem::remove_all(directory);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && argv[1] == kChildFlag) {
        Registry::WriteUserTypeLibKeys();
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
