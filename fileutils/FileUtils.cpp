#include "fileutils/FileUtils.h"

#include "host/TextConversion.h"

#include <windows.h>
#include <shlwapi.h>

#include <array>
#include <cwchar>

std::string FileUtils::getExecutableDirectory() const
{
    // A path longer than the buffer is cut to fit by GetModuleFileNameW and used as cut.
    std::array<wchar_t, MAX_PATH> path{};
    if (GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())) == 0) {
        return {};
    }
    path.back() = L'\0';
    PathRemoveFileSpecW(path.data());
    return TextConversion::toUtf8(std::wstring_view(path.data(), std::wcslen(path.data())));
}
