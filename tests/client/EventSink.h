#pragma once

#include "client/com/Atl.h"

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <mutex>
#include <vector>

// A sink for one event interface of the library's objects. It implements IDispatch
// itself (it needs no type library) and records every event it receives, keeping the
// object arguments alive so that a test can read them afterwards.
template <class Events>
class EventSink : public orvex::atl::CComObjectRootEx, public orvex::atl::Implements<Events> {
public:
    using InterfaceTable = orvex::atl::InterfaceTable<Events, orvex::atl::Via<IDispatch, Events>>;

    struct Event {
        DISPID member;
        WORD flags;
        // As the parameter array holds them: the last declared argument first.
        std::vector<VARTYPE> types;
        std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;
    };

    static Microsoft::WRL::ComPtr<orvex::atl::CComObject<EventSink>> create()
    {
        Microsoft::WRL::ComPtr<orvex::atl::CComObject<EventSink>> sink;
        orvex::atl::CComObject<EventSink>::CreateInstance(sink);
        return sink;
    }

    // Runs inside Invoke once the event was recorded; its result is Invoke's.
    std::function<HRESULT()> onEvent;

    std::vector<Event> events() const
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
        Event event{member, flags, {}, {}};
        for (UINT index = 0; parameters != nullptr && index < parameters->cArgs; ++index) {
            const VARIANT& argument = parameters->rgvarg[index];
            event.types.push_back(argument.vt);
            event.objects.emplace_back(argument.vt == VT_UNKNOWN || argument.vt == VT_DISPATCH ? argument.punkVal
                                                                                               : nullptr);
        }
        {
            std::lock_guard lock(mutex);
            received.push_back(std::move(event));
        }
        return onEvent ? onEvent() : S_OK;
    }

private:
    mutable std::mutex mutex;
    std::vector<Event> received;
};

// Advises a sink on an object's connection point for `Events` and answers the cookie
// (0 when that failed).
DWORD adviseSink(IUnknown* source, const IID& events, IUnknown* sink);
// The references an object holds right now.
ULONG referencesOf(IUnknown* object);
