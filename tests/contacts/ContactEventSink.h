#pragma once

#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

#include <functional>
#include <mutex>
#include <vector>

// An Office-side sink of a contact's events. It implements IDispatch itself (no type
// library needed) and notes each event while its arguments are alive: the member, the
// argument types, which object was the source (by address only, so that the sink keeps
// no contact alive) and the changed information types the event data lists.
class ContactEventSink : public orvex::atl::CComObjectRootEx, public orvex::atl::Implements<_IUCCContactEvents> {
public:
    using InterfaceTable =
        orvex::atl::InterfaceTable<_IUCCContactEvents, orvex::atl::Via<IDispatch, _IUCCContactEvents>>;

    struct Event {
        DISPID member;
        WORD flags;
        // As the parameter array holds them: the event data first, the source second.
        std::vector<VARTYPE> types;
        IUnknown* source;
        std::vector<LONG> changed;
    };

    static Microsoft::WRL::ComPtr<orvex::atl::CComObject<ContactEventSink>> create();

    // Runs inside Invoke once the event was noted; its result is Invoke's.
    std::function<HRESULT()> onEvent;

    std::vector<Event> events() const;
    std::size_t count() const;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept override;

private:
    mutable std::mutex mutex;
    std::vector<Event> received;
};

// The information types an event data object lists.
std::vector<LONG> changedTypes(IUnknown* eventData);
// The identity (IUnknown) of a COM object, for comparing with an event's source.
IUnknown* identityOf(IUnknown* object);
// Advises the sink on the object's connection point for `events`; the cookie, or 0.
DWORD advise(IUnknown* source, const IID& events, IUnknown* sink);
HRESULT unadvise(IUnknown* source, const IID& events, DWORD cookie);
