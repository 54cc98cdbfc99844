#pragma once

#include <windows.h>

#include <string>

// One registry value the repair sets: where (root, view, key, value name), what it holds
// before and what it will hold after, as text support staff can read. Applying it creates
// the key when needed and replaces a value of another registry type.
class RegistryChange {
public:
    static RegistryChange text(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName,
                               std::wstring after);
    static RegistryChange number(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName,
                                 DWORD after);

    bool machineWide() const { return root == HKEY_LOCAL_MACHINE; }
    // "HKCU\Software\IM Providers\Talvo Orvex UpAndRunning: 2 -> 0"
    std::string describe() const;
    // Where it writes and what, without the value before: the same change in a later round.
    std::string target() const;
    // ERROR_SUCCESS or the registry's error.
    LONG apply() const;

private:
    RegistryChange(HKEY rootKey, REGSAM registryView, std::wstring keyPath, std::wstring valueName);
    std::string valueText() const;

    HKEY root;
    REGSAM view;
    std::wstring path;
    std::wstring name;
    DWORD type = REG_SZ;
    std::wstring afterText;
    DWORD afterNumber = 0;
    std::string before;
};
