#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>

// An Office-side sink for one event dispinterface: answers IUnknown, IDispatch and that
// interface, and hands every Invoke to a callback. The provider's connection points ask
// the sink for the event interface across the process boundary, so the sink must claim it.
// COM interfaces have no virtual destructor by design: objects die through Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class EventSink final : public IDispatch {
public:
    using Handler = std::function<void(DISPID, const DISPPARAMS&)>;

    static Microsoft::WRL::ComPtr<EventSink> create(const IID& eventInterface, Handler handler);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* identifiers) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

private:
    EventSink(const IID& events, Handler onInvoke);
    ~EventSink() = default;

    const IID eventInterface;
    const Handler handler;
    std::atomic<ULONG> references{1};
};
#pragma GCC diagnostic pop
