#pragma once

#include "client/com/ConnectionPoint.h"
#include "client/com/Variant.h"

#include <windows.h>

#include <ocidl.h>

#include <array>
#include <cstddef>
#include <span>

namespace orvex::com {

// A base of a class that raises the events of one event interface: it holds the
// connection point and gives the class's event proxy the one fire loop. The class must
// also derive from IConnectionPointContainerImpl and list this base in its
// ConnectionPointTable.
template <class T, const IID* eventInterface>
class IConnectionPointImpl {
public:
    IConnectionPointImpl() noexcept
        : connectionPoint_(*eventInterface, *static_cast<IConnectionPointContainer*>(static_cast<T*>(this)))
    {
    }
    IConnectionPointImpl(const IConnectionPointImpl&) = delete;
    IConnectionPointImpl& operator=(const IConnectionPointImpl&) = delete;

    ConnectionPoint& connectionPoint() noexcept { return connectionPoint_; }

protected:
    ~IConnectionPointImpl() = default;

    // Fires `member` to every sink with the arguments in their declared order; see
    // ConnectionPoint::fire for the result.
    HRESULT fire(DISPID member, std::span<const com::Variant> arguments = {}) noexcept
    {
        return connectionPoint_.fire(member, arguments);
    }

private:
    ConnectionPoint connectionPoint_;
};

// The connection points of a class, in the order FindConnectionPoint and
// EnumConnectionPoints list them: its IConnectionPointImpl bases (or the event proxies
// derived from them).
//
//     using ConnectionPointTable = orvex::com::ConnectionPointTable<UCCContactEventsProxy<UCCContact>>;
template <class... Points>
struct ConnectionPointTable {
    static constexpr std::size_t size = sizeof...(Points);

    template <class Class>
    static std::array<ConnectionPoint*, size> of(Class* object) noexcept
    {
        return {&static_cast<Points*>(object)->connectionPoint()...};
    }
};

} // namespace orvex::com
