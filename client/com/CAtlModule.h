#pragma once

#include "host/SlimReaderWriterLock.h"

#include <windows.h>

#include <objidl.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace orvex::com {

// The library-wide record of the component's COM identity. It counts live COM objects
// (each locks it while it lives), caches the process's global interface table,
// serialises the first loading of shared type information, and runs its clean-up list
// when it is destroyed, at library unload.
//
// The first module constructed in the process is the one current() answers; every COM
// object of the library reaches the module through it.
class CAtlModule {
public:
    struct Identity {
        GUID libraryId;
        WORD libraryMajorVersion;
        WORD libraryMinorVersion;
    };

    using CleanUp = void (*)(void* context) noexcept;

    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;
    // Runs the clean-up list (the latest entry first) and releases the cached global
    // interface table. It runs at unload only: at the process's end the library's entry
    // point runs no destructor.
    virtual ~CAtlModule();

    // Count live objects; both answer the new count.
    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;

    // The process's standard global interface table, created on first use and cached; the
    // caller receives one added reference. A creation failure is answered as it is.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table) noexcept;

    // The module of the library, or null outside its lifetime.
    static CAtlModule* current() noexcept { return current_.load(std::memory_order_acquire); }

    const Identity& identity() const noexcept { return identity_; }

    // The lock around the first loading of each type-information holder.
    std::mutex& typeInfoSection() noexcept { return typeInfoMutex_; }

    // Registers a clean-up to run at teardown; E_OUTOFMEMORY when it cannot be kept.
    HRESULT AddTermFunc(CleanUp cleanUp, void* context) noexcept;

protected:
    explicit CAtlModule(const Identity& identity) noexcept;

private:
    static std::atomic<CAtlModule*> current_;

    const Identity identity_;
    std::atomic<LONG> lockCount_{0};
    std::atomic<IGlobalInterfaceTable*> globalInterfaceTable_{nullptr};
    std::mutex typeInfoMutex_;
    SlimReaderWriterLock cleanUpLock_;
    std::vector<std::pair<CleanUp, void*>> cleanUps_;
};

// What every object does on creation and destruction: count itself on the library's
// module, when there is one.
inline void lockModule() noexcept
{
    if (CAtlModule* module = CAtlModule::current()) {
        module->Lock();
    }
}

inline void unlockModule() noexcept
{
    if (CAtlModule* module = CAtlModule::current()) {
        module->Unlock();
    }
}

} // namespace orvex::com
