// Saving and putting back a registry key, in a scratch key of the test prefix.
#include "registration/RegistryTreeSnapshot.h"
#include "tests/registration/SavedRegistryKeys.h"
#include "tests/registration/TestRegistryKey.h"

#include <gtest/gtest.h>

TEST(RegistryTreeSnapshot, PutsBackValuesOfEveryTypeAndNestedSubkeysExactly)
{
    TestRegistryKey scratch;
    const std::wstring key = scratch.path() + L"\\saved";
    const BYTE binary[] = {0, 1, 2, 0xFF};
    const DWORD number = 42;
    const wchar_t multi[] = L"one\0two\0";
    scratch.setValue(L"saved", L"", REG_SZ, L"default", sizeof(L"default"));
    scratch.setValue(L"saved", L"binary", REG_BINARY, binary, sizeof(binary));
    scratch.setValue(L"saved", L"number", REG_DWORD, &number, sizeof(number));
    scratch.setValue(L"saved", L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    scratch.setValue(L"saved", L"empty", REG_SZ, nullptr, 0);
    scratch.setValue(L"saved\\child\\grandchild", L"deep", REG_EXPAND_SZ, L"%PATH%", sizeof(L"%PATH%"));
    scratch.setValue(L"saved\\leaf", L"", REG_SZ, L"x", sizeof(L"x"));

    const RegistryTreeSnapshot snapshot(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(snapshot.existed());
    EXPECT_TRUE(snapshot.unchanged());

    scratch.setValue(L"saved", L"number", REG_DWORD, &binary, sizeof(DWORD));
    scratch.setValue(L"saved\\child", L"added", REG_SZ, L"y", sizeof(L"y"));
    RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\leaf").c_str());
    scratch.setValue(L"saved\\new", L"", REG_SZ, L"z", sizeof(L"z"));
    EXPECT_FALSE(snapshot.unchanged());

    EXPECT_TRUE(snapshot.restore());

    EXPECT_TRUE(snapshot.unchanged());
    EXPECT_TRUE(RegistryTreeSnapshot(HKEY_CURRENT_USER, key).unchanged());
    EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, key + L"\\child\\grandchild", L"deep").type,
              static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, key + L"\\leaf").text, L"x");
    EXPECT_FALSE(RawRegistry::read(HKEY_CURRENT_USER, key + L"\\child", L"added").exists);
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_CURRENT_USER, key + L"\\new"));
    DWORD restored = 0;
    DWORD size = sizeof(restored);
    RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"number", RRF_RT_REG_DWORD, nullptr, &restored, &size);
    EXPECT_EQ(restored, number);
}

TEST(RegistryTreeSnapshot, AKeyThatDidNotExistIsRemovedAgainAndAnUntouchedOneIsNotRewritten)
{
    TestRegistryKey scratch;
    const std::wstring absent = scratch.path() + L"\\absent";
    const RegistryTreeSnapshot missing(HKEY_CURRENT_USER, absent);
    EXPECT_FALSE(missing.existed());
    EXPECT_TRUE(missing.unchanged());
    scratch.setValue(L"absent\\created", L"", REG_SZ, L"x", sizeof(L"x"));
    EXPECT_FALSE(missing.unchanged());
    EXPECT_TRUE(missing.restoreIfChanged());
    EXPECT_FALSE(RawRegistry::keyExists(HKEY_CURRENT_USER, absent));

    // An unchanged key keeps the values it has, in the order it has them.
    scratch.setValue(L"kept", L"b", REG_SZ, L"1", sizeof(L"1"));
    scratch.setValue(L"kept", L"a", REG_SZ, L"2", sizeof(L"2"));
    const RegistryTreeSnapshot kept(HKEY_CURRENT_USER, scratch.path() + L"\\kept");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (scratch.path() + L"\\kept").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_TRUE(kept.restoreIfChanged());
    wchar_t name[8] = {};
    DWORD length = 8;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << "a handle opened before is still valid: the key was not deleted and made again";
    RegCloseKey(key);
}
