#include "contacts/UCCContact.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/Variant.h"
#include "contacts/UCCContactInformationChangedEventData.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCLocaleString.h"
#include "client/com/CAtlModule.h"
#include "host/HostHelper.h"
#include "host/HostLog.h"

#include <objidl.h>

#include <array>
#include <utility>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::ComError;
using orvex::com::guardComCall;
using orvex::com::SafeArray;
using orvex::com::Variant;

namespace {

constexpr char kLogSource[] = "UCCContact";

// Counts from here on belong to an object being torn down.
constexpr ULONG kDestroyingCounts = 0x80000000;

// Writes a fixed answer through an out-pointer Office may leave null.
template <class T>
HRESULT answer(T* destination, T value) noexcept
{
    if (destination == nullptr) {
        return E_POINTER;
    }
    *destination = value;
    return S_OK;
}


// The process's global interface table, cached by the library's module.
HRESULT globalInterfaceTable(IGlobalInterfaceTable** table)
{
    orvex::com::CAtlModule* module = orvex::com::CAtlModule::current();
    return module != nullptr ? module->GetGITPtr(table) : E_UNEXPECTED;
}
} // namespace

UCCContact::UCCContact() { ORVEX_LOG(LogLevel::Debug, "UCCContact::UCCContact", "Constructor: " << LogAddress{this}); }

UCCContact::~UCCContact()
{
    orvex::com::guardCallback(
        [&] { ORVEX_LOG(LogLevel::Debug, "UCCContact::~UCCContact", "Destructor: " << LogAddress{this}); });
}

void UCCContact::FinalRelease() noexcept
{
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContact::FinalRelease", "Final mContactDetails: " << LogAddress{this});
        if (contactManager && contactDetails) {
            contactDetails->stopWatchingContact();
        }
        // The watch has stopped: no push can take the event data any more.
        std::lock_guard lock(presenceChangeMutex);
        ComPtr<IGlobalInterfaceTable> table;
        if (presenceChangeCookie != 0 &&
            SUCCEEDED(globalInterfaceTable(table.GetAddressOf()))) {
            table->RevokeInterfaceFromGlobal(presenceChangeCookie);
        }
        presenceChangeCookie = 0;
        presenceChange.Reset();
    });
}

void UCCContact::attach(ComPtr<IUCCContactManager> manager, std::shared_ptr<IContactDetails> details)
{
    contactManager = std::move(manager);
    contactDetails = std::move(details);
}

// ---- The change path, on the host's callback thread inside the watcher's lock ----

ComPtr<IUCCContact> UCCContact::tryReference() noexcept
{
    // A count that was 0 (the last reference is gone, the teardown has not yet marked
    // it) or is already marked must not be revived: the event would hand Office an
    // object that is being destroyed, and a second release to 0 would destroy it twice.
    // The watcher's lock keeps the object's memory alive meanwhile, because its final
    // release waits for that lock.
    const ULONG count = internalAddRef();
    if (count == 1 || count >= kDestroyingCounts) {
        internalRelease();
        return nullptr;
    }
    // The probe's reference becomes the handed-out one (the toolchain's ComPtr::Attach
    // adds a reference of its own, so it is taken anew and the probe dropped).
    ComPtr<IUCCContact> reference(this);
    internalRelease();
    return reference;
}

void UCCContact::onContactChangedDelegator(UCCContact* contact, DISPPARAMS* params) noexcept
{
    orvex::com::guardCallback([&] {
        if (contact == nullptr || params == nullptr) {
            ORVEX_LOG(LogLevel::Error, "UCCContact::onContactChangedDelegator", "Invalid argument(s)");
            return;
        }
        const auto reference = contact->tryReference();
        if (reference) {
            contact->onContactChanged(params);
        }
    });
}

HRESULT UCCContact::onContactChanged(DISPPARAMS* params)
{
    ORVEX_LOG(LogLevel::Verbose, "UCCContact::onContactChanged", "Contact data changed");
    if (params->cArgs < 1 || params->rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    const Variant argument(params->rgvarg[0]);
    if (argument.type() != (VT_ARRAY | VT_I4)) {
        return E_INVALIDARG;
    }
    auto kinds = SafeArray::copyOf(argument.get().parray);
    if (kinds.dimensions() != 1) {
        return E_INVALIDARG;
    }
    ComPtr<IUCCContact> self(this);
    onContactChangedAction(std::move(self), std::move(kinds));
    return S_OK;
}

void UCCContact::onContactChangedAction(ComPtr<IUCCContact> contact, SafeArray kinds)
{
    ORVEX_LOG(LogLevel::Verbose, "UCCContact::onContactChangedAction", "Reporting contact changed through callback");
    auto* self = static_cast<UCCContact*>(contact.Get());
    const bool presenceOnly = kinds.dimensions() == 1 && kinds.lowerBound() == kinds.upperBound() && [&] {
        LONG kind = 0;
        kinds.getElement(kinds.lowerBound(), &kind);
        return kind == static_cast<LONG>(ContactChangeKind::PresenceChanged);
    }();
    const ComPtr<IUCCContactInformationChangedEventData> eventData =
        presenceOnly ? self->presenceChangeEventData() : newEventData(kinds);
    if (eventData) {
        self->fireOnContactInformationChanged(contact.Get(), eventData.Get());
    }
}

ComPtr<IUCCContactInformationChangedEventData> UCCContact::newEventData(const SafeArray& kinds)
{
    ComPtr<orvex::com::CComObject<UCCContactInformationChangedEventData>> eventData;
    if (FAILED(orvex::com::CComObject<UCCContactInformationChangedEventData>::CreateInstance(eventData))) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::onContactChangedAction",
                  "Failed to create UCCContactInformationChangedEventData object. hr: " << LogHex(E_OUTOFMEMORY));
        return nullptr;
    }
    bool changed = false;
    const LONG last = kinds.upperBound();
    for (LONG index = kinds.lowerBound(); index <= last; ++index) {
        LONG kind = 0;
        kinds.getElement(index, &kind);
        if (kind == static_cast<LONG>(ContactChangeKind::DisplayNameChanged)) {
            eventData->append(ucPresenceDisplayName);
            changed = true;
        } else if (kind == static_cast<LONG>(ContactChangeKind::PresenceChanged)) {
            for (const auto type : {ucPresenceAvailability, ucPresenceActivityId, ucPresenceCustomActivity,
                                    ucPresenceActivity}) {
                eventData->append(type);
            }
            changed = true;
        }
    }
    if (!changed) {
        ORVEX_LOG(LogLevel::Debug, "UCCContact::onContactChangedAction", "No changed data to report");
        return nullptr;
    }
    return eventData;
}

ComPtr<IUCCContactInformationChangedEventData> UCCContact::presenceChangeEventData()
{
    std::lock_guard lock(presenceChangeMutex);
    if (!presenceChange) {
        static constexpr std::array<LONG, 1> kPresenceChanged{static_cast<LONG>(ContactChangeKind::PresenceChanged)};
        presenceChange = newEventData(SafeArray::ofInt32(kPresenceChanged));
        // Kept connected: a push then hands Office an object whose stub already exists,
        // instead of building and tearing down a stub manager and its stubs every time.
        // The global interface table holds the connection, because the contact may be
        // released in another apartment than the one that pushed.
        ComPtr<IGlobalInterfaceTable> table;
        if (presenceChange &&
            SUCCEEDED(globalInterfaceTable(table.GetAddressOf())) &&
            FAILED(table->RegisterInterfaceInGlobal(presenceChange.Get(), IID_IDispatch, &presenceChangeCookie))) {
            presenceChangeCookie = 0;
        }
    }
    return presenceChange;
}

// ---- IUCCContact ----

HRESULT UCCContact::get_Uri(BSTR* uri) noexcept
{
    return guardComCall([&] {
        if (!contactDetails) {
            return E_FAIL;
        }
        if (uri == nullptr) {
            return E_POINTER;
        }
        Bstr address;
        const HRESULT result = contactDetails->getAddress(address.out());
        if (FAILED(result)) {
            return result;
        }
        std::wstring text = L"sip:";
        text += address.view();
        *uri = Bstr(text).detach();
        return S_OK;
    });
}

HRESULT UCCContact::GetContactInformation(ContactInformationType type, VARIANT* value) noexcept
{
    return guardComCall([&] {
        ORVEX_LOG(LogLevel::Verbose, "UCCContact::GetContactInformation",
                  "Request received for contact information of type: " << static_cast<LONG>(type));
        Variant answer;
        const HRESULT result = answerContactInformation(type, answer);
        // Whatever the answer, also an empty one, is written. An [out] VARIANT holds nothing
        // on the way in (COM lets the caller leave it uninitialised): it is written over,
        // never cleared.
        if (value != nullptr) {
            answer.moveTo(value);
        }
        return result;
    });
}

HRESULT UCCContact::answerContactInformation(ContactInformationType type, Variant& answer)
{
    if (!contactDetails) {
        // Not reachable for contacts made by the manager; answer as for an unknown presence.
        if (type != ucPresenceAvailability) {
            return E_FAIL;
        }
        answer = Variant::fromInt32(0);
        return S_OK;
    }
    switch (type) {
    case ucPresenceAvailability:
        answer = Variant::fromInt32(contactDetails->getPresenceState());
        return S_OK;
    case ucPresenceActivityId:
        answer = Variant::fromBstr(Bstr(L""));
        return S_OK;
    case ucPresenceActivity:
    case ucPresenceDisplayName: {
        Bstr text;
        const HRESULT result = type == ucPresenceActivity ? contactDetails->getActivity(text.out())
                                                          : contactDetails->getDisplayName(text.out());
        answer = Variant::fromBstr(std::move(text));
        return result;
    }
    case ucPresenceCustomActivity:
        return setVariantToPresenceStringAsLocalString(answer);
    case ucPresenceLegacyInstantMessageAddresses:
    case ucPresenceInstantMessageAddresses:
        return setVariantToAddressList(answer);
    default:
        return E_NOTIMPL;
    }
}

HRESULT UCCContact::setVariantToPresenceStringAsLocalString(Variant& answer)
{
    Bstr activity;
    HRESULT result = contactDetails->getActivity(activity.out());
    if (FAILED(result)) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::setVariantToPresenceStringAsLocalString",
                  "Unable to get PresenceString");
        return result;
    }
    ComPtr<orvex::com::CComObject<UCCLocaleString>> localeString;
    if (FAILED(orvex::com::CComObject<UCCLocaleString>::CreateInstance(localeString))) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::setVariantToPresenceStringAsLocalString",
                  "Unable to create LocaleString. hr: " << LogHex(E_OUTOFMEMORY));
        return E_OUTOFMEMORY;
    }
    localeString->setValue(activity.get());
    try {
        auto array = SafeArray::create(VT_DISPATCH, 1);
        array.putElement(0, static_cast<IDispatch*>(localeString.Get()));
        answer = Variant::fromArray(std::move(array));
    } catch (const ComError& error) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::setVariantToPresenceStringAsLocalString",
                  "Unable to Add IDispatch to SafeArray");
        return error.code();
    }
    return S_OK;
}

HRESULT UCCContact::setVariantToAddressList(Variant& answer)
{
    Bstr address;
    const HRESULT result = contactDetails->getAddress(address.out());
    if (FAILED(result)) {
        return result;
    }
    auto array = SafeArray::create(VT_BSTR, address.empty() ? 0 : 1);
    if (!address.empty()) {
        array.putElement(0, address.get());
    }
    answer = Variant::fromArray(std::move(array));
    return result;
}

HRESULT UCCContact::BatchGetContactInformation(SAFEARRAY* types,
                                               IUCCContactInformationDictionary** information) noexcept
{
    return guardComCall([&] {
        // Office's array is looked at only when it is what the interface promises: one
        // dimension of 32-bit integers, whose features say so too (they decide how the
        // array is copied) and whose indices do not wrap.
        if (!SafeArray::isWellFormedVector(types, VT_I4)) {
            return E_INVALIDARG;
        }
        if (information == nullptr) {
            return E_POINTER;
        }
        const auto requested = SafeArray::copyOf(types);
        const LONG first = requested.lowerBound();
        const LONG last = requested.upperBound();
        ORVEX_LOG(LogLevel::Debug, "UCCContact::BatchGetContactInformation",
                  "Request received for batched contact information " << requested.count() << " items");

        ComPtr<orvex::com::CComObject<UCCContactInformationDictionary>> dictionary;
        if (FAILED(orvex::com::CComObject<UCCContactInformationDictionary>::CreateInstance(dictionary))) {
            ORVEX_LOG(LogLevel::Error, "UCCContact::BatchGetContactInformation",
                      "Failed to create UCCContactInformationDictionary object. hr: " << LogHex(E_OUTOFMEMORY));
            return E_OUTOFMEMORY;
        }
        IUCCContact* self = this;
        for (LONG index = first; index <= last; ++index) {
            LONG type = 0;
            requested.getElement(index, &type);
            Variant value;
            // Through the interface, as any caller would; unsupported types add an empty value.
            self->GetContactInformation(static_cast<ContactInformationType>(type), value.out());
            dictionary->add(static_cast<ContactInformationType>(type), std::move(value));
        }
        ComPtr<IUCCContactInformationDictionary> result = dictionary.Get();
        *information = result.Detach();
        return S_OK;
    });
}

HRESULT UCCContact::get_Settings(IUCCContactSettingDictionary**) noexcept { return E_NOTIMPL; }

HRESULT UCCContact::CanStart(ModalityTypes modalities, VARIANT_BOOL* canStart) noexcept
{
    return guardComCall([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContact::CanStart", "CanStart for modality: " << static_cast<LONG>(modalities));
        if (canStart == nullptr) {
            return E_POINTER;
        }
        const bool self = isClientUser();
        const bool startable = modalities == ucModalityInstantMessage || modalities == ucModalityAudioVideo;
        *canStart = self && startable ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

bool UCCContact::isClientUser()
{
    Bstr self;
    if (const auto helper = HostHelper::current()) {
        self = Bstr::fromUtf8(helper->getSelfUri());
    }
    if (self.empty()) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::isClientUser", "Unable to get client user Jid");
        return false;
    }
    Bstr address;
    if (!contactDetails || FAILED(contactDetails->getAddress(address.out()))) {
        ORVEX_LOG(LogLevel::Error, "UCCContact::isClientUser", "Unable to get Uri");
        return false;
    }
    return self.view() == address.view();
}

HRESULT UCCContact::ChangeSetting(ContactSetting, VARIANT, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContact::CanChangeSetting(ContactSetting, VARIANT_BOOL* canSet) noexcept
{
    return answer<VARIANT_BOOL>(canSet, VARIANT_FALSE);
}

HRESULT UCCContact::get_ContactManager(IUCCContactManager** manager) noexcept
{
    if (manager == nullptr) {
        return E_POINTER;
    }
    if (!contactManager) {
        return E_NOINTERFACE;
    }
    ComPtr<IUCCContactManager> copy = contactManager;
    *manager = copy.Detach();
    return S_OK;
}

HRESULT UCCContact::get_CustomGroups(IUCCGroupCollection**) noexcept { return E_NOTIMPL; }

HRESULT UCCContact::MoveToGroup(IUCCGroup*, IUCCGroup*, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContact::CanMoveToGroup(IUCCGroup*, IUCCGroup*, VARIANT_BOOL* canMove) noexcept
{
    return answer<VARIANT_BOOL>(canMove, VARIANT_FALSE);
}

HRESULT UCCContact::CreateContactEndpoint(BSTR, IUCCContactEndpoint**) noexcept { return E_NOTIMPL; }

HRESULT UCCContact::get_UnifiedCommunicationType(UnifiedCommunicationType* type) noexcept
{
    return answer<UnifiedCommunicationType>(type, ucUnifiedCommunicationEnabled);
}

HRESULT UCCContact::GetOrganizationInformation(OrganizationStructureTypes, IUnknown*, VARIANT,
                                               IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCContact::GetMultipleContactInformation(SAFEARRAY*, IUCCContactInformationDictionary**) noexcept
{
    return E_NOTIMPL;
}
