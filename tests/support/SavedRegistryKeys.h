#pragma once

#include "registration/RegistryTreeSnapshot.h"

#include <windows.h>

#include <string>
#include <vector>

// Keys of the test prefix's real registry that a test changes: each is saved whole when
// named and put back as it was when the object goes, so that tests sharing the prefix
// find them untouched.
class SavedRegistryKeys {
public:
    SavedRegistryKeys() = default;
    ~SavedRegistryKeys();
    SavedRegistryKeys(const SavedRegistryKeys&) = delete;
    SavedRegistryKeys& operator=(const SavedRegistryKeys&) = delete;

    // Saves the key, then removes it, so that the test starts from its absence.
    void saveAndRemove(HKEY root, const std::wstring& path);

private:
    std::vector<RegistryTreeSnapshot> saved;
};

// Raw registry access for tests, bypassing the library under test.
namespace RawRegistry {

// A value as stored: whether it exists, its type, and its data read as text (and as a
// number when it is a REG_DWORD).
struct Text {
    bool exists = false;
    DWORD type = REG_NONE;
    std::wstring text;
    DWORD number = 0;
};
// `view` KEY_WOW64_64KEY reaches the view a 64-bit Office reads, whatever this process's bitness.
Text read(HKEY root, const std::wstring& path, const std::wstring& name = L"", REGSAM view = 0);
void writeText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
               REGSAM view = 0);
void writeNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number, REGSAM view = 0);
bool keyExists(HKEY root, const std::wstring& path);
void removeTree(HKEY root, const std::wstring& path, REGSAM view = 0);

} // namespace RawRegistry
