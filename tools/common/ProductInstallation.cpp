#include "tools/common/ProductInstallation.h"

#include "tools/common/ChildProcess.h"
#include "tools/host/RpcService.h"
#include "tools/office/ProviderRegistry.h"

#include <oleauto.h>

#include <string>

namespace {

constexpr GUID kTypeLibrary = {0x9d5662de, 0x96cc, 0x471f, {0x94, 0xf0, 0xe0, 0x0e, 0x05, 0x45, 0x76, 0x27}};

std::wstring productPath()
{
    return ProductInstallation::productFile(L"orvex-windows-office-integration.dll");
}

bool runRegsvr32(const std::wstring& options)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    ChildProcess installer(std::wstring(system) + L"\\regsvr32.exe", options + L" \"" + productPath() + L"\"");
    const auto exitCode = installer.waitForExit(std::chrono::minutes(2));
    return exitCode && *exitCode == 0;
}

} // namespace

std::wstring ProductInstallation::productFile(const std::wstring& fileName)
{
    wchar_t directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVEX_PRODUCT_DIR", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return ChildProcess::besideThisProgram(fileName);
    }
    return std::wstring(directory) + L"\\" + fileName;
}

HRESULT ProductInstallation::install()
{
    // While the calling process lives, the RPC service it starts stays up for every host.
    if (!RpcService::ensureRunning(std::chrono::minutes(1))) {
        return HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE);
    }
    if (!runRegsvr32(L"/s")) {
        return E_FAIL;
    }
    return ProviderRegistry::registerTypeLibraryMachineWide(productPath());
}

void ProductInstallation::uninstall()
{
    UnRegisterTypeLib(kTypeLibrary, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    runRegsvr32(L"/u /s");
}
