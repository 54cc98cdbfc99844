#include "tools/office/ProviderRegistry.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

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
    Text text;
    DWORD size = 0;
    text.error = RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (text.error != ERROR_SUCCESS) {
        return text;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    text.error = RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer.data(), &size);
    if (text.error == ERROR_SUCCESS) {
        text.value = buffer.data();
    }
    return text;
}

std::optional<DWORD> ProviderRegistry::readUpAndRunning(const std::wstring& provider, LONG& error)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    error = RegGetValueW(HKEY_CURRENT_USER, upAndRunningPath(provider).c_str(), L"UpAndRunning", RRF_RT_REG_DWORD,
                         nullptr, &value, &size);
    return error == ERROR_SUCCESS ? std::optional<DWORD>(value) : std::nullopt;
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
    wchar_t iidText[40] = {};
    StringFromGUID2(iid, iidText, 40);
    const auto libraryId =
        readText(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + iidText + L"\\TypeLib", nullptr);
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
