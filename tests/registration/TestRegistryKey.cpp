#include "tests/registration/TestRegistryKey.h"

#include <stdexcept>

TestRegistryKey::TestRegistryKey()
    : path_(L"Software\\OrvexTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()))
{
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

TestRegistryKey::~TestRegistryKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

void TestRegistryKey::setValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                               DWORD size) const
{
    const std::wstring keyPath = subkey.empty() ? path_ : path_ + L"\\" + subkey;
    if (RegSetKeyValueW(HKEY_CURRENT_USER, keyPath.c_str(), name.c_str(), type, data, size) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write a test registry value");
    }
}
