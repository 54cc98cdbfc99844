#include "tools/office/RegistryMeaning.h"

#include <objbase.h>

#include <cwchar>
#include <vector>

std::optional<GUID> RegistryMeaning::guid(const std::wstring& text)
{
    std::wstring braced = text;
    if (!braced.empty() && braced.front() != L'{') {
        braced = L"{" + braced + L"}";
    }
    GUID parsed{};
    if (braced.size() != 38 || FAILED(IIDFromString(braced.c_str(), &parsed))) {
        return std::nullopt;
    }
    return parsed;
}

bool RegistryMeaning::sameGuid(const std::wstring& text, const GUID& expected)
{
    const auto parsed = guid(text);
    return parsed && IsEqualGUID(*parsed, expected);
}

namespace {

std::wstring normalisedPath(const std::wstring& path)
{
    std::vector<wchar_t> full(MAX_PATH);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    std::wstring result = length == 0 || length >= full.size() ? path : std::wstring(full.data(), length);
    // A short (8.3) name of an existing file means its long name.
    std::vector<wchar_t> longName(32768);
    const DWORD longLength = GetLongPathNameW(result.c_str(), longName.data(), static_cast<DWORD>(longName.size()));
    if (longLength > 0 && longLength < longName.size()) {
        result.assign(longName.data(), longLength);
    }
    return result;
}

} // namespace

bool RegistryMeaning::samePath(const std::wstring& left, const std::wstring& right)
{
    return sameName(normalisedPath(left), normalisedPath(right));
}

bool RegistryMeaning::sameName(const std::wstring& left, const std::wstring& right)
{
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool RegistryMeaning::isVersion(const std::wstring& text, unsigned major, unsigned minor)
{
    unsigned foundMajor = 0;
    unsigned foundMinor = 0;
    wchar_t rest = 0;
    const int fields = std::swscanf(text.c_str(), L"%x.%x%lc", &foundMajor, &foundMinor, &rest);
    return fields == 2 && foundMajor == major && foundMinor == minor;
}
