#pragma once

#include "client/com/CComObject.h"
#include "client/com/CComObjectRootEx.h"
#include "client/com/InterfaceTable.h"
#include "host/SlimReaderWriterLock.h"

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace orvex::com {

// One connection as an enumerator keeps it: the sink with a reference of its own.
struct ConnectionData {
    Microsoft::WRL::ComPtr<IUnknown> sink;
    DWORD cookie;
};

// How a kept item is handed out: each copy carries an added reference.
inline CONNECTDATA copyEnumItem(const ConnectionData& item) noexcept
{
    if (item.sink) {
        item.sink->AddRef();
    }
    return {item.sink.Get(), item.cookie};
}

inline IConnectionPoint* copyEnumItem(const Microsoft::WRL::ComPtr<IConnectionPoint>& item) noexcept
{
    if (item) {
        item->AddRef();
    }
    return item.Get();
}

// An enumerator over a snapshot taken when it was made; later changes of what it was
// taken from do not show. Clones share the snapshot (the last one to go frees it) and
// start at the position of their original. The position is guarded by a lock of its own,
// as the enumerator may be called from several threads.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // see Implements.h
template <class EnumInterface, class Item, class Stored>
class CComEnum : public CComObjectRootEx, public EnumInterface {
public:
    using InterfaceTable = orvex::com::InterfaceTable<EnumInterface>;
    using Snapshot = std::vector<Stored>;

    // A new enumerator over `snapshot`, handed out through `out` with one reference.
    static HRESULT create(std::shared_ptr<const Snapshot> snapshot, std::size_t position, EnumInterface** out) noexcept
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        Microsoft::WRL::ComPtr<CComObject<CComEnum>> enumerator;
        const HRESULT result = CComObject<CComEnum>::CreateInstance(enumerator);
        if (FAILED(result)) {
            return result;
        }
        enumerator->snapshot_ = std::move(snapshot);
        enumerator->position_ = position;
        return enumerator->QueryInterface(__uuidof(EnumInterface), reinterpret_cast<void**>(out));
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) noexcept override
    {
        if (fetched != nullptr) {
            *fetched = 0;
        }
        if (items == nullptr || (count > 1 && fetched == nullptr)) {
            return E_POINTER;
        }
        std::lock_guard lock(lock_);
        if (!snapshot_) {
            return E_FAIL;
        }
        const std::size_t remaining = snapshot_->size() - position_;
        const std::size_t delivered = count < remaining ? count : remaining;
        for (std::size_t index = 0; index < delivered; ++index) {
            items[index] = copyEnumItem((*snapshot_)[position_ + index]);
        }
        position_ += delivered;
        if (fetched != nullptr) {
            *fetched = static_cast<ULONG>(delivered);
        }
        return delivered == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override
    {
        std::lock_guard lock(lock_);
        const std::size_t remaining = snapshot_ ? snapshot_->size() - position_ : 0;
        const std::size_t skipped = count < remaining ? count : remaining;
        position_ += skipped;
        return skipped == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Reset() noexcept override
    {
        std::lock_guard lock(lock_);
        position_ = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(EnumInterface** clone) noexcept override
    {
        if (clone == nullptr) {
            return E_POINTER;
        }
        std::shared_ptr<const Snapshot> snapshot;
        std::size_t position = 0;
        {
            std::lock_guard lock(lock_);
            snapshot = snapshot_;
            position = position_;
        }
        return create(std::move(snapshot), position, clone);
    }

private:
    SlimReaderWriterLock lock_;
    std::shared_ptr<const Snapshot> snapshot_;
    std::size_t position_ = 0;
};
#pragma GCC diagnostic pop

using CComEnumConnections = CComEnum<IEnumConnections, CONNECTDATA, ConnectionData>;
using CComEnumConnectionPoints =
    CComEnum<IEnumConnectionPoints, IConnectionPoint*, Microsoft::WRL::ComPtr<IConnectionPoint>>;

} // namespace orvex::com
