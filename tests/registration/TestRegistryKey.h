#pragma once

#include <windows.h>

#include <string>

// A scratch key under HKCU\Software\OrvexTests, unique to the test process, removed with
// everything below it when the object goes.
class TestRegistryKey {
public:
    TestRegistryKey();
    ~TestRegistryKey();
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    const std::wstring& path() const { return path_; }

    // Raw writes that bypass the library, for values the library must cope with.
    void setValue(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                  DWORD size) const;

private:
    std::wstring path_;
};
