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
