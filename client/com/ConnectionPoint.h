#pragma once

#include "client/com/CComDynamicUnkArray.h"
#include "client/com/Variant.h"

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <span>

namespace orvex::com {

// The connection point of one event interface of an object. It is a part of its owner:
// its own QueryInterface answers IConnectionPoint and IUnknown, while AddRef and Release
// count on the owner. Classes get one through IConnectionPointImpl.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // see Implements.h
class ConnectionPoint final : public IConnectionPoint {
public:
    // `container` is the owner; it is not used before the first call.
    ConnectionPoint(const IID& eventInterface, IConnectionPointContainer& container) noexcept;
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;
    ~ConnectionPoint() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) noexcept override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) noexcept override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) noexcept override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) noexcept override;

    const IID& eventInterface() const noexcept { return *eventInterface_; }

    // Fires one event to every sink, in slot order, with the arguments given in their
    // declared order. A sink that fails does not stop the others. The result is E_FAIL
    // when any slot was empty or any sink failed, and E_FAIL at once when the table grew
    // during the firing (a sink advised from within the event); otherwise S_OK. No lock
    // is held while a sink runs.
    HRESULT fire(DISPID member, std::span<const com::Variant> arguments) noexcept;

    // The container side, shared by every IConnectionPointContainerImpl.
    static HRESULT find(std::span<ConnectionPoint* const> points, REFIID iid, IConnectionPoint** point) noexcept;
    static HRESULT enumerate(std::span<ConnectionPoint* const> points, IEnumConnectionPoints** enumerator) noexcept;

private:
    static HRESULT deliver(IUnknown* sink, DISPID member, std::span<const com::Variant> arguments) noexcept;

    const IID* eventInterface_;
    IConnectionPointContainer* container_;
    CComDynamicUnkArray sinks_;
};
#pragma GCC diagnostic pop

// An object argument of an event, asked for IUnknown or IDispatch and held with that
// reference in a VARIANT of the matching type (holding null when the object is null or
// does not answer).
com::Variant unknownArgument(IUnknown* object) noexcept;
com::Variant dispatchArgument(IUnknown* object) noexcept;

} // namespace orvex::com
