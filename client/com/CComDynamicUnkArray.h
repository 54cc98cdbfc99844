#pragma once

#include "host/SlimReaderWriterLock.h"

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <cstddef>
#include <vector>

namespace orvex::com {

// The sink table of one connection point. A cookie is a slot's index plus 1, so 0 never
// names a sink. The table starts with 4 slots and doubles when no slot is empty; it never
// shrinks, and a released slot is reused by the next sink.
//
// Advising, unadvising and firing may run on different threads at once: every access
// takes the table's lock, and no sink is called, and no reference released, while the
// lock is held.
class CComDynamicUnkArray {
public:
    struct Connection {
        Microsoft::WRL::ComPtr<IUnknown> sink;
        DWORD cookie;
    };

    CComDynamicUnkArray() = default;
    CComDynamicUnkArray(const CComDynamicUnkArray&) = delete;
    CComDynamicUnkArray& operator=(const CComDynamicUnkArray&) = delete;
    // Releases every sink still held.
    ~CComDynamicUnkArray();

    // Stores the sink in the first empty slot, growing the table when none is; answers
    // its cookie, or 0 (with the sink released) when the table cannot grow.
    DWORD add(Microsoft::WRL::ComPtr<IUnknown> sink) noexcept;
    // Empties the slot the cookie names and hands its sink over, for the caller to
    // release; empty when the cookie names no sink.
    Microsoft::WRL::ComPtr<IUnknown> remove(DWORD cookie) noexcept;

    std::size_t size() const noexcept;
    // For a firing that began when the table had `sizeAtStart` slots: false when the
    // table has grown since; otherwise true, with the slot's sink (empty for an empty
    // slot) and a reference of its own.
    bool readSlot(std::size_t index, std::size_t sizeAtStart, Microsoft::WRL::ComPtr<IUnknown>& sink) const noexcept;
    // The sinks held, in slot order, each with its slot's cookie.
    std::vector<Connection> connections() const;

private:
    mutable SlimReaderWriterLock lock_;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> slots_;
};

} // namespace orvex::com
