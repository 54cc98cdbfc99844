#include "registration/RegistryReader.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <type_traits>

namespace Utils::Registry {

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UniqueKey openKey(HKEY root, const std::wstring& path, REGSAM view, LONG& error)
{
    HKEY key = nullptr;
    error = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key);
    return error == ERROR_SUCCESS ? UniqueKey(key) : nullptr;
}

template <typename T, typename From>
RegistryReader::Value<T> withOutcome(const RegistryReader::Value<From>& from)
{
    RegistryReader::Value<T> value;
    value.outcome = from.outcome;
    value.type = from.type;
    value.error = from.error;
    return value;
}

} // namespace

RegistryReader::Value<std::vector<BYTE>> RegistryReader::raw(const std::wstring& path, const wchar_t* name) const
{
    Value<std::vector<BYTE>> value;
    const UniqueKey key = openKey(root, path, view, value.error);
    if (!key) {
        value.outcome = value.error == ERROR_FILE_NOT_FOUND ? Outcome::NoKey : Outcome::Failed;
        return value;
    }
    // The value may grow between the two queries; then it is asked for again.
    for (;;) {
        DWORD size = 0;
        value.error = RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size);
        if (value.error != ERROR_SUCCESS) {
            value.outcome = value.error == ERROR_FILE_NOT_FOUND ? Outcome::NoValue : Outcome::Failed;
            return value;
        }
        value.data.assign(size, 0);
        value.error = RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size);
        if (value.error == ERROR_MORE_DATA) {
            continue;
        }
        value.outcome = value.error == ERROR_SUCCESS ? Outcome::Read : Outcome::Failed;
        value.data.resize(size);
        return value;
    }
}

RegistryReader::Value<std::wstring> RegistryReader::text(const std::wstring& path, const wchar_t* name) const
{
    const auto found = raw(path, name);
    auto value = withOutcome<std::wstring>(found);
    if (!found.read()) {
        return value;
    }
    if (found.type != REG_SZ) {
        value.outcome = Outcome::WrongType;
        value.error = ERROR_UNSUPPORTED_TYPE;
        return value;
    }
    std::wstring text(found.data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), found.data.data(), text.size() * sizeof(wchar_t));
    value.data.assign(text.c_str(), std::wcslen(text.c_str()));
    return value;
}

RegistryReader::Value<DWORD> RegistryReader::number(const std::wstring& path, const wchar_t* name) const
{
    const auto found = raw(path, name);
    auto value = withOutcome<DWORD>(found);
    if (!found.read()) {
        return value;
    }
    if (found.type != REG_DWORD || found.data.size() != sizeof(DWORD)) {
        value.outcome = Outcome::WrongType;
        value.error = ERROR_UNSUPPORTED_TYPE;
        return value;
    }
    std::memcpy(&value.data, found.data.data(), sizeof(DWORD));
    return value;
}

bool RegistryReader::exists(const std::wstring& path) const
{
    LONG error = ERROR_SUCCESS;
    return openKey(root, path, view, error) != nullptr;
}

std::vector<std::wstring> RegistryReader::subkeys(const std::wstring& path) const
{
    std::vector<std::wstring> names;
    LONG error = ERROR_SUCCESS;
    const UniqueKey key = openKey(root, path, view, error);
    wchar_t name[256];
    for (DWORD index = 0; key; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

const char* RegistryReader::typeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return "text";
    case REG_EXPAND_SZ: return "expandable text";
    case REG_MULTI_SZ: return "a list of texts";
    case REG_DWORD: return "a number";
    case REG_QWORD: return "a 64-bit number";
    case REG_BINARY: return "binary data";
    case REG_NONE: return "of no type";
    default: return "of an unusual type";
    }
}

} // namespace Utils::Registry
