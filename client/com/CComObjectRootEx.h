#pragma once

#include <windows.h>

#include <atomic>

namespace orvex::com {

// The reference count every COM object of the library is built on. Each class is
// written for one apartment, but Office calls in from its multithreaded apartment while
// the host fires events on threads of its own, so the count is atomic all the same.
class CComObjectRootEx {
public:
    CComObjectRootEx() = default;
    CComObjectRootEx(const CComObjectRootEx&) = delete;
    CComObjectRootEx& operator=(const CComObjectRootEx&) = delete;
    virtual ~CComObjectRootEx() = default;

    // A class that must act while it is still whole once the last reference has gone
    // (stop a watch, drop what refers back to it) declares its own FinalRelease, which
    // hides this one. It runs before any destructor and must not throw.
    void FinalRelease() noexcept {}

protected:
    ULONG internalAddRef() noexcept { return refCount_.fetch_add(1) + 1; }
    ULONG internalRelease() noexcept { return refCount_.fetch_sub(1) - 1; }

    // Moves the count far from zero before the object is torn down, so that references
    // taken and dropped during the teardown cannot bring it to zero a second time.
    void markDestroying() noexcept { refCount_.store(kDestroyingCount); }

private:
    // Minus half the largest 32-bit signed value.
    static constexpr ULONG kDestroyingCount = 0xC0000001;

    std::atomic<ULONG> refCount_{0};
};

} // namespace orvex::com
