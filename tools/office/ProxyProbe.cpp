#include "tools/office/ProxyProbe.h"

#include <objbase.h>

#include <atomic>
#include <thread>

namespace {

// Answers only IUnknown, IDispatch and the probed interface, so that the marshaller picks
// the standard marshalling from the registration. Neither the stub nor the proxy calls
// anything on it while they are built and released; dispatch calls would fail politely.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // released through Release, never deleted by base pointer
class StandInObject final : public IDispatch {
public:
    explicit StandInObject(const IID& probed) : iid(probed) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID wanted, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(wanted, IID_IUnknown) || IsEqualIID(wanted, IID_IDispatch) || IsEqualIID(wanted, iid)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    // Lives on the probe's stack; the count only has to be right, not to free anything.
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count != nullptr) {
            *count = 0;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

private:
    const IID& iid;
    std::atomic<ULONG> references{1};
};
#pragma GCC diagnostic pop

} // namespace

HRESULT ProxyProbe::buildProxy(const IID& iid)
{
    StandInObject object(iid);
    HRESULT result = S_OK;
    // Marshalled in an apartment of its own, so that the caller's apartment does not matter.
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IStream* stream = nullptr;
        result = CoMarshalInterThreadInterfaceInStream(iid, static_cast<IDispatch*>(&object), &stream);
        if (SUCCEEDED(result)) {
            std::thread([&] {
                CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                IUnknown* proxy = nullptr;
                result = CoGetInterfaceAndReleaseStream(stream, iid, reinterpret_cast<void**>(&proxy));
                if (SUCCEEDED(result) && proxy == static_cast<IDispatch*>(&object)) {
                    result = E_UNEXPECTED; // no proxy was built: the apartments were not told apart
                }
                if (proxy != nullptr) {
                    proxy->Release();
                }
                CoUninitialize();
            }).join();
        }
        // Drops what the stub manager still holds before the object goes away.
        CoDisconnectObject(static_cast<IDispatch*>(&object), 0);
        CoUninitialize();
    }).join();
    return result;
}
