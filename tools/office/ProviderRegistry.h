#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

// The registry as Office reads it to find its instant-messaging provider: the user's
// default provider, whether that provider is up and running, and the machine-wide key
// naming its process and class.
class ProviderRegistry {
public:
    struct Text {
        std::wstring value;
        LONG error = ERROR_SUCCESS;
    };
    struct ProviderKey {
        std::wstring path;
        Text processName;
        Text guid;
        bool complete() const { return processName.error == ERROR_SUCCESS && guid.error == ERROR_SUCCESS; }
    };

    ProviderRegistry() = default;
    ~ProviderRegistry();
    ProviderRegistry(const ProviderRegistry&) = delete;
    ProviderRegistry& operator=(const ProviderRegistry&) = delete;

    static Text readText(HKEY root, const std::wstring& path, const wchar_t* name);
    static std::optional<DWORD> readUpAndRunning(const std::wstring& provider, LONG& error);
    // Waits for UpAndRunning to reach `wanted`, woken by registry change notifications.
    static std::optional<DWORD> waitForUpAndRunning(const std::wstring& provider, DWORD wanted,
                                                    std::chrono::milliseconds timeout);
    // The native key, then the WOW6432Node one, as a 64-bit and a 32-bit Office would see them.
    static ProviderKey readProviderKey(const std::wstring& path);
    static std::wstring providerKeyPath(const std::wstring& provider, bool wow6432Node);

    // Registers the type library in `file` machine-wide. Wine's marshaller reads only the
    // machine-wide keys, where the product's own registration leaves a placeholder path.
    static HRESULT registerTypeLibraryMachineWide(const std::wstring& file);
    // Whether the type library that describes `iid` can be loaded from its registration,
    // which is what marshalling the interface between processes needs.
    static HRESULT loadRegisteredTypeLibraryOf(const IID& iid);

    // Keeps watching UpAndRunning on a thread of its own, calling `changed` with each new value.
    void watchUpAndRunning(const std::wstring& provider, std::function<void(std::optional<DWORD>)> changed);
    void stopWatching();

private:
    HANDLE stopEvent = nullptr;
    std::thread watcher;
};
