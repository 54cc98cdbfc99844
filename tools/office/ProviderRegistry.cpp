#include "tools/office/ProviderRegistry.h"

#include "registration/RegistryReader.h"
#include "registration/RegistryUtils.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>

namespace {

// Owns an open registry key.
class OpenKey {
public:
    OpenKey(HKEY root, const std::wstring& path) : error(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key)) {}
    ~OpenKey()
    {
        if (error == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY key = nullptr;
    LONG error;
};

// Owns a Win32 event handle.
class EventHandle {
public:
    EventHandle() : handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~EventHandle()
    {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;

    HANDLE handle;
};

std::wstring upAndRunningPath(const std::wstring& provider)
{
    return L"Software\\IM Providers\\" + provider;
}

} // namespace

ProviderRegistry::~ProviderRegistry()
{
    stopWatching();
}

ProviderRegistry::Text ProviderRegistry::readText(HKEY root, const std::wstring& path, const wchar_t* name)
{
    const auto read = Utils::Registry::RegistryReader(root).text(path, name);
    return Text{read.data, read.error};
}

std::optional<DWORD> ProviderRegistry::readUpAndRunning(const std::wstring& provider, LONG& error)
{
    const auto read = Utils::Registry::RegistryReader(HKEY_CURRENT_USER).number(upAndRunningPath(provider), L"UpAndRunning");
    error = read.error;
    return read.read() ? std::optional<DWORD>(read.data) : std::nullopt;
}

std::optional<DWORD> ProviderRegistry::waitForUpAndRunning(const std::wstring& provider, DWORD wanted,
                                                           std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    EventHandle changed;
    for (;;) {
        LONG error = ERROR_SUCCESS;
        const auto value = readUpAndRunning(provider, error);
        const auto now = std::chrono::steady_clock::now();
        if ((value && *value == wanted) || now >= deadline) {
            return value;
        }
        // The key may not exist yet; then its parent is polled at a short interval.
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        OpenKey key(HKEY_CURRENT_USER, upAndRunningPath(provider));
        DWORD wait = static_cast<DWORD>(std::min<long long>(remaining, 200));
        if (key.error == ERROR_SUCCESS &&
            RegNotifyChangeKeyValue(key.key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.handle, TRUE) ==
                ERROR_SUCCESS) {
            // Read again first: the value may have changed before the notification was armed.
            const auto armed = readUpAndRunning(provider, error);
            if (armed && *armed == wanted) {
                return armed;
            }
            wait = static_cast<DWORD>(remaining);
        }
        WaitForSingleObject(changed.handle, wait);
    }
}

std::wstring ProviderRegistry::providerKeyPath(const std::wstring& provider, bool wow6432Node)
{
    return (wow6432Node ? L"Software\\WOW6432Node\\IM Providers\\" : L"Software\\IM Providers\\") + provider;
}

ProviderRegistry::ProviderKey ProviderRegistry::readProviderKey(const std::wstring& path)
{
    ProviderKey key;
    key.path = path;
    key.processName = readText(HKEY_LOCAL_MACHINE, path, L"ProcessName");
    key.guid = readText(HKEY_LOCAL_MACHINE, path, L"GUID");
    return key;
}

HRESULT ProviderRegistry::registerTypeLibraryMachineWide(const std::wstring& file)
{
    Microsoft::WRL::ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library);
    std::wstring path = file;
    return FAILED(loaded) ? loaded : RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT ProviderRegistry::loadRegisteredTypeLibraryOf(const IID& iid)
{
    const auto libraryId =
        readText(HKEY_CLASSES_ROOT, L"Interface\\" + Utils::Registry::GuidText(iid) + L"\\TypeLib", nullptr);
    if (libraryId.error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(libraryId.error);
    }
    GUID library{};
    const HRESULT parsed = CLSIDFromString(libraryId.value.c_str(), &library);
    if (FAILED(parsed)) {
        return parsed;
    }
    Microsoft::WRL::ComPtr<ITypeLib> loaded;
    return LoadRegTypeLib(library, 1, 0, 0, &loaded);
}

void ProviderRegistry::watchUpAndRunning(const std::wstring& provider,
                                         std::function<void(std::optional<DWORD>)> changed)
{
    stopWatching();
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watcher = std::thread([this, provider, changed = std::move(changed)] {
        EventHandle notified;
        LONG error = ERROR_SUCCESS;
        auto last = readUpAndRunning(provider, error);
        for (;;) {
            OpenKey key(HKEY_CURRENT_USER, upAndRunningPath(provider));
            DWORD wait = 200;
            if (key.error == ERROR_SUCCESS &&
                RegNotifyChangeKeyValue(key.key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, notified.handle, TRUE) ==
                    ERROR_SUCCESS) {
                wait = INFINITE;
            }
            const auto now = readUpAndRunning(provider, error);
            if (now != last) {
                last = now;
                changed(now);
                continue;
            }
            const HANDLE handles[] = {stopEvent, notified.handle};
            if (WaitForMultipleObjects(2, handles, FALSE, wait) == WAIT_OBJECT_0) {
                return;
            }
        }
    });
}

void ProviderRegistry::stopWatching()
{
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    if (watcher.joinable()) {
        watcher.join();
    }
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
}
