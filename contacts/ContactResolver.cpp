#include "contacts/ContactResolver.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"
#include "host/HostHelper.h"

#include <utility>

namespace {

constexpr char kLogSource[] = "ContactResolver";

} // namespace

HRESULT ContactResolver::requestContactPresence(const std::string& address, PresenceCallback callback)
{
    const auto helper = HostHelper::current();
    if (!helper) {
        return E_FAIL;
    }
    // The host may call this long after the resolver is gone, so it owns everything it
    // uses and never refers back to the resolver.
    auto forward = [address, callback = std::move(callback)](OutlookContactStatus status) {
        // The host's thread must never see an exception of ours.
        orvex::com::guardCallback([&] {
            ORVEX_LOG(LogLevel::PresenceTrace, "ContactResolver::requestContactPresence",
                      "Request contact presence state received: " << address << ", presence status: "
                                                                  << statusText(status));
            callback(status);
        });
    };
    // What the host has cached is of no interest here: the callback brings every status.
    helper->getContactPresence(address, std::move(forward));
    return S_OK;
}

OutlookContactStatus ContactResolver::requestCachedContactPresence(const std::string& address)
{
    auto status = OutlookContactStatus::PresenceUnknown;
    if (const auto helper = HostHelper::current()) {
        status = helper->getContactPresence(address, {});
    }
    ORVEX_LOG(LogLevel::PresenceTrace, "ContactResolver::requestCachedContactPresence",
              "Get presence state: " << address << ", presence status: " << statusText(status));
    return status;
}

const char* ContactResolver::statusText(OutlookContactStatus status) noexcept
{
    switch (status) {
    case OutlookContactStatus::OnlinePresent:
        return "OnlinePresent (ucAvailabilityFree)";
    case OutlookContactStatus::OnlineAwayFromComputer:
        return "OnlineAwayFromComputer (ucAvailabilityAway)";
    case OutlookContactStatus::OnlineDoNotDisturb:
        return "OnlineDoNotDisturb (ucAvailabilityDoNotDisturb)";
    case OutlookContactStatus::OfflineOOF:
        return "OfflineOOF (ucAvailabilityOffline)";
    case OutlookContactStatus::PresenceUnknown:
        return "PresenceUnknown (ucAvailabilityNone)";
    default:
        return "ucAvailabilityOffline";
    }
}

LONG ContactResolver::availability(OutlookContactStatus status) noexcept
{
    switch (status) {
    case OutlookContactStatus::OnlinePresent:
        return 3500;
    case OutlookContactStatus::OnlineAwayFromComputer:
        return 15500;
    case OutlookContactStatus::OnlineDoNotDisturb:
        return 9500;
    case OutlookContactStatus::OfflineOOF:
        return 18500;
    default:
        return 0;
    }
}
