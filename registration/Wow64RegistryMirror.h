#pragma once

#include <windows.h>

#include <string>

// The provider's keys in the 64-bit registry view, for a 64-bit Office.
//
// The shipped library is 32-bit. On 64-bit Windows a 32-bit process that writes HKLM
// "Software\..." without a view flag writes the 32-bit view only, so a 64-bit Office finds
// no provider key. Under Wine, a 32-bit process's HKCU "Software" writes are redirected as
// well once HKCU "Software\Wow6432Node" exists, which the provider's own DefaultIMApp write
// creates. The mirror writes the same values into the 64-bit view explicitly
// (KEY_WOW64_64KEY), and only in a 32-bit process on a 64-bit system: everywhere else the
// library's own writes already reach that view, and every operation does nothing.
// Failures are ignored, as for every registry write of the provider.
class Wow64RegistryMirror {
public:
    // True in a 32-bit process on a 64-bit system.
    static bool active();

    // The REG_SZ text in the 64-bit view; empty when inactive, missing or of another type.
    static std::wstring readString(HKEY root, const std::wstring& path, const std::wstring& valueName);
    static void writeString(HKEY root, const std::wstring& path, const std::wstring& valueName,
                            const std::wstring& data);
    static void writeDword(HKEY root, const std::wstring& path, const std::wstring& valueName, DWORD data);
    static void deleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName);
    // Not recursive: a key that has subkeys stays, as with the library's own DeleteKey.
    static void deleteKey(HKEY root, const std::wstring& parentPath, const std::wstring& subkeyName);
};
