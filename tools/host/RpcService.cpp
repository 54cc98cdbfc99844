#include "tools/host/RpcService.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace {

using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, decltype(&CloseServiceHandle)>;

} // namespace

bool RpcService::ensureRunning(std::chrono::milliseconds patience)
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), &CloseServiceHandle);
    if (!manager) {
        return false;
    }
    const ServiceHandle service(OpenServiceW(manager.get(), L"RpcSs", SERVICE_QUERY_STATUS | SERVICE_START),
                                &CloseServiceHandle);
    if (!service) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    do {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service.get(), &status)) {
            return false;
        }
        if (status.dwCurrentState == SERVICE_RUNNING) {
            return true;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            StartServiceW(service.get(), 0, nullptr);
        }
        Sleep(200);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}
