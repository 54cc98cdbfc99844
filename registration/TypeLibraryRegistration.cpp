#include "registration/TypeLibraryRegistration.h"

#include "client/com/Bstr.h"
#include "registration/RegistryTreeSnapshot.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace Utils::Registry {

namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kModulePathCapacity = MAX_PATH;

struct OwnTypeLibrary {
    ComPtr<ITypeLib> library;
    std::wstring path;
};

// The library's own file first; a .tlb beside it when the file carries no type library.
HRESULT loadOwnTypeLibrary(HMODULE module, OwnTypeLibrary& loaded)
{
    std::array<wchar_t, kModulePathCapacity> buffer{};
    const DWORD length = GetModuleFileNameW(module, buffer.data(), kModulePathCapacity);
    if (length == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
    }
    if (length >= kModulePathCapacity) {
        // The name was cut to fit; a cut name would load or register another file.
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    loaded.path.assign(buffer.data(), length);
    HRESULT result = LoadTypeLib(loaded.path.c_str(), &loaded.library);
    if (SUCCEEDED(result)) {
        return result;
    }

    const std::size_t lastSeparator = loaded.path.find_last_of(L'\\');
    std::size_t extension = loaded.path.find_last_of(L'.');
    if (extension == std::wstring::npos || (lastSeparator != std::wstring::npos && extension < lastSeparator)) {
        extension = loaded.path.size();
    }
    std::wstring sidecar = loaded.path.substr(0, extension) + L".tlb";
    if (sidecar.size() >= kModulePathCapacity) {
        return E_FAIL;
    }
    result = LoadTypeLib(sidecar.c_str(), &loaded.library);
    if (SUCCEEDED(result)) {
        loaded.path = std::move(sidecar);
    }
    return result;
}

// The directory of the library's help file, up to and including its last separator;
// nothing when the library names no help file.
std::optional<std::wstring> helpDirectory(ITypeLib& library)
{
    orvex::com::Bstr helpFile;
    library.GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.out());
    if (helpFile.empty()) {
        return std::nullopt;
    }
    std::wstring directory(helpFile.view());
    const std::size_t separator = directory.find_last_of(L"\\/:");
    directory.resize(separator == std::wstring::npos ? 0 : separator + 1);
    return directory;
}

// The per-user variants exist only on newer systems, so they are looked up by name in
// the automation library the process has already loaded, and only when asked for.
template <typename Function>
Function perUserFunction(bool perUser, const char* name)
{
    if (!perUser) {
        return nullptr;
    }
    const HMODULE automation = GetModuleHandleW(L"OLEAUT32.DLL");
    if (automation == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(automation, name)));
}

// The shared interface's keys in every place a registration of the library can write
// them, taken before the registration call and put back after it when it changed them.
class SharedInterfaceKeys {
public:
    SharedInterfaceKeys()
        : snapshots{RegistryTreeSnapshot(HKEY_LOCAL_MACHINE, viewPath()),
                    RegistryTreeSnapshot(HKEY_LOCAL_MACHINE, wowPath()),
                    RegistryTreeSnapshot(HKEY_CURRENT_USER, viewPath()),
                    RegistryTreeSnapshot(HKEY_CURRENT_USER, wowPath())}
    {
    }

    void putBack() const
    {
        for (const RegistryTreeSnapshot& snapshot : snapshots) {
            snapshot.restoreIfChanged();
        }
    }

private:
    static std::wstring viewPath() { return std::wstring(L"SOFTWARE\\Classes\\Interface\\") + SharedSystemInterfaceId; }
    static std::wstring wowPath()
    {
        return std::wstring(L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\") + SharedSystemInterfaceId;
    }

    std::array<RegistryTreeSnapshot, 4> snapshots;
};

struct LibAttrRelease {
    ITypeLib* library;
    void operator()(TLIBATTR* attributes) const { library->ReleaseTLibAttr(attributes); }
};

} // namespace

HRESULT RegisterTypeLibrary(HMODULE module, bool perUser)
{
    OwnTypeLibrary own;
    if (const HRESULT loaded = loadOwnTypeLibrary(module, own); FAILED(loaded)) {
        return loaded;
    }
    std::optional<std::wstring> helpDir = helpDirectory(*own.library.Get());
    OLECHAR* helpDirText = helpDir ? helpDir->data() : nullptr;

    using RegisterForUser = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    const auto registerForUser = perUserFunction<RegisterForUser>(perUser, "RegisterTypeLibForUser");
    const SharedInterfaceKeys sharedInterface;
    const HRESULT result = registerForUser != nullptr
                               ? registerForUser(own.library.Get(), own.path.data(), helpDirText)
                               : RegisterTypeLib(own.library.Get(), own.path.data(), helpDirText);
    sharedInterface.putBack();
    return result;
}

HRESULT UnregisterTypeLibrary(HMODULE module, bool perUser)
{
    OwnTypeLibrary own;
    if (const HRESULT loaded = loadOwnTypeLibrary(module, own); FAILED(loaded)) {
        return loaded;
    }
    TLIBATTR* rawAttributes = nullptr;
    if (const HRESULT read = own.library->GetLibAttr(&rawAttributes); FAILED(read)) {
        return read;
    }
    const std::unique_ptr<TLIBATTR, LibAttrRelease> attributes(rawAttributes, LibAttrRelease{own.library.Get()});

    using UnregisterForUser = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const auto unregisterForUser = perUserFunction<UnregisterForUser>(perUser, "UnRegisterTypeLibForUser");
    const SharedInterfaceKeys sharedInterface;
    const HRESULT result =
        unregisterForUser != nullptr
            ? unregisterForUser(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                attributes->lcid, attributes->syskind)
            : UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                attributes->lcid, attributes->syskind);
    sharedInterface.putBack();
    return result;
}

} // namespace Utils::Registry
