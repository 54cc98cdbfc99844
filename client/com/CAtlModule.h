#pragma once

#include "client/com/CriticalSection.h"
#include "host/SlimReaderWriterLock.h"

#include <windows.h>

#include <objidl.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace orvex::atl {

// The replacement pairs (name, text) a registry script is expanded with.
using RgsReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// The library-wide record of the component's COM identity. It counts live COM objects
// (each locks it while it lives), caches the process's global interface table,
// serialises the first loading of shared type information with its critical section,
// and runs its clean-up list when it is destroyed, at library unload.
//
// The first module constructed in the process is the one current() answers; every COM
// object of the library reaches the module through it.
class CAtlModule {
public:
    struct Identity {
        GUID libraryId;
        WORD libraryMajorVersion;
        WORD libraryMinorVersion;
        GUID appId;
    };
    using CleanUp = void (*)(void* context) noexcept;
    // Where the module reports a start-up failure; a debugger sees it.
    using DebuggerOutput = void (*)(const char* text) noexcept;

    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    // Runs the clean-up list (the latest entry first), releases the cached global
    // interface table and deletes the critical section; at the process's end it only
    // forgets itself (see markProcessEnding).
    virtual ~CAtlModule();
    // Count live objects; both answer the new count.
    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;
    // The process's standard global interface table, created on first use and cached; the
    // caller receives one added reference. A creation failure is answered as it is.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table) noexcept;
    // Adds "APPID" with the application identifier in registry text form.
    virtual HRESULT AddCommonRGSReplacements(RgsReplacements& replacements) noexcept;

    // The module of the library, or null outside its lifetime.
    static CAtlModule* current() noexcept { return current_.load(std::memory_order_acquire); }

    HINSTANCE moduleHandle() const noexcept { return instance_; }
    const Identity& identity() const noexcept { return identity_; }
    // The critical section could not be initialised: the library must refuse to load.
    bool initialisationFailed() const noexcept { return initialisationFailed_; }

    // The lock around the first loading of each type-information holder; unusable when
    // initialisationFailed().
    CriticalSection& typeInfoSection() noexcept { return criticalSection_; }

    // Registers a clean-up to run at teardown; E_OUTOFMEMORY when it cannot be kept.
    HRESULT AddTermFunc(CleanUp cleanUp, void* context) noexcept;

    // The library is being detached because the process ends, not unloaded. Every other
    // thread has been terminated wherever it was, holding whatever locks it held (COM's
    // and RPC's among them), so tear-down code must not call out of the library: what it
    // would release goes with the process.
    // Kept outside any object, so that every destructor can still ask, the module's too.
    static void markProcessEnding() noexcept { processEnding_.store(true, std::memory_order_release); }
    static bool processEnding() noexcept { return processEnding_.load(std::memory_order_acquire); }

protected:
    explicit CAtlModule(const Identity& identity,
                        CriticalSection::Initialiser initialise = &InitializeCriticalSectionAndSpinCount,
                        DebuggerOutput debuggerOutput = &writeToAttachedDebugger) noexcept;

private:
    static void writeToAttachedDebugger(const char* text) noexcept;

    static std::atomic<CAtlModule*> current_;

    const HINSTANCE instance_;
    const Identity identity_;
    std::atomic<LONG> lockCount_{0};
    std::atomic<IGlobalInterfaceTable*> globalInterfaceTable_{nullptr};
    CriticalSection criticalSection_;
    SlimReaderWriterLock cleanUpLock_;
    std::vector<std::pair<CleanUp, void*>> cleanUps_;
    bool initialisationFailed_ = false;
    static std::atomic<bool> processEnding_;
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

} // namespace orvex::atl
