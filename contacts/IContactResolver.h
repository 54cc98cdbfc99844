#pragma once

#include "host/OutlookContactStatus.h"

#include <windows.h>

#include <functional>
#include <string>

// The one road by which a presence question about a contact reaches the host. Shared by
// the contact manager and every watcher it creates.
class IContactResolver {
public:
    using PresenceCallback = std::function<void(OutlookContactStatus)>;

    virtual ~IContactResolver() = default;

    // Asks the host to report the address's presence through `callback`, on a host thread,
    // as often as it learns something new. E_FAIL when there is no host to ask; the
    // callback is then dropped unused.
    virtual HRESULT requestContactPresence(const std::string& address, PresenceCallback callback) = 0;

    // Whatever the host has cached for the address, PresenceUnknown without a host.
    virtual OutlookContactStatus requestCachedContactPresence(const std::string& address) = 0;
};
