#include "contacts/UCCContactSubscription.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

namespace {

constexpr char kLogSource[] = "UCCContactSubscription";

} // namespace

UCCContactSubscription::UCCContactSubscription()
{
    ORVEX_LOG(LogLevel::Debug, "UCCContactSubscription::UCCContactSubscription", "Constructor: " << LogAddress{this});
}

UCCContactSubscription::~UCCContactSubscription()
{
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContactSubscription::~UCCContactSubscription",
                  "Destructor: " << LogAddress{this});
    });
}

HRESULT UCCContactSubscription::Subscribe(ContactSubscriptionRefreshRate, SAFEARRAY*) noexcept { return S_OK; }

HRESULT UCCContactSubscription::Unsubscribe() noexcept { return S_OK; }

HRESULT UCCContactSubscription::AddContact(IUCCContact*) noexcept { return S_OK; }

HRESULT UCCContactSubscription::RemoveContact(IUCCContact*) noexcept { return S_OK; }

HRESULT UCCContactSubscription::get_LastSubscribedRefreshRate(ContactSubscriptionRefreshRate*) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactSubscription::get_LastSubscribedContactInformation(SAFEARRAY**) noexcept { return E_NOTIMPL; }

HRESULT UCCContactSubscription::get_Contacts(SAFEARRAY**) noexcept { return E_NOTIMPL; }

HRESULT UCCContactSubscription::AddContactByUri(BSTR) noexcept { return E_NOTIMPL; }

HRESULT UCCContactSubscription::AddContacts(SAFEARRAY*) noexcept { return E_NOTIMPL; }
