#include "contacts/UCCContactManager.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "contacts/ContactDetails.h"
#include "contacts/UCCContact.h"
#include "contacts/UCCContactSubscription.h"
#include "host/HostLog.h"
#include "host/HostHelper.h"
#include "host/TextConversion.h"

#include <mutex>
#include <shared_mutex>
#include <utility>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;
using orvex::com::Bstr;
using orvex::com::guardComCall;

namespace {

constexpr char kLogSource[] = "UCCContactManager";

// Text the host can be given unchanged: no embedded NUL, which would cut the address
// short in the host, and no unpaired surrogate, which the conversion to UTF-8 would
// replace, so that two different addresses would reach the host as the same one.
bool isWellFormedText(std::wstring_view text) noexcept
{
    for (std::size_t index = 0; index < text.size(); ++index) {
        const wchar_t unit = text[index];
        if (unit == L'\0' || IS_LOW_SURROGATE(unit)) {
            return false;
        }
        if (IS_HIGH_SURROGATE(unit)) {
            if (index + 1 == text.size() || !IS_LOW_SURROGATE(text[index + 1])) {
                return false;
            }
            ++index;
        }
    }
    return true;
}

} // namespace

UCCContactManager::UCCContactManager()
{
    ORVEX_LOG(LogLevel::Debug, "UCCContactManager::UCCContactManager", "Constructor: " << LogAddress{this});
}

UCCContactManager::~UCCContactManager()
{
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContactManager::~UCCContactManager", "Destructor: " << LogAddress{this});
    });
}

void UCCContactManager::setResolver(std::shared_ptr<IContactResolver> contactResolver)
{
    std::unique_lock lock(memberLock);
    resolver = std::move(contactResolver);
}

std::shared_ptr<IContactResolver> UCCContactManager::currentResolver() const
{
    std::shared_lock lock(memberLock);
    return resolver;
}

HRESULT UCCContactManager::GetContactByUri(BSTR contactUri, IUCCContact** contact) noexcept
{
    return guardComCall([&] {
        if (contactUri == nullptr || !isWellFormedText({contactUri, SysStringLen(contactUri)})) {
            ORVEX_LOG(LogLevel::Error, "UCCContactManager::GetContactByUri", "Invalid argument");
            return E_INVALIDARG;
        }
        const std::wstring_view address(contactUri, SysStringLen(contactUri));
        ORVEX_LOG(LogLevel::Debug, "UCCContactManager::GetContactByUri",
                  "GetContactByUri request for " << TextConversion::toUtf8(address));
        // Only e-mail-style addresses; nothing else about them is checked or changed.
        if (address.rfind(L'@') == std::wstring_view::npos) {
            ORVEX_LOG(LogLevel::Debug, "UCCContactManager::GetContactByUri",
                      "Contact URI is not an email address, not supported");
            return E_FAIL;
        }
        return CreateContact(contactUri, contact);
    });
}

HRESULT UCCContactManager::GetSelfContact(IUCCContact** selfContact) noexcept
{
    return guardComCall([&] {
        ORVEX_LOG(LogLevel::Verbose, "UCCContactManager::GetSelfContact", "Received request for self contact");
        const auto helper = HostHelper::current();
        if (!helper) {
            return E_FAIL;
        }
        // An empty identity gives a null string, which CreateContact refuses.
        const Bstr identity = Bstr::fromUtf8(helper->getSelfUri());
        return CreateContact(identity.get(), selfContact);
    });
}

HRESULT UCCContactManager::CreateSubscription(IUCCContactSubscription** result) noexcept
{
    return guardComCall([&] {
        if (result == nullptr) {
            return E_POINTER;
        }
        ComPtr<IUCCContactSubscription> handedOut;
        {
            // The first caller creates the one object; a concurrent first caller waits
            // and gets the same one.
            std::unique_lock lock(memberLock);
            if (!subscription) {
                ComPtr<CComObject<UCCContactSubscription>> created;
                if (FAILED(CComObject<UCCContactSubscription>::CreateInstance(created))) {
                    return E_OUTOFMEMORY;
                }
                subscription = created.Get();
            }
            handedOut = subscription;
        }
        if (!handedOut) {
            ORVEX_LOG(LogLevel::Error, "UCCContactManager::CreateSubscription",
                      "Create Subscription failed, hr: " << LogHex(E_NOINTERFACE));
            return E_NOINTERFACE;
        }
        *result = handedOut.Detach();
        return S_OK;
    });
}

HRESULT UCCContactManager::CreateContact(BSTR address, IUCCContact** contact)
{
    if (address == nullptr || contact == nullptr) {
        ORVEX_LOG(LogLevel::Error, "UCCContactManager::CreateContact", "Invalid Argument(s)");
        return E_INVALIDARG;
    }
    return CreateContact(std::make_shared<ContactDetails>(address, currentResolver()), contact);
}

HRESULT UCCContactManager::CreateContact(std::shared_ptr<IContactDetails> details, IUCCContact** contact)
{
    ComPtr<CComObject<UCCContact>> created;
    if (FAILED(CComObject<UCCContact>::CreateInstance(created))) {
        ORVEX_LOG(LogLevel::Error, "UCCContactManager::CreateContact",
                  "Unable to create UCCContact instance, hr: " << LogHex(E_OUTOFMEMORY));
        return E_OUTOFMEMORY;
    }
    created->attach(this, details);
    // A plain pointer: a counted one would keep the contact alive until its watch
    // stops, and the watch stops only when the contact goes.
    UCCContact* const plain = created.Get();
    details->startWatchingContact([plain](DISPPARAMS* params) { UCCContact::onContactChangedDelegator(plain, params); });
    ComPtr<IUCCContact> result = created.Get();
    *contact = result.Detach();
    return S_OK;
}

HRESULT UCCContactManager::get_Groups(IUCCGroupCollection**) noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::Lookup(BSTR, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::Search(BSTR, SearchProviders, SearchFields, SearchOptions, ULONG, IUnknown*, VARIANT,
                                  IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::RemoveContactFromAllGroups(IUCCContact*, IUnknown*, VARIANT,
                                                      IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::GetSearchProviderID(SearchProviders, BSTR*) noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::AddCustomGroup(BSTR, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::AddDistributionGroup(IUCCDistributionGroup*, IUnknown*, VARIANT,
                                                IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::RemoveGroup(IUCCGroup*, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::SuspendSubscriptions() noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::ResumeSubscriptions() noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::GetSearchFields(SearchFields*) noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::GetSearchProviderStatus(SearchProviders, SearchProviderStatusType*) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContactManager::GetExpertSearchQueryString(BSTR, BSTR*) noexcept { return E_NOTIMPL; }

HRESULT UCCContactManager::GetContactByTel(BSTR, IUCCContact**) noexcept { return E_NOTIMPL; }
