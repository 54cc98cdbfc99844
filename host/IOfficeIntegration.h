#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <memory>

// What the host gets back from getOutlookIntegration. The slot order is the binary
// contract with the host.
class IOfficeIntegration {
public:
    virtual ~IOfficeIntegration() = default;

    // Registers the provider's class object with COM and announces the provider to Office.
    // Called on a thread without COM, it enters that thread into the multithreaded
    // apartment, and the thread stays there: neither the stop nor the unload leaves it,
    // since COM must not be uninitialised inside FreeLibrary.
    virtual void startIntegration() = 0;

    // Tells Office that the messenger shuts down and withdraws the class object.
    virtual void stopIntegration() = 0;

    // Removes the provider's registration with Office.
    virtual void removeRegistration() = 0;

    // Whether the provider's machine-wide registration is in place.
    virtual bool isRegistered() = 0;
};

#if defined(ORVEX_BUILDING_LIBRARY)
#define ORVEX_ENTRY_POINT __declspec(dllexport)
#else
#define ORVEX_ENTRY_POINT
#endif

// The library's one entry point for the host. The first call fixes the helper for the
// life of the process; later calls return the same object and ignore their argument.
ORVEX_ENTRY_POINT std::shared_ptr<IOfficeIntegration> getOutlookIntegration(
    const std::shared_ptr<IOfficeAdapterPlatformHelper>& helper);
