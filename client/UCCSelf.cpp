#include "client/UCCSelf.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

#include <mutex>
#include <shared_mutex>

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kLogSource[] = "UCCSelf";

} // namespace

UCCSelf::UCCSelf() { ORVEX_LOG(LogLevel::Debug, "UCCSelf::UCCSelf", "Constructor: " << LogAddress{this}); }

UCCSelf::~UCCSelf()
{
    orvex::com::guardCallback(
        [this] { ORVEX_LOG(LogLevel::Debug, "UCCSelf::~UCCSelf", "Destructor: " << LogAddress{this}); });
}

void UCCSelf::setContactManager(IUCCContactManager* manager) noexcept
{
    ComPtr<IUCCContactManager> replaced;
    {
        std::unique_lock lock(contactManagerLock);
        if (contactManager.Get() == manager) {
            return;
        }
        replaced = std::exchange(contactManager, ComPtr<IUCCContactManager>(manager));
    }
    // The earlier manager is released outside the lock: its teardown may log to the host.
}

ComPtr<IUCCContactManager> UCCSelf::heldContactManager() const noexcept
{
    std::shared_lock lock(contactManagerLock);
    return contactManager;
}

HRESULT UCCSelf::get_Contact(IUCCContact** selfContact) noexcept
{
    const ComPtr<IUCCContactManager> manager = heldContactManager();
    if (!manager) {
        // Not wired yet: there is nobody to ask for the user's contact.
        return E_FAIL;
    }
    return manager->GetSelfContact(selfContact);
}

HRESULT UCCSelf::CanSetPhone(ContactEndpointType, VARIANT_BOOL* canSet) noexcept
{
    if (canSet != nullptr) {
        *canSet = VARIANT_FALSE;
    }
    return E_NOTIMPL;
}

HRESULT UCCSelf::get_IsInResiliencyMode(VARIANT_BOOL* isResiliencyMode) noexcept
{
    if (isResiliencyMode == nullptr) {
        return E_POINTER;
    }
    *isResiliencyMode = VARIANT_FALSE;
    return S_OK;
}

HRESULT UCCSelf::PublishContactInformation(SAFEARRAY*, SAFEARRAY*, IUnknown*, VARIANT,
                                           IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCSelf::CreatePhone(ContactEndpointType, BSTR, VARIANT_BOOL, IUCCPhone**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::get_Phones(SAFEARRAY**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::SetPhones(SAFEARRAY*, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::GetPublishableCustomAvailabilityStates(LONG, SAFEARRAY**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::get_Permissions(SAFEARRAY**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::get_PhotoDisplayed(VARIANT_BOOL*) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::get_TestCallEndpoint(IUCCContactEndpoint**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::SetPhone(ContactEndpointType, BSTR, VARIANT_BOOL, IUnknown*, VARIANT,
                          IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCSelf::RemovePhone(ContactEndpointType, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCSelf::GetPhone(ContactEndpointType, IUCCPhone**) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::GetSettingInternal(SettingItemTypeInternal, VARIANT*) noexcept { return E_NOTIMPL; }

HRESULT UCCSelf::GetAlertLevelForNotification(BSTR, NotificationTypes, NotificationUrgencyType,
                                              IUCCAlertLevel**) noexcept
{
    return E_NOTIMPL;
}
