#include "registration/Wow64RegistryMirror.h"

#include "registration/RegistryReader.h"

#include <memory>
#include <type_traits>

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UniqueKey createKey64(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return UniqueKey(key);
}

UniqueKey openKey64(HKEY root, const std::wstring& path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return UniqueKey(key);
}

} // namespace

bool Wow64RegistryMirror::active()
{
    static const bool wow64 = [] {
        BOOL result = FALSE;
        return IsWow64Process(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

std::wstring Wow64RegistryMirror::readString(HKEY root, const std::wstring& path, const std::wstring& valueName)
{
    if (!active()) {
        return {};
    }
    return Utils::Registry::RegistryReader(root, KEY_WOW64_64KEY).text(path, valueName.c_str()).valueOr({});
}

void Wow64RegistryMirror::writeString(HKEY root, const std::wstring& path, const std::wstring& valueName,
                                      const std::wstring& data)
{
    if (!active()) {
        return;
    }
    if (const UniqueKey key = createKey64(root, path)) {
        const auto byteCount = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       byteCount);
    }
}

void Wow64RegistryMirror::writeDword(HKEY root, const std::wstring& path, const std::wstring& valueName, DWORD data)
{
    if (!active()) {
        return;
    }
    if (const UniqueKey key = createKey64(root, path)) {
        RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof(data));
    }
}

void Wow64RegistryMirror::deleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName)
{
    if (!active()) {
        return;
    }
    if (const UniqueKey key = openKey64(root, path, KEY_WRITE)) {
        RegDeleteValueW(key.get(), valueName.c_str());
    }
}

void Wow64RegistryMirror::deleteKey(HKEY root, const std::wstring& parentPath, const std::wstring& subkeyName)
{
    if (!active()) {
        return;
    }
    // A 64-bit Windows always has RegDeleteKeyExW, the only call that takes the view.
    if (const UniqueKey parent = openKey64(root, parentPath, KEY_WRITE)) {
        RegDeleteKeyExW(parent.get(), subkeyName.c_str(), KEY_WOW64_64KEY, 0);
    }
}
