#include "host/HostHelper.h"

#include "host/SlimReaderWriterLock.h"

#include <mutex>
#include <shared_mutex>

namespace {

struct Slot {
    SlimReaderWriterLock lock;
    bool filled = false;
    std::shared_ptr<IOfficeAdapterPlatformHelper> helper;
};

// Built before and destroyed after the library's other static objects: the teardown at
// unload still logs through it.
__attribute__((init_priority(102))) Slot slot;

} // namespace

std::shared_ptr<IOfficeAdapterPlatformHelper> HostHelper::current()
{
    std::shared_lock lock(slot.lock);
    return slot.helper;
}

void HostHelper::fill(std::shared_ptr<IOfficeAdapterPlatformHelper> helper)
{
    std::unique_lock lock(slot.lock);
    if (!slot.filled) {
        slot.filled = true;
        slot.helper = std::move(helper);
    }
}

void HostHelper::empty()
{
    std::shared_ptr<IOfficeAdapterPlatformHelper> released;
    std::unique_lock lock(slot.lock);
    released = std::move(slot.helper);
    slot.filled = false;
}
