#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <memory>

// The one road by which the library reaches the host's helper. The entry point fills the
// slot once, with the helper of the first getOutlookIntegration, and empties it at
// unload; everyone else reads it. A reader gets a copy taken under the slot's lock and
// calls the host on the copy, never under the lock, so that a slow host blocks no one
// and two threads may be inside the host at once. Before the slot is filled, after it
// is emptied, or when the host gave no helper, the copy is empty and the call is skipped.
class HostHelper {
public:
    static std::shared_ptr<IOfficeAdapterPlatformHelper> current();

    // The first fill wins; later ones are ignored, as the host's later helpers are.
    static void fill(std::shared_ptr<IOfficeAdapterPlatformHelper> helper);
    static void empty();
};
