#pragma once

#include "client/com/ConnectionPoint.h"
#include "client/com/IConnectionPointImpl.h"

#include <windows.h>

#include <ocidl.h>

namespace orvex::com {

// IConnectionPointContainer over the connection points the class lists in its
// ConnectionPointTable.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // see Implements.h
template <class T>
class IConnectionPointContainerImpl : public IConnectionPointContainer {
public:
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept override
    {
        const auto points = T::ConnectionPointTable::of(static_cast<T*>(this));
        return ConnectionPoint::find(points, iid, point);
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** enumerator) noexcept override
    {
        const auto points = T::ConnectionPointTable::of(static_cast<T*>(this));
        return ConnectionPoint::enumerate(points, enumerator);
    }

protected:
    ~IConnectionPointContainerImpl() = default;
};
#pragma GCC diagnostic pop

} // namespace orvex::com
