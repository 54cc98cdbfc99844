#include "tests/registration/SavedRegistryKeys.h"

#include <cstring>
#include <stdexcept>

SavedRegistryKeys::~SavedRegistryKeys()
{
    // Newest first, so that a key saved inside an earlier one ends as it was too.
    for (auto snapshot = saved.rbegin(); snapshot != saved.rend(); ++snapshot) {
        snapshot->restore();
    }
}

void SavedRegistryKeys::saveAndRemove(HKEY root, const std::wstring& path)
{
    saved.emplace_back(root, path);
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
    if (RawRegistry::keyExists(root, path)) {
        throw std::runtime_error("a test registry key could not be removed");
    }
}

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

void writeText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type)
{
    const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (RegSetKeyValueW(root, path.c_str(), name.c_str(), type, text.c_str(), size) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write a test registry value");
    }
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

} // namespace RawRegistry
