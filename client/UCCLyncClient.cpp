#include "client/UCCLyncClient.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/SafeArray.h"
#include "host/HostLog.h"
#include "host/HostHelper.h"

#include <mutex>
#include <shared_mutex>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

constexpr char kLogSource[] = "UCCLyncClient";

} // namespace

UCCLyncClient::UCCLyncClient()
{
    ORVEX_LOG(LogLevel::Debug, "UCCLyncClient::UCCLyncClient", "Constructor: " << LogAddress{this});
    // A part that cannot be made stays empty; Office is then told it has none.
    CComObject<UCCContactManager>::CreateInstance(contactManager);
    CComObject<UCCSelf>::CreateInstance(self);
}

UCCLyncClient::~UCCLyncClient()
{
    orvex::com::guardCallback([this] {
        ORVEX_LOG(LogLevel::Debug, "UCCLyncClient::~UCCLyncClient", "Destructor: " << LogAddress{this});
    });
    self.Reset();
    contactManager.Reset();
}

void UCCLyncClient::setClientState(const ClientState& newState) noexcept
{
    ClientState oldState;
    {
        std::unique_lock lock(stateLock);
        if (state == newState) {
            return;
        }
        oldState = std::exchange(state, newState);
    }
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCLyncClient::setClientState",
                  "Setting client state from: " << oldState << " to: " << newState);
    });
    // Sinks run without the lock: they may read the state, the self object or the
    // contact manager from inside the event. A failing sink does not undo the change.
    fireOnStateChanged(oldState, newState);
}

void UCCLyncClient::wireContacts(const std::shared_ptr<IContactResolver>& resolver)
{
    std::unique_lock lock(stateLock);
    if (!contactManager) {
        return;
    }
    contactManager->setResolver(resolver);
    if (self) {
        self->setContactManager(contactManager.Get());
    }
}

template <class Interface, class Child>
HRESULT UCCLyncClient::handOut(const ComPtr<Child>& child, Interface** value) const noexcept
{
    if (value == nullptr) {
        return E_POINTER;
    }
    std::shared_lock lock(stateLock);
    if (!child) {
        return E_NOINTERFACE;
    }
    Interface* const answered = child.Get();
    answered->AddRef();
    *value = answered;
    return S_OK;
}

HRESULT UCCLyncClient::get_Type(ClientType* type) noexcept
{
    if (type == nullptr) {
        return E_POINTER;
    }
    *type = ucClientTypeUC;
    return S_OK;
}

HRESULT UCCLyncClient::get_State(ClientState* value) noexcept
{
    if (value == nullptr) {
        return E_POINTER;
    }
    std::shared_lock lock(stateLock);
    *value = state;
    return S_OK;
}

HRESULT UCCLyncClient::get_Uri(BSTR* uri) noexcept
{
    if (uri == nullptr) {
        return E_POINTER;
    }
    return orvex::com::guardComCall([&] {
        const auto helper = HostHelper::current();
        if (!helper) {
            return E_FAIL;
        }
        *uri = orvex::com::Bstr::fromUtf8(helper->getSelfUri()).detach();
        return S_OK;
    });
}

HRESULT UCCLyncClient::get_Self(IUCCSelf** value) noexcept { return handOut(self, value); }

HRESULT UCCLyncClient::get_ContactManager(IUCCContactManager** value) noexcept
{
    return handOut(contactManager, value);
}

HRESULT UCCLyncClient::get_PrivateContactManager(IUCCContactManager** value) noexcept
{
    return handOut(contactManager, value);
}

HRESULT UCCLyncClient::get_ConversationManager(IUCCConversationManager**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::get_ConferenceScheduler(IUCCConferenceScheduler**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::SignIn(BSTR, BSTR, BSTR, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCLyncClient::SignOut(IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::get_SignInConfiguration(IUCCSignInConfiguration**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::get_Capabilities(LyncClientCapabilityTypes*) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::get_DeviceManager(IUCCDeviceManager**) noexcept { return E_NOTIMPL; }

// Answers that succeed write every out argument they are given: a caller in the same
// process would otherwise read what it left there. There are no delegators, and the
// client is never in suppressed mode; an optional operation left null means none is pending.
HRESULT UCCLyncClient::get_DelegatorClients(SAFEARRAY** delegators) noexcept
{
    if (delegators == nullptr) {
        return E_POINTER;
    }
    return orvex::com::guardComCall([&] {
        *delegators = orvex::com::SafeArray::create(VT_DISPATCH, 0).detach();
        return S_OK;
    });
}

// No utilities object and no application registration exist: succeeding without one
// would hand out a null object.
HRESULT UCCLyncClient::get_Utilities(IUCCUtilities**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::CreateApplicationRegistration(BSTR, BSTR, IUCCApplicationRegistration**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCLyncClient::get_InSuppressedMode(VARIANT_BOOL* value) noexcept
{
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = VARIANT_FALSE;
    return S_OK;
}

HRESULT UCCLyncClient::Initialize(BSTR, BSTR, BSTR, BSTR, BSTR, SupportedFeatures, IUnknown*, VARIANT,
                                  IUCCAsynchronousOperation** operation) noexcept
{
    if (operation != nullptr) {
        *operation = nullptr;
    }
    return S_OK;
}

HRESULT UCCLyncClient::Shutdown(IUnknown*, VARIANT, IUCCAsynchronousOperation** operation) noexcept
{
    if (operation != nullptr) {
        *operation = nullptr;
    }
    return S_OK;
}

HRESULT UCCLyncClient::get_RoomManager(IUCCRoomManager**) noexcept { return E_NOTIMPL; }

HRESULT UCCLyncClient::get_Settings(IUCCClientSettings**) noexcept { return E_NOTIMPL; }
