#pragma once

#include "client/com/Bstr.h"
#include "contacts/IContactDetails.h"
#include "contacts/IContactResolver.h"
#include "host/OutlookContactStatus.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Watches one contact's presence in the host and tells its contact object of every
// report. The host's callbacks hold only a weak reference, so the host never keeps a
// watcher alive and a late report for a destroyed one is ignored; that is why a watcher
// must always be owned by a shared pointer.
//
// When the host evicts the contact, the watch is renewed lazily: on the first presence
// read more than resubscribeInterval milliseconds later.
class ContactDetails final : public IContactDetails, public std::enable_shared_from_this<ContactDetails> {
public:
    // Milliseconds of some clock; tests substitute one they can move.
    using Clock = std::int64_t (*)();

    // Copies the address byte for byte. A failed allocation is raised as
    // ComError(E_OUTOFMEMORY).
    ContactDetails(BSTR address, std::shared_ptr<IContactResolver> resolver, Clock clock = &systemClockMilliseconds);
    ~ContactDetails() override;

    ContactDetails(const ContactDetails&) = delete;
    ContactDetails& operator=(const ContactDetails&) = delete;

    void startWatchingContact(ChangeCallback onChanged) override;
    void stopWatchingContact() override;
    HRESULT getAddress(BSTR* address) override;
    HRESULT getActivity(BSTR* activity) override;
    HRESULT getDisplayName(BSTR* displayName) override;
    LONG getPresenceState() override;

    static std::int64_t systemClockMilliseconds();

private:
    void subscribeToPresence();
    void onPresenceReported(OutlookContactStatus status);
    void notify();

    const orvex::com::Bstr address;
    // The address as the host knows it, made once: it never changes.
    const std::string hostAddress;
    const std::shared_ptr<IContactResolver> resolver;
    // Written by host callbacks and read by Office's calls on other threads.
    std::atomic<std::int64_t> lastSubscribeTime{0};
    const std::uint32_t resubscribeInterval = 10000;
    std::atomic<bool> subscribed{false};
    ChangeCallback onChanged;
    std::mutex callbackMutex;
    // The thread inside a change call, 0 when none is. A contact whose last reference
    // goes during its own change call stops the watch from that very thread, which
    // holds callbackMutex already: the callback is then cleared once the call returns.
    std::atomic<DWORD> notifyingThread{0};
    bool stopAfterNotify = false;
    const Clock clock;
};
