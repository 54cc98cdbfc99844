#include "contacts/ContactDetails.h"

#include "client/com/ComError.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/ContactResolver.h"
#include "host/HostLog.h"
#include "host/HostHelper.h"

#include <array>
#include <chrono>
#include <utility>

using orvex::com::Bstr;

namespace {

constexpr char kLogSource[] = "ContactDetails";

// Replaces an [out] BSTR the caller may already have filled.
HRESULT store(BSTR* destination, Bstr value)
{
    if (destination == nullptr) {
        return E_POINTER;
    }
    SysFreeString(std::exchange(*destination, value.detach()));
    return S_OK;
}

} // namespace

ContactDetails::ContactDetails(BSTR contactAddress, std::shared_ptr<IContactResolver> contactResolver, Clock now)
    : address(Bstr::copyOf(contactAddress)),
      hostAddress(address.toUtf8()),
      resolver(std::move(contactResolver)),
      clock(now)
{
    ORVEX_LOG(LogLevel::Debug, "ContactDetails::ContactDetails", "Constructor " << LogAddress{this});
}

ContactDetails::~ContactDetails()
{
    orvex::com::guardCallback(
        [&] { ORVEX_LOG(LogLevel::Debug, "ContactDetails::~ContactDetails", "Destructor" << LogAddress{this}); });
}

void ContactDetails::startWatchingContact(ChangeCallback changed)
{
    ORVEX_LOG(LogLevel::Verbose, "ContactDetails::startWatchingContact", "Start watching contact.");
    {
        std::lock_guard lock(callbackMutex);
        onChanged = std::move(changed);
    }
    subscribeToPresence();
}

void ContactDetails::stopWatchingContact()
{
    ORVEX_LOG(LogLevel::Verbose, "ContactDetails::stopWatchingContact", "Stop watching contact.");
    if (const auto helper = HostHelper::current()) {
        helper->stopContactPresence(hostAddress);
    }
    if (notifyingThread.load() == GetCurrentThreadId()) {
        // Called from within this watcher's own change call, which holds the lock.
        stopAfterNotify = true;
        return;
    }
    // Taking the lock waits for a change call in progress; none starts afterwards.
    ChangeCallback dropped;
    {
        std::lock_guard lock(callbackMutex);
        dropped = std::exchange(onChanged, nullptr);
    }
}

HRESULT ContactDetails::getAddress(BSTR* destination)
{
    if (destination != nullptr && *destination == address.get()) {
        return S_OK;
    }
    return store(destination, address);
}

HRESULT ContactDetails::getActivity(BSTR* activity) { return store(activity, Bstr(L"")); }

HRESULT ContactDetails::getDisplayName(BSTR* displayName) { return store(displayName, Bstr(L"")); }

LONG ContactDetails::getPresenceState()
{
    auto status = OutlookContactStatus::PresenceUnknown;
    if (subscribed.load()) {
        if (resolver) {
            status = resolver->requestCachedContactPresence(hostAddress);
        }
    } else if (clock() - lastSubscribeTime.load() > static_cast<std::int64_t>(resubscribeInterval)) {
        ORVEX_LOG(LogLevel::Debug, "ContactDetails::getPresenceState", "Resubscribe presence.");
        subscribeToPresence();
    }
    ORVEX_LOG(LogLevel::PresenceTrace, "ContactDetails::getPresenceState",
              "Get presence state (sync call): " << hostAddress << ", presence state: "
                                                 << ContactResolver::statusText(status));
    return ContactResolver::availability(status);
}

std::int64_t ContactDetails::systemClockMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void ContactDetails::subscribeToPresence()
{
    ORVEX_LOG(LogLevel::Verbose, "ContactDetails::subscribeToPresence", "Subscribe to presence.");
    lastSubscribeTime.store(0);
    subscribed.store(true);
    if (!resolver) {
        return;
    }
    std::weak_ptr<ContactDetails> weakSelf = shared_from_this();
    resolver->requestContactPresence(hostAddress, [weakSelf = std::move(weakSelf)](OutlookContactStatus status) {
        orvex::com::guardCallback([&] {
            // A watcher that is gone hears nothing, and says nothing.
            if (const auto self = weakSelf.lock()) {
                self->onPresenceReported(status);
            }
        });
    });
}

void ContactDetails::onPresenceReported(OutlookContactStatus status)
{
    ORVEX_LOG(LogLevel::PresenceTrace, "ContactDetails::subscribeToPresence",
              "Request Contact presence state received: " << hostAddress << ", Presence Status: "
                                                          << ContactResolver::statusText(status));
    if (status == OutlookContactStatus::ContactEvicted) {
        ORVEX_LOG(LogLevel::Debug, "ContactDetails::subscribeToPresence", "Contact has been evicted.");
        subscribed.store(false);
        lastSubscribeTime.store(clock());
    }
    notify();
}

void ContactDetails::notify()
{
    std::lock_guard lock(callbackMutex);
    if (!onChanged) {
        return;
    }
    static constexpr std::array<LONG, 1> kPresenceChanged{static_cast<LONG>(ContactChangeKind::PresenceChanged)};
    auto changes = orvex::com::Variant::fromArray(orvex::com::SafeArray::ofInt32(kPresenceChanged));
    DISPPARAMS params{&changes.get(), nullptr, 1, 0};
    notifyingThread.store(GetCurrentThreadId());
    stopAfterNotify = false;
    orvex::com::guardCallback([&] { onChanged(&params); });
    notifyingThread.store(0);
    if (stopAfterNotify) {
        onChanged = nullptr;
    }
}
