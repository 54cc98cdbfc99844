#include "host/TextConversion.h"

#include <windows.h>

#include <climits>
#include <new>

namespace TextConversion {

namespace {

int checkedLength(std::size_t size)
{
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::bad_alloc();
    }
    return static_cast<int>(size);
}

} // namespace

std::wstring toWide(std::string_view utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const int sourceLength = checkedLength(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), sourceLength, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), sourceLength, result.data(), length);
    return result;
}

std::string toUtf8(std::wstring_view utf16)
{
    if (utf16.empty()) {
        return {};
    }
    const int sourceLength = checkedLength(utf16.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), sourceLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), sourceLength, result.data(), length, nullptr, nullptr);
    return result;
}

} // namespace TextConversion
