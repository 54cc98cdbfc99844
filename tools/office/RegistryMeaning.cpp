#include "tools/office/RegistryMeaning.h"

#include <objbase.h>

#include <cwchar>

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

bool RegistryMeaning::sameBracedGuid(const std::wstring& text, const GUID& expected)
{
    return text.starts_with(L'{') && sameGuid(text, expected);
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
