#pragma once

#include "client/com/Atl.h"
#include "client/com/SafeArray.h"

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <mutex>
#include <vector>

// What a sink saw of one event, noted while its arguments were alive. Objects are kept by
// identity only, so that a sink keeps nothing of the library alive.
struct RecordedEvent {
    DISPID member;
    WORD flags;
    // As the parameter array holds them: the last declared argument first.
    std::vector<VARTYPE> types;
    std::vector<IUnknown*> objects;
};

// The identity (IUnknown) of an object, for comparison only.
IUnknown* identityOf(IUnknown* object);

// The one Office-side sink of the suites: it answers `Events` and IDispatch (it needs no
// type library) and records every event it receives.
template <class Events>
class RecordingSink : public orvex::com::CComObjectRootEx, public orvex::com::Implements<Events> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<Events, orvex::com::Via<IDispatch, Events>>;

    static Microsoft::WRL::ComPtr<orvex::com::CComObject<RecordingSink>> create()
    {
        Microsoft::WRL::ComPtr<orvex::com::CComObject<RecordingSink>> sink;
        orvex::com::CComObject<RecordingSink>::CreateInstance(sink);
        return sink;
    }

    // Runs inside Invoke once the event was recorded; its result is Invoke's.
    std::function<HRESULT()> onEvent;

    std::vector<RecordedEvent> events() const
    {
        std::lock_guard lock(mutex);
        return received;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT*,
                                     EXCEPINFO*, UINT*) noexcept override
    {
        // A test's handler that throws fails the firing, as a sink's failure would, rather
        // than ending the process inside the library's fire loop.
        try {
            RecordedEvent event{member, flags, {}, {}};
            for (UINT index = 0; parameters != nullptr && index < parameters->cArgs; ++index) {
                const VARIANT& argument = parameters->rgvarg[index];
                const bool object = argument.vt == VT_UNKNOWN || argument.vt == VT_DISPATCH;
                event.types.push_back(argument.vt);
                event.objects.push_back(object ? identityOf(argument.punkVal) : nullptr);
            }
            {
                std::lock_guard lock(mutex);
                received.push_back(std::move(event));
            }
            return onEvent ? onEvent() : S_OK;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

private:
    mutable std::mutex mutex;
    std::vector<RecordedEvent> received;
};

// Advises a sink on the source's connection point for `events`: the cookie, or 0.
DWORD advise(IUnknown* source, const IID& events, IUnknown* sink);
// The references an object holds right now.
ULONG referenceCount(IUnknown* object);
// The library's COM objects alive right now (the module's lock count).
LONG liveObjects();

// The elements of a one-dimensional array, read as `Element` (strings and objects read
// are the caller's to free).
template <class Element>
std::vector<Element> elementsOf(const SAFEARRAY* raw)
{
    const auto array = orvex::com::SafeArray::copyOf(raw);
    std::vector<Element> result(array.count());
    for (std::size_t index = 0; index < result.size(); ++index) {
        array.getElement(array.lowerBound() + static_cast<LONG>(index), &result[index]);
    }
    return result;
}
