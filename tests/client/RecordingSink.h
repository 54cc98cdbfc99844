#pragma once

#include "client/com/Atl.h"

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// The event interface of the tests' own event source: a dispatch interface.
struct ITestEvents : public IDispatch {};
__CRT_UUID_DECL(ITestEvents, 0x3b7a1f10, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)

// A second event interface nobody fires; it gives the container two points.
struct ITestOtherEvents : public IDispatch {};
__CRT_UUID_DECL(ITestOtherEvents, 0x3b7a1f11, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)

// An event sink of `Events`, built with the machinery it tests: it answers Events and
// IDispatch and records every Invoke it receives.
template <class Events>
class RecordingSink : public orvex::atl::CComObjectRootEx, public orvex::atl::Implements<Events> {
public:
    using InterfaceTable = orvex::atl::InterfaceTable<Events, orvex::atl::Via<IDispatch, Events>>;

    struct Call {
        DISPID member;
        IID iid;
        LCID locale;
        WORD flags;
        UINT namedCount;
        bool resultRequested;
        bool exceptionRequested;
        bool argumentErrorRequested;
        std::vector<VARTYPE> argumentTypes;
        std::vector<IUnknown*> argumentObjects;
    };

    // Runs inside Invoke, after the call was recorded; its result is Invoke's.
    std::function<HRESULT()> onInvoke;

    std::vector<Call> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::size_t callCount() const
    {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept override
    {
        Call call{member, iid, locale, flags, parameters->cNamedArgs, result != nullptr, exception != nullptr,
                  argumentError != nullptr, {}, {}};
        for (UINT index = 0; index < parameters->cArgs; ++index) {
            const VARIANT& argument = parameters->rgvarg[index];
            call.argumentTypes.push_back(argument.vt);
            const bool object = argument.vt == VT_UNKNOWN || argument.vt == VT_DISPATCH;
            call.argumentObjects.push_back(object ? argument.punkVal : nullptr);
        }
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        return onInvoke ? onInvoke() : S_OK;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

using TestEventsSink = RecordingSink<ITestEvents>;

// The references an object holds right now (an AddRef and Release pair reads them).
ULONG referenceCount(IUnknown* object);

// Creates a sink holding the first reference.
template <class Sink>
Microsoft::WRL::ComPtr<orvex::atl::CComObject<Sink>> makeObject()
{
    Microsoft::WRL::ComPtr<orvex::atl::CComObject<Sink>> object;
    orvex::atl::CComObject<Sink>::CreateInstance(object);
    return object;
}
