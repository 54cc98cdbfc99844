#pragma once

#include <windows.h>

#include <string>

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
