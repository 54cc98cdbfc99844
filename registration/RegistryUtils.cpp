#include "registration/RegistryUtils.h"

#include "fileutils/FileUtils.h"
#include "host/TextConversion.h"
#include "registration/RegistryReader.h"

#include "OfficeIntegrationLib.h"

#include <iterator>
#include <memory>

namespace Utils::Registry {

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UniqueKey openKey(HKEY root, const std::wstring& path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return UniqueKey(key);
}

using RegDeleteKeyExWFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

RegDeleteKeyExWFunction findRegDeleteKeyExW()
{
    const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    if (advapi == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<RegDeleteKeyExWFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
}

} // namespace

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
    return text;
}

std::wstring ProviderClsid()
{
    static const std::wstring text = GuidText(CLSID_OfficeIntegrationImpl);
    return text;
}

std::wstring TypeLibId()
{
    static const std::wstring text = GuidText(LIBID_OfficeIntegrationLib);
    return text;
}

std::wstring typeLibPath() { return std::wstring(L"SOFTWARE\\Classes\\TypeLib\\").append(TypeLibId()); }

std::wstring typeLibWowPath() { return std::wstring(L"SOFTWARE\\WOW6432Node\\Classes\\TypeLib\\").append(TypeLibId()); }

std::wstring ReadString(HKEY root, const std::wstring& path, const std::wstring& valueName)
{
    return RegistryReader(root).text(path, valueName.c_str()).valueOr({});
}

bool WriteString(HKEY root, const std::wstring& path, const std::wstring& valueName, const std::wstring& data)
{
    HKEY rawKey = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                        &rawKey, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueKey key(rawKey);
    const auto byteCount = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          byteCount) == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName)
{
    if (const UniqueKey key = openKey(root, path, KEY_WRITE)) {
        RegDeleteValueW(key.get(), valueName.c_str());
    }
}

void DeleteKey(HKEY root, const std::wstring& parentPath, const std::wstring& subkeyName)
{
    const UniqueKey parent = openKey(root, parentPath, KEY_WRITE);
    if (!parent) {
        return;
    }
    static const RegDeleteKeyExWFunction regDeleteKeyExW = findRegDeleteKeyExW();
    if (regDeleteKeyExW != nullptr) {
        regDeleteKeyExW(parent.get(), subkeyName.c_str(), 0, 0);
    } else {
        RegDeleteKeyW(parent.get(), subkeyName.c_str());
    }
}

void WriteUserTypeLibKeys()
{
    const std::wstring hostDirectory = TextConversion::toWide(FileUtils().getExecutableDirectory());
    const std::wstring libraryPath = hostDirectory + L"\\" + TextConversion::toWide(IntegrationDllName);

    const std::wstring viewPath = typeLibPath();
    const std::wstring wowPath = typeLibWowPath();
    const std::pair<std::wstring, std::wstring> values[] = {
        {wowPath + L"\\1.0", L"OfficeIntegrationLib"},
        {viewPath + L"\\1.0", L"OfficeIntegrationLib"},
        {wowPath + L"\\1.0\\FLAGS", L"0"},
        {viewPath + L"\\1.0\\FLAGS", L"0"},
        {wowPath + L"\\1.0\\HELPDIR", hostDirectory},
        {viewPath + L"\\1.0\\HELPDIR", hostDirectory},
        {wowPath + L"\\1.0\\0\\win32", libraryPath},
        {viewPath + L"\\1.0\\0\\win32", libraryPath},
    };
    for (const auto& [path, data] : values) {
        WriteString(HKEY_CURRENT_USER, path, L"", data);
    }
}

} // namespace Utils::Registry
