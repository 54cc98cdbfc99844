#pragma once

#include "host/OutlookContactStatus.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The messenger's side of the boundary, implemented by the host and handed to
// getOutlookIntegration. The virtual slot order is the binary contract with the host:
// never reorder, insert or remove a member. Strings are UTF-8; the host and the library
// are built with the same toolchain, so std::string, std::vector, std::function and
// std::shared_ptr cross the boundary as they are.
//
// The library calls slots 1, 2, 3, 5, 6, 9 and 10, from any thread and possibly
// concurrently; the host may invoke presence callbacks on any thread of its own.
class IOfficeAdapterPlatformHelper {
public:
    using PresenceCallback = std::function<void(OutlookContactStatus)>;

    // Slot 0.
    virtual ~IOfficeAdapterPlatformHelper() = default;

    // Slot 1: answers the cached status at once; a non-empty callback is invoked later,
    // once for every status the host fetches for the address.
    virtual OutlookContactStatus getContactPresence(const std::string& address, PresenceCallback callback) = 0;

    // Slot 2: the library no longer watches the address.
    virtual void stopContactPresence(const std::string& address) = 0;

    // Slot 3: the signed-in user's identity, in the form of a contact address; empty on failure.
    virtual std::string getSelfUri() = 0;

    // Slot 4 belongs to the host; the library never calls it.
    virtual void hostReservedSlot4() = 0;

    // Slot 5: opens an instant-message conversation; the subject may be empty.
    virtual void startInstantMessage(const std::vector<std::string>& participantUris, const std::string& subject) = 0;

    // Slot 6: starts a call (audio and video alike).
    virtual void startCall(const std::vector<std::string>& participantUris) = 0;

    // Slots 7 and 8 belong to the host; the library never calls them.
    virtual void hostReservedSlot7() = 0;
    virtual void hostReservedSlot8() = 0;

    // Slot 9: one log record; the host decides where it goes and which levels it keeps.
    virtual void log(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
                     const std::string& function) = 0;

    // Slot 10: the outcome of registering the provider's class object with COM.
    virtual void classFactoryRegistered(HRESULT result) = 0;
};
