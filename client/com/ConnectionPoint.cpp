#include "client/com/ConnectionPoint.h"

#include "client/com/CComEnum.h"
#include "client/com/ComError.h"

#include <wrl/client.h>

#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace orvex::com {

// The arguments are handed to a sink as an array of the VARIANTs the owners hold.
static_assert(sizeof(com::Variant) == sizeof(VARIANT) && std::is_standard_layout_v<com::Variant>);

ConnectionPoint::ConnectionPoint(const IID& eventInterface, IConnectionPointContainer& container) noexcept
    : eventInterface_(&eventInterface), container_(&container)
{
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out) noexcept
{
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, __uuidof(IConnectionPoint)) || IsEqualIID(iid, __uuidof(IUnknown))) {
        AddRef();
        *out = static_cast<IConnectionPoint*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() noexcept { return container_->AddRef(); }

ULONG ConnectionPoint::Release() noexcept { return container_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) noexcept
{
    if (iid == nullptr) {
        return E_POINTER;
    }
    *iid = *eventInterface_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) noexcept
{
    return container_->QueryInterface(__uuidof(IConnectionPointContainer), reinterpret_cast<void**>(container));
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) noexcept
{
    if (cookie != nullptr) {
        *cookie = 0;
    }
    if (sink == nullptr || cookie == nullptr) {
        return E_POINTER;
    }
    ComPtr<IUnknown> eventSink;
    const HRESULT result = sink->QueryInterface(*eventInterface_, reinterpret_cast<void**>(eventSink.GetAddressOf()));
    if (result == E_NOINTERFACE || (SUCCEEDED(result) && !eventSink)) {
        return CONNECT_E_CANNOTCONNECT;
    }
    if (FAILED(result)) {
        return result;
    }
    const DWORD added = sinks_.add(std::move(eventSink));
    if (added == 0) {
        return CONNECT_E_ADVISELIMIT;
    }
    *cookie = added;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) noexcept
{
    // The sink is released here, after the table's lock was left.
    const ComPtr<IUnknown> removed = sinks_.remove(cookie);
    return removed ? S_OK : CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) noexcept
{
    if (connections == nullptr) {
        return E_POINTER;
    }
    *connections = nullptr;
    return com::guardComCall([&] {
        auto snapshot = std::make_shared<CComEnumConnections::Snapshot>();
        for (auto& connection : sinks_.connections()) {
            snapshot->push_back({std::move(connection.sink), connection.cookie});
        }
        return CComEnumConnections::create(std::move(snapshot), 0, connections);
    });
}

HRESULT ConnectionPoint::fire(DISPID member, std::span<const com::Variant> arguments) noexcept
{
    const std::size_t sizeAtStart = sinks_.size();
    HRESULT result = S_OK;
    for (std::size_t index = 0; index < sizeAtStart; ++index) {
        ComPtr<IUnknown> sink;
        if (!sinks_.readSlot(index, sizeAtStart, sink)) {
            return E_FAIL;
        }
        const HRESULT outcome = deliver(sink.Get(), member, arguments);
        result = FAILED(result) || FAILED(outcome) ? E_FAIL : S_OK;
    }
    return result;
}

HRESULT ConnectionPoint::deliver(IUnknown* sink, DISPID member, std::span<const com::Variant> arguments) noexcept
{
    if (sink == nullptr) {
        return E_FAIL;
    }
    return com::guardComCall([&] {
        // Dispatch parameters run from the last argument to the first.
        std::vector<com::Variant> reversed(arguments.rbegin(), arguments.rend());
        DISPPARAMS parameters{reversed.empty() ? nullptr : reinterpret_cast<VARIANT*>(reversed.data()), nullptr,
                              static_cast<UINT>(reversed.size()), 0};
        // Advise stored the sink as its event interface, a dispatch interface.
        auto* dispatch = static_cast<IDispatch*>(sink);
        return dispatch->Invoke(member, GUID{}, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                                nullptr, nullptr);
    });
}

HRESULT ConnectionPoint::find(std::span<ConnectionPoint* const> points, REFIID iid, IConnectionPoint** point) noexcept
{
    if (point == nullptr) {
        return E_POINTER;
    }
    *point = nullptr;
    for (ConnectionPoint* candidate : points) {
        if (IsEqualIID(candidate->eventInterface(), iid)) {
            candidate->AddRef();
            *point = candidate;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::enumerate(std::span<ConnectionPoint* const> points, IEnumConnectionPoints** enumerator) noexcept
{
    if (enumerator == nullptr) {
        return E_POINTER;
    }
    *enumerator = nullptr;
    return com::guardComCall([&] {
        auto snapshot = std::make_shared<CComEnumConnectionPoints::Snapshot>(points.begin(), points.end());
        return CComEnumConnectionPoints::create(std::move(snapshot), 0, enumerator);
    });
}

namespace {

template <class Interface, class Make>
com::Variant objectArgument(IUnknown* object, Make make) noexcept
{
    ComPtr<Interface> answered;
    if (object != nullptr) {
        object->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(answered.GetAddressOf()));
    }
    return make(answered.Get());
}

} // namespace

com::Variant unknownArgument(IUnknown* object) noexcept
{
    return objectArgument<IUnknown>(object, &com::Variant::fromUnknown);
}

com::Variant dispatchArgument(IUnknown* object) noexcept
{
    return objectArgument<IDispatch>(object, &com::Variant::fromDispatch);
}

} // namespace orvex::com
