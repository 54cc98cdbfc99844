#include "client/com/CComDynamicUnkArray.h"

#include <mutex>
#include <shared_mutex>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace orvex::com {

namespace {

constexpr std::size_t kInitialSlots = 4;

} // namespace

CComDynamicUnkArray::~CComDynamicUnkArray()
{
    // Released outside the lock: a sink's release may call back into its connection point.
    std::vector<ComPtr<IUnknown>> released;
    {
        std::lock_guard lock(lock_);
        released.swap(slots_);
    }
}

DWORD CComDynamicUnkArray::add(ComPtr<IUnknown> sink) noexcept
{
    {
        std::lock_guard lock(lock_);
        try {
            if (slots_.empty()) {
                slots_.resize(kInitialSlots);
            }
            for (std::size_t index = 0; index < slots_.size(); ++index) {
                if (!slots_[index]) {
                    slots_[index] = std::move(sink);
                    return static_cast<DWORD>(index + 1);
                }
            }
            const std::size_t firstNew = slots_.size();
            slots_.resize(firstNew * 2);
            slots_[firstNew] = std::move(sink);
            return static_cast<DWORD>(firstNew + 1);
        } catch (...) {
            // The table stays as it was; the sink is released below, outside the lock.
        }
    }
    sink.Reset();
    return 0;
}

ComPtr<IUnknown> CComDynamicUnkArray::remove(DWORD cookie) noexcept
{
    std::lock_guard lock(lock_);
    if (cookie == 0 || cookie > slots_.size()) {
        return nullptr;
    }
    return std::move(slots_[cookie - 1]);
}

std::size_t CComDynamicUnkArray::size() const noexcept
{
    std::shared_lock lock(lock_);
    return slots_.size();
}

bool CComDynamicUnkArray::readSlot(std::size_t index, std::size_t sizeAtStart, ComPtr<IUnknown>& sink) const noexcept
{
    sink.Reset();
    std::shared_lock lock(lock_);
    if (slots_.size() != sizeAtStart || index >= slots_.size()) {
        return false;
    }
    sink = slots_[index];
    return true;
}

std::vector<CComDynamicUnkArray::Connection> CComDynamicUnkArray::connections() const
{
    std::vector<Connection> held;
    std::shared_lock lock(lock_);
    held.reserve(slots_.size());
    for (std::size_t index = 0; index < slots_.size(); ++index) {
        if (slots_[index]) {
            held.push_back({slots_[index], static_cast<DWORD>(index + 1)});
        }
    }
    return held;
}

} // namespace orvex::com
