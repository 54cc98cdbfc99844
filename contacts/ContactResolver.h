#pragma once

#include "contacts/IContactResolver.h"

#include <windows.h>

// Puts presence questions to the host. It keeps no state: caching, fetching and evicting
// presence are the host's business, so one instance serves every contact from any thread.
class ContactResolver final : public IContactResolver {
public:
    HRESULT requestContactPresence(const std::string& address, PresenceCallback callback) override;
    OutlookContactStatus requestCachedContactPresence(const std::string& address) override;

    // The host's status as the log names it. Every code without a name of its own,
    // ContactEvicted included, reads "ucAvailabilityOffline".
    static const char* statusText(OutlookContactStatus status) noexcept;
    // The availability number Office shows for the status; 0 (no availability) for
    // everything but the four real presence states. Note that an unknown code is logged
    // as offline but reaches Office as 0, not as the offline number.
    static LONG availability(OutlookContactStatus status) noexcept;
};
