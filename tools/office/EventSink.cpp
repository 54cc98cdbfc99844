#include "tools/office/EventSink.h"

#include <new>

Microsoft::WRL::ComPtr<EventSink> EventSink::create(const IID& eventInterface, Handler handler)
{
    // The new sink's one reference goes to the ComPtr as it is: this toolchain's
    // ComPtr::Attach would add a second one, and the sink would never be freed.
    Microsoft::WRL::ComPtr<EventSink> sink;
    *sink.GetAddressOf() = new (std::nothrow) EventSink(eventInterface, std::move(handler));
    return sink;
}

EventSink::EventSink(const IID& events, Handler onInvoke) : eventInterface(events), handler(std::move(onInvoke))
{
}

HRESULT STDMETHODCALLTYPE EventSink::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, eventInterface)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EventSink::AddRef()
{
    return ++references;
}

ULONG STDMETHODCALLTYPE EventSink::Release()
{
    const ULONG remaining = --references;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

HRESULT STDMETHODCALLTYPE EventSink::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE EventSink::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                                            EXCEPINFO*, UINT*)
{
    static const DISPPARAMS none{};
    try {
        handler(member, parameters == nullptr ? none : *parameters);
    } catch (...) {
        // An event that the stand-in cannot print must not fail the provider's fire loop.
    }
    return S_OK;
}
