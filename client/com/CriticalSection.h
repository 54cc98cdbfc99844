#pragma once

#include <windows.h>

namespace orvex::atl {

// A Windows critical section that remembers whether it could be initialised. It is
// BasicLockable, so std::lock_guard manages it; lock it only when valid().
class CriticalSection {
public:
    using Initialiser = BOOL(WINAPI*)(LPCRITICAL_SECTION section, DWORD spinCount);

    explicit CriticalSection(Initialiser initialise = &InitializeCriticalSectionAndSpinCount) noexcept;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection();

    bool valid() const noexcept { return valid_; }

    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_{};
    bool valid_ = false;
};

} // namespace orvex::atl
