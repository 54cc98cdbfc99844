#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>

// Codes a watcher's change notification carries, as a SAFEARRAY of VT_I4 in the one
// argument of the DISPPARAMS handed to the change callback.
enum class ContactChangeKind : LONG {
    DisplayNameChanged = 1,
    PresenceChanged = 4,
};

// The presence watcher behind one Office contact object.
class IContactDetails {
public:
    // Runs on the host's callback thread while the watcher holds its callback lock: it
    // must not start the watch of the same watcher again. Stopping it from within is
    // allowed (the contact's last reference may go there) and takes effect once the
    // call returns.
    using ChangeCallback = std::function<void(DISPPARAMS*)>;

    virtual ~IContactDetails() = default;

    virtual void startWatchingContact(ChangeCallback onChanged) = 0;
    // Once this returns, no change call is running or will start.
    virtual void stopWatchingContact() = 0;
    virtual HRESULT getAddress(BSTR* address) = 0;
    virtual HRESULT getActivity(BSTR* activity) = 0;
    virtual HRESULT getDisplayName(BSTR* displayName) = 0;
    // The Office availability number of the contact's current presence.
    virtual LONG getPresenceState() = 0;
};
