#include "tests/registration/TypeLibraryFile.h"

#include <filesystem>

using Microsoft::WRL::ComPtr;

TypeLibraryFile::TypeLibraryFile(const std::wstring& path)
{
    loadResult_ = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library_);
    for (UINT index = 0; index < count(); ++index) {
        indexByName_.emplace(at(index).name(), index);
    }
}

TypeInfoView TypeLibraryFile::at(UINT index) const
{
    ComPtr<ITypeInfo> info;
    if (library_ == nullptr || FAILED(library_->GetTypeInfo(index, &info))) {
        return TypeInfoView(nullptr);
    }
    return TypeInfoView(info);
}

TypeInfoView TypeLibraryFile::find(std::wstring_view name) const
{
    auto found = indexByName_.find(name);
    return found == indexByName_.end() ? TypeInfoView(nullptr) : at(found->second);
}

std::wstring TypeLibraryFile::productPath()
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    return (std::filesystem::path(executable).parent_path() / ORVEX_PRODUCT_DLL_NAME).wstring();
}

std::wstring TypeLibraryFile::windowsPath(std::string_view unixPath)
{
    std::wstring result = L"Z:";
    for (char c : unixPath) {
        result += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return result;
}
