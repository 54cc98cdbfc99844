#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The stand-in's presence cache: the status of each known address and the callbacks
// the library handed in to watch it. The lock is never held while a callback runs:
// callers get copies and invoke them outside, so that a callback that calls back into
// the host cannot deadlock against the table.
class PresenceTable {
public:
    using Callback = IOfficeAdapterPlatformHelper::PresenceCallback;

    static std::optional<OutlookContactStatus> parseStatus(const std::string& name);
    static const char* statusName(OutlookContactStatus status);

    // The built-in table: one address for every status the host can report.
    void loadBuiltIn();
    // Lines of "address status"; blank lines and lines starting with '#' are skipped.
    // A malformed line is named in `error`; the lines before it stay loaded.
    bool load(const std::string& text, std::string& error);

    void setStatus(const std::string& address, OutlookContactStatus status);

    // Answers the cached status (unknown for an address not in the table) and keeps a
    // non-empty callback for later reports.
    OutlookContactStatus watch(const std::string& address, Callback callback);
    // One watch of the address ended. The host cannot tell the library's watches of one
    // address apart, so their callbacks are kept until the last watch ends.
    void unwatch(const std::string& address);

    // The new status and the callbacks to tell about it.
    std::vector<Callback> update(const std::string& address, OutlookContactStatus status);
    // The host drops the contact: its callbacks are handed out one last time and forgotten.
    std::vector<Callback> evict(const std::string& address);
    // Forgets every callback (they point into the library, which is about to be unloaded).
    void forgetCallbacks();

    std::vector<std::pair<std::string, OutlookContactStatus>> entries() const;
    std::size_t callbackCount() const;
    std::size_t watchCount() const;

private:
    struct Entry {
        OutlookContactStatus status = OutlookContactStatus::PresenceUnknown;
        std::vector<Callback> callbacks;
        std::size_t watches = 0;
    };

    mutable std::mutex mutex;
    std::map<std::string, Entry> table;
};
