#pragma once

#include "tests/registration/TypeInfoView.h"

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <string_view>

// A type library loaded from a file (the built DLL or a .tlb) without registering it,
// with its type infos found by name.
class TypeLibraryFile {
public:
    explicit TypeLibraryFile(const std::wstring& path);

    HRESULT loadResult() const { return loadResult_; }
    ITypeLib* get() const { return library_.Get(); }
    UINT count() const { return library_ ? library_->GetTypeInfoCount() : 0; }
    TypeInfoView at(UINT index) const;
    // Invalid when no type info has that name.
    TypeInfoView find(std::wstring_view name) const;

    // The product DLL, which the build puts next to the test executables.
    static std::wstring productPath();
    // A path of the build machine as the Windows side under Wine sees it.
    static std::wstring windowsPath(std::string_view unixPath);

private:
    HRESULT loadResult_ = E_FAIL;
    Microsoft::WRL::ComPtr<ITypeLib> library_;
    std::map<std::wstring, UINT, std::less<>> indexByName_;
};
