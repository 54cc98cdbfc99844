#include "tests/support/RawRegistry.h"

#include <cstring>
#include <stdexcept>

namespace RawRegistry {

Text read(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view)
{
    Text result;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return result;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &result.type, nullptr, &size) == ERROR_SUCCESS) {
        result.exists = true;
        std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result.type == REG_DWORD && size == sizeof(DWORD)) {
            std::memcpy(&result.number, buffer.data(), sizeof(DWORD));
        }
        buffer.resize(size / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0') {
            buffer.pop_back();
        }
        result.text = buffer;
    }
    RegCloseKey(key);
    return result;
}

namespace {

void write(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size,
           REGSAM view)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write a test registry value");
    }
}

} // namespace

void writeText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view)
{
    write(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), view);
}

void writeNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number, REGSAM view)
{
    write(root, path, name, REG_DWORD, &number, sizeof(number), view);
}

bool keyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void removeTree(HKEY root, const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

} // namespace RawRegistry
