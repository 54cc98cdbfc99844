// The messenger stand-in: loads the integration library as the messenger does, hands
// it a helper that prints what the library asks of the host, and shows the per-user
// type library keys the library wrote.
#include "host/IOfficeIntegration.h"
#include "tools/host/PrintingHelper.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using GetOutlookIntegration =
    std::shared_ptr<IOfficeIntegration> (*)(const std::shared_ptr<IOfficeAdapterPlatformHelper>&);

constexpr char kEntryPoint[] = "_Z21getOutlookIntegrationRKSt10shared_ptrI28IOfficeAdapterPlatformHelperE";
constexpr wchar_t kTypeLibKey[] = L"SOFTWARE\\Classes\\TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}\\1.0";

std::wstring readDefaultValue(const std::wstring& path)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return L"(missing)";
    }
    return data;
}

void printTypeLibKeys()
{
    std::printf("\nPer-user type library keys (HKCU):\n");
    for (const wchar_t* subkey : {L"", L"\\FLAGS", L"\\HELPDIR", L"\\0\\win32"}) {
        const std::wstring path = std::wstring(kTypeLibKey) + subkey;
        std::printf("  %ls = %ls\n", path.c_str(), readDefaultValue(path).c_str());
    }
}

} // namespace

int main()
{
    const HMODULE library = LoadLibraryW(L"orvex-windows-office-integration.dll");
    if (library == nullptr) {
        std::printf("cannot load orvex-windows-office-integration.dll: error %lu\n", GetLastError());
        return 1;
    }
    const auto entry =
        reinterpret_cast<GetOutlookIntegration>(reinterpret_cast<void*>(GetProcAddress(library, kEntryPoint)));
    if (entry == nullptr) {
        std::printf("the library does not export getOutlookIntegration\n");
        return 1;
    }
    {
        auto helper = std::make_shared<PrintingHelper>();
        const std::shared_ptr<IOfficeIntegration> integration = entry(helper);
        std::printf("getOutlookIntegration returned %p\n", static_cast<void*>(integration.get()));
        printTypeLibKeys();
    }
    FreeLibrary(library);
    return 0;
}
