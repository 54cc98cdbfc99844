#pragma once

#include <windows.h>

#include <objidl.h>
#include <wrl/client.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

// Counts the COM calls this process makes through its proxies, that is the calls it sends
// to other processes, by interface. It is a channel hook: COM shows every call leaving
// through a proxy to the hooks registered for the process, once per call. (Calls arriving
// are shown to a hook only when the caller's hooks sent data with them, so the receiving
// side is counted where it is the sender: in the other process.) It adds nothing to the
// calls themselves.
//
// A hook cannot be unregistered, and it takes a lock on every call: install it only after
// the figures it could disturb have been taken.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // COM objects die through Release
class CrossProcessCallCounter final : public IChannelHook {
public:
    // Calls by interface identifier in registry form ("{00000131-0000-0000-C000-000000000046}").
    using Counts = std::map<std::string, long long>;

    // The counter, registered with COM for the rest of the process; null when COM refuses.
    static Microsoft::WRL::ComPtr<CrossProcessCallCounter> install();

    Counts counts() const;

    // "IID=N" for each interface, separated by blanks, and the parse of that text.
    static std::string format(const Counts& counts);
    static Counts parse(const std::string& text);
    // What was added since `earlier`.
    static Counts since(const Counts& now, const Counts& earlier);
    static long long total(const Counts& counts);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    void STDMETHODCALLTYPE ClientGetSize(REFGUID extension, REFIID iid, ULONG* size) override;
    void STDMETHODCALLTYPE ClientFillBuffer(REFGUID extension, REFIID iid, ULONG* size, void* buffer) override;
    void STDMETHODCALLTYPE ClientNotify(REFGUID extension, REFIID iid, ULONG size, void* buffer, DWORD representation,
                                        HRESULT fault) override;
    void STDMETHODCALLTYPE ServerNotify(REFGUID extension, REFIID iid, ULONG size, void* buffer,
                                        DWORD representation) override;
    void STDMETHODCALLTYPE ServerGetSize(REFGUID extension, REFIID iid, HRESULT fault, ULONG* size) override;
    void STDMETHODCALLTYPE ServerFillBuffer(REFGUID extension, REFIID iid, ULONG* size, void* buffer,
                                            HRESULT fault) override;

private:
    CrossProcessCallCounter() = default;
    ~CrossProcessCallCounter() = default;

    mutable std::mutex mutex;
    Counts sent;
    std::atomic<ULONG> references{1};
};
#pragma GCC diagnostic pop
