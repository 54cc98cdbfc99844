#include "tools/office/OfficeConnection.h"

#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "host/TextConversion.h"
#include "tools/office/HResultText.h"
#include "tools/office/RegistryMeaning.h"
#include "tools/office/RunningProcesses.h"

#include <olectl.h>

#include <array>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;

namespace {

constexpr wchar_t kOfficeVersion[] = L"15.0.0.0";
constexpr wchar_t kExpectedAuthentication[] = L"<authenticationinfo>";

std::string utf8(std::wstring_view text)
{
    return TextConversion::toUtf8(text);
}

std::string guidText(const IID& iid)
{
    wchar_t text[40] = {};
    StringFromGUID2(iid, text, 40);
    return utf8(text);
}

std::string numbersOf(const SafeArray& array)
{
    std::string text = "[";
    if (!array.isNull() && array.dimensions() == 1) {
        for (LONG i = array.lowerBound(); i <= array.upperBound(); ++i) {
            LONG value = 0;
            array.getElement(i, &value);
            text += (i == array.lowerBound() ? "" : ",") + std::to_string(value);
        }
    }
    return text + "]";
}

// A dispatch argument as the interface the event declares, whichever of the two object
// types the provider wrapped it in.
template <class Interface>
ComPtr<Interface> objectArgument(const DISPPARAMS& parameters, UINT positionFromLast)
{
    ComPtr<Interface> object;
    if (parameters.rgvarg == nullptr || positionFromLast >= parameters.cArgs) {
        return object;
    }
    const VARIANT& argument = parameters.rgvarg[positionFromLast];
    IUnknown* unknown = argument.vt == VT_DISPATCH ? argument.pdispVal : argument.vt == VT_UNKNOWN ? argument.punkVal
                                                                                                  : nullptr;
    if (unknown != nullptr) {
        unknown->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(object.GetAddressOf()));
    }
    return object;
}

bool interfaceHasProxy(const IID& iid)
{
    const std::wstring path = L"Interface\\" + TextConversion::toWide(guidText(iid)) + L"\\ProxyStubClsid32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace

OfficeConnection::OfficeConnection(ConnectionReport& output) : OfficeConnection(output, Settings{}) {}

OfficeConnection::OfficeConnection(ConnectionReport& output, Settings chosen) : report(output), settings(chosen)
{
}

OfficeConnection::~OfficeConnection()
{
    release();
}

std::string OfficeConnection::availabilityName(LONG availability)
{
    switch (availability) {
    case 3500:
        return "Free";
    case 15500:
        return "Away";
    case 9500:
        return "DoNotDisturb";
    case 18500:
        return "Offline";
    case 0:
        return "None";
    default:
        return "Other";
    }
}

bool OfficeConnection::connect()
{
    return findProvider() && createIntegration() && authenticate() && takeInterfaces() && takeContactManager() &&
           checkSelf();
}

bool OfficeConnection::findProvider()
{
    const auto defaultApp = ProviderRegistry::readText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp");
    provider.name = defaultApp.value;
    if (!report.step("read HKCU Software\\IM Providers DefaultIMApp", Link::Registry,
                     HRESULT_FROM_WIN32(defaultApp.error), defaultApp.error == ERROR_SUCCESS && !provider.name.empty(),
                     "\"" + utf8(provider.name) + "\"")) {
        return false;
    }

    const auto up = ProviderRegistry::waitForUpAndRunning(provider.name, 2, settings.waitForUp);
    LONG upError = ERROR_SUCCESS;
    ProviderRegistry::readUpAndRunning(provider.name, upError);
    const HRESULT upResult = up ? (*up == 2 ? S_OK : HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE))
                                : HRESULT_FROM_WIN32(upError);
    if (!report.step("wait for HKCU ...\\" + utf8(provider.name) + " UpAndRunning = 2", Link::Registry, upResult,
                     up && *up == 2, up ? "UpAndRunning = " + std::to_string(*up) : "no UpAndRunning value")) {
        return false;
    }
    if (settings.watchRegistry) {
        registry.watchUpAndRunning(provider.name, [this](std::optional<DWORD> value) {
            report.event("UpAndRunning", {{"value", value ? std::to_string(*value) : "missing", value.has_value()}});
        });
    }

    // A 64-bit Office reads the native key, a 32-bit one is redirected to WOW6432Node; both are shown.
    std::optional<ProviderRegistry::ProviderKey> chosen;
    for (const bool wow : {false, true}) {
        const auto key = ProviderRegistry::readProviderKey(ProviderRegistry::providerKeyPath(provider.name, wow));
        const std::string detail = key.complete()
            ? "ProcessName = \"" + utf8(key.processName.value) + "\", GUID = " + utf8(key.guid.value)
            : "missing value(s)";
        if (chosen) {
            report.note("HKLM " + utf8(key.path) + ": " + detail);
            continue;
        }
        const LONG error = key.processName.error != ERROR_SUCCESS ? key.processName.error : key.guid.error;
        if (key.complete()) {
            chosen = key;
            report.step("read HKLM " + utf8(key.path) + " ProcessName, GUID", Link::Registry, S_OK, true, detail);
        } else if (wow) {
            report.step("read HKLM " + utf8(key.path) + " ProcessName, GUID", Link::Registry,
                        HRESULT_FROM_WIN32(error), false, detail);
        } else {
            report.note("HKLM " + utf8(key.path) + ": " + detail);
        }
    }
    if (!chosen) {
        return false;
    }
    provider.processName = chosen->processName.value;
    provider.guid = chosen->guid.value;

    const int running = RunningProcesses::count(provider.processName);
    return report.step("find running process " + utf8(provider.processName), Link::Process,
                       running > 0 ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_FOUND), running > 0,
                       std::to_string(running) + " running");
}

bool OfficeConnection::createIntegration()
{
    // As the doctor reads it: any letter case, braces or none.
    const auto parsed = RegistryMeaning::guid(provider.guid);
    if (!report.call("parse GUID as a CLSID", Link::Registry, parsed ? S_OK : CO_E_CLASSSTRING, utf8(provider.guid))) {
        return false;
    }
    const CLSID clsid = *parsed;
    ComPtr<IClassFactory> factory;
    HRESULT result = CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                      reinterpret_cast<void**>(factory.GetAddressOf()));
    if (!report.call("CoGetClassObject(GUID, CLSCTX_LOCAL_SERVER)", Link::ClassObject, result)) {
        return false;
    }
    ComPtr<IUnknown> object;
    result = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf()));
    if (!report.call("IClassFactory::CreateInstance(IUnknown)", Link::ClassObject, result)) {
        return false;
    }
    result = object.As(&integrationObject);
    return report.call("QueryInterface(IUCOfficeIntegration)", linkOfQueryInterface(result, __uuidof(IUCOfficeIntegration)),
                       result);
}

bool OfficeConnection::authenticate()
{
    for (const wchar_t* version : {L"15.0.0.0", L"16.0.0.0"}) {
        Bstr info;
        const HRESULT result = integrationObject->GetAuthenticationInfo(Bstr(version).get(), info.out());
        const bool expected = SUCCEEDED(result) && info.view() == kExpectedAuthentication;
        if (!report.step("GetAuthenticationInfo(\"" + utf8(version) + "\")", Link::Call, result, expected,
                         "\"" + info.toUtf8() + "\"")) {
            return false;
        }
    }
    return true;
}

bool OfficeConnection::takeInterfaces()
{
    const Bstr version(kOfficeVersion);
    ComPtr<IDispatch> clientDispatch;
    HRESULT result = integrationObject->GetInterface(version.get(), oiInterfaceIUCCLyncClient, &clientDispatch);
    if (!report.call("GetInterface(1: client)", Link::Call, result)) {
        return false;
    }
    result = clientDispatch.As(&clientObject);
    if (!report.call("QueryInterface(IUCCLyncClient)", linkOfQueryInterface(result, __uuidof(IUCCLyncClient)),
                     result)) {
        return false;
    }
    ComPtr<IDispatch> automationDispatch;
    result = integrationObject->GetInterface(version.get(), oiInterfaceIUCCAutomation, &automationDispatch);
    if (!report.call("GetInterface(2: automation)", Link::Call, result)) {
        return false;
    }
    result = automationDispatch.As(&automationObject);
    if (!report.call("QueryInterface(IUCCAutomation)", linkOfQueryInterface(result, __uuidof(IUCCAutomation)),
                     result)) {
        return false;
    }
    if (!advise(clientObject.Get(), __uuidof(_IUCCLyncClientEvents),
                [this](DISPID member, const DISPPARAMS& parameters) { onClientEvent(member, parameters); },
                "client") ||
        !advise(integrationObject.Get(), __uuidof(_IUCOfficeIntegrationEvents),
                [this](DISPID member, const DISPPARAMS& parameters) { onIntegrationEvent(member, parameters); },
                "integration")) {
        return false;
    }

    ClientState state = ucClientStateUninitialized;
    result = clientObject->get_State(&state);
    if (!report.step("client State", Link::Call, result, SUCCEEDED(result) && state == ucClientStateSignedIn,
                     "State = " + std::to_string(state) + (state == ucClientStateSignedIn ? " (signed in)" : ""))) {
        return false;
    }
    OIFeature features{};
    result = integrationObject->GetSupportedFeatures(version.get(), &features);
    if (!report.call("GetSupportedFeatures", Link::Call, result, "features = " + std::to_string(features))) {
        return false;
    }
    ComPtr<IUCCSelf> self;
    result = clientObject->get_Self(&self);
    return report.call("client Self", Link::Call, result);
}

bool OfficeConnection::takeContactManager()
{
    ComPtr<IUCCClient2> client2;
    HRESULT result = clientObject.As(&client2);
    if (SUCCEEDED(result)) {
        result = client2->get_PrivateContactManager(&contactManagerObject);
        if (report.call("IUCCClient2 PrivateContactManager", Link::Call, result)) {
            return true;
        }
    } else {
        report.note("IUCCClient2 not offered (" + HResultText::hex(result) + "): falling back to ContactManager");
    }
    result = clientObject->get_ContactManager(&contactManagerObject);
    return report.call("client ContactManager", Link::Call, result);
}

bool OfficeConnection::checkSelf()
{
    Bstr uri;
    HRESULT result = clientObject->get_Uri(uri.out());
    if (!report.call("client Uri", Link::Call, result, "\"" + uri.toUtf8() + "\"")) {
        return false;
    }
    result = contactManagerObject->GetContactByUri(uri.get(), &selfContact);
    if (!report.call("GetContactByUri(own Uri)", Link::Call, result)) {
        return false;
    }
    for (const ModalityTypes modality : {ucModalityInstantMessage, ucModalityAudioVideo}) {
        VARIANT_BOOL canStart = VARIANT_FALSE;
        result = selfContact->CanStart(modality, &canStart);
        if (!report.call("own contact CanStart(" + std::to_string(modality) + ")", Link::Call, result,
                         canStart == VARIANT_TRUE ? "true" : "false")) {
            return false;
        }
    }
    return true;
}

bool OfficeConnection::watchContact(const std::string& address)
{
    const std::string who = " [" + address + "]";
    if (!contactManagerObject) {
        return report.step("GetContactByUri" + who, Link::Call, E_POINTER, false, "not connected");
    }
    Contact contact{address, nullptr};
    HRESULT result = contactManagerObject->GetContactByUri(Bstr::fromUtf8(address).get(), &contact.object);
    if (!report.call("GetContactByUri" + who, Link::Call, result)) {
        return false;
    }
    Variant availability;
    result = contact.object->GetContactInformation(ucPresenceAvailability, availability.out());
    const LONG value = availability.type() == VT_I4 ? availability.get().lVal : -1;
    report.call("GetContactInformation(availability)" + who, Link::Call, result,
                std::to_string(value) + " (" + availabilityName(value) + ")");
    report.event("Presence", {{"contact", address, false},
                              {"availability", std::to_string(value), true},
                              {"name", availabilityName(value), false}});

    if (!subscription) {
        result = contactManagerObject->CreateSubscription(&subscription);
        if (!report.call("CreateSubscription", Link::Call, result)) {
            return false;
        }
    }
    report.call("subscription AddContact" + who, Link::Call, subscription->AddContact(contact.object.Get()));
    const std::array<LONG, 4> types{ucPresenceAvailability, ucPresenceActivityId, ucPresenceCustomActivity,
                                    ucPresenceActivity};
    SafeArray typeArray = SafeArray::ofInt32(types);
    report.call("subscription Subscribe" + who, Link::Call,
                subscription->Subscribe(ucSubscriptionFreshnessHigh, typeArray.get()));

    ComPtr<IUCCContact2> contact2;
    result = contact.object.As(&contact2);
    report.step("QueryInterface(IUCCContact2), expected to fail" + who, Link::Call, result, FAILED(result),
                FAILED(result) ? "refused, as expected" : "unexpectedly offered");

    ComPtr<IUCCContactInformationDictionary> dictionary;
    result = contact.object->BatchGetContactInformation(typeArray.get(), &dictionary);
    LONG count = 0;
    if (SUCCEEDED(result) && dictionary) {
        dictionary->get_Count(&count);
    }
    report.call("BatchGetContactInformation" + who, Link::Call, result, std::to_string(count) + " entries");

    ComPtr<IUCCContactSettingDictionary> contactSettings;
    result = contact.object->get_Settings(&contactSettings);
    report.step("contact Settings" + who, Link::Call, result, SUCCEEDED(result) || result == E_NOTIMPL);
    ComPtr<IUCCGroupCollection> groups;
    result = contact.object->get_CustomGroups(&groups);
    report.step("contact CustomGroups" + who, Link::Call, result, SUCCEEDED(result) || result == E_NOTIMPL);

    const bool advisedContact = advise(
        contact.object.Get(), __uuidof(_IUCCContactEvents),
        [this, address](DISPID member, const DISPPARAMS& parameters) { onContactEvent(address, member, parameters); },
        "contact" + who);
    watched.push_back(std::move(contact));
    return advisedContact;
}

HRESULT OfficeConnection::startConversation(LONG modes, const std::vector<std::string>& participants,
                                            const std::string& subject, const std::string& endpoint)
{
    if (!automationObject) {
        return E_POINTER;
    }
    SafeArray uris = SafeArray::create(VT_BSTR, static_cast<ULONG>(participants.size()));
    for (std::size_t i = 0; i < participants.size(); ++i) {
        Bstr uri = Bstr::fromUtf8(participants[i]);
        uris.putElement(static_cast<LONG>(i), uri.get());
    }
    std::vector<LONG> contextTypes;
    std::vector<Variant> contextData;
    if (!subject.empty()) {
        contextTypes.push_back(uiaConversationContextSubject);
        contextData.push_back(Variant::fromBstr(Bstr::fromUtf8(subject)));
    }
    if (!endpoint.empty()) {
        contextTypes.push_back(uiaConversationContextRemoteEndpointUri);
        contextData.push_back(Variant::fromBstr(Bstr::fromUtf8(endpoint)));
    }
    SafeArray types = SafeArray::ofInt32(contextTypes);
    SafeArray data = SafeArray::create(VT_VARIANT, static_cast<ULONG>(contextData.size()));
    for (std::size_t i = 0; i < contextData.size(); ++i) {
        data.putElement(static_cast<LONG>(i), &contextData[i].get());
    }
    ComPtr<IUCCConversationWindow> window;
    const HRESULT result = automationObject->StartConversation(static_cast<AutomationModalities>(modes), uris.get(),
                                                               types.get(), data.get(), &window);
    report.call("StartConversation(mode " + std::to_string(modes) + ")", Link::Call, result);
    return result;
}

void OfficeConnection::release()
{
    registry.stopWatching();
    for (auto& connection : advised) {
        connection.point->Unadvise(connection.cookie);
    }
    advised.clear();
    watched.clear();
    selfContact.Reset();
    subscription.Reset();
    contactManagerObject.Reset();
    automationObject.Reset();
    clientObject.Reset();
    integrationObject.Reset();
}

bool OfficeConnection::advise(IUnknown* source, const IID& events, EventSink::Handler handler,
                              const std::string& what)
{
    ComPtr<IConnectionPointContainer> container;
    HRESULT result = source->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(container.GetAddressOf()));
    if (!report.call("QueryInterface(IConnectionPointContainer) on " + what,
                     linkOfQueryInterface(result, IID_IConnectionPointContainer), result)) {
        return false;
    }
    Advised connection;
    result = container->FindConnectionPoint(events, &connection.point);
    if (!report.call("FindConnectionPoint on " + what, Link::Call, result, guidText(events))) {
        return false;
    }
    const auto sink = EventSink::create(events, std::move(handler));
    result = sink ? connection.point->Advise(sink.Get(), &connection.cookie) : E_OUTOFMEMORY;
    const Link link = result == CONNECT_E_CANNOTCONNECT || result == E_NOINTERFACE ? Link::Marshalling : Link::Call;
    if (!report.call("Advise on " + what, link, result, "cookie " + std::to_string(connection.cookie))) {
        return false;
    }
    advised.push_back(std::move(connection));
    return true;
}

Link OfficeConnection::linkOfQueryInterface(HRESULT result, const IID& iid) const
{
    if (SUCCEEDED(result)) {
        return Link::Call;
    }
    if (HRESULT_FACILITY(result) == FACILITY_RPC || result == REGDB_E_IIDNOTREG || !interfaceHasProxy(iid)) {
        return Link::Marshalling;
    }
    const HRESULT library = ProviderRegistry::loadRegisteredTypeLibraryOf(iid);
    if (FAILED(library) && !IsEqualIID(iid, IID_IConnectionPointContainer)) {
        report.note("the type library registered for " + guidText(iid) + " does not load: " +
                    HResultText::hex(library) + " " + HResultText::meaning(library));
        return Link::Marshalling;
    }
    return Link::Call;
}

void OfficeConnection::onIntegrationEvent(DISPID member, const DISPPARAMS&)
{
    report.event(member == 50 ? "OnShuttingDown" : "integration event", {{"dispid", std::to_string(member), true}});
}

void OfficeConnection::onClientEvent(DISPID member, const DISPPARAMS& parameters)
{
    if (member != 100) {
        report.event("client event", {{"dispid", std::to_string(member), true}});
        return;
    }
    // Dispatch arguments come last first: the event data, then the source.
    const auto data = objectArgument<IUCCClientStateChangedEventData>(parameters, 0);
    const auto source = objectArgument<IUCCLyncClient>(parameters, 1);
    ClientState oldState{};
    ClientState newState{};
    LONG status = -1;
    if (data) {
        data->get_OldState(&oldState);
        data->get_NewState(&newState);
        data->get_StatusCode(&status);
    }
    report.event("OnStateChanged", {{"old", std::to_string(oldState), true},
                                    {"new", std::to_string(newState), true},
                                    {"status", std::to_string(status), true},
                                    {"source", source ? "client" : "missing", false}});
}

void OfficeConnection::onContactEvent(const std::string& address, DISPID member, const DISPPARAMS& parameters)
{
    if (member != 400) {
        report.event("contact event", {{"contact", address, false}, {"dispid", std::to_string(member), true}});
        return;
    }
    const auto data = objectArgument<IUCCContactInformationChangedEventData>(parameters, 0);
    const auto source = objectArgument<IUCCContact>(parameters, 1);
    SafeArray changed;
    if (data) {
        SAFEARRAY* types = nullptr;
        if (SUCCEEDED(data->get_ChangedContactInformation(&types))) {
            changed = SafeArray::attach(types);
        }
    }
    std::vector<ConnectionReport::Field> fields{{"contact", address, false},
                                                {"changed", numbersOf(changed), true},
                                                {"source", source ? "contact" : "missing", false}};
    if (settings.rereadOnChange && source) {
        Variant availability;
        if (SUCCEEDED(source->GetContactInformation(ucPresenceAvailability, availability.out())) &&
            availability.type() == VT_I4) {
            fields.push_back({"availability", std::to_string(availability.get().lVal), true});
            fields.push_back({"name", availabilityName(availability.get().lVal), false});
        }
    }
    report.event("OnContactInformationChanged", std::move(fields));
}
