#include "tools/office/InstallationDoctor.h"

#include "host/TextConversion.h"
#include "registration/RegistryUtils.h"
#include "tools/office/HResultText.h"
#include "tools/office/ProxyProbe.h"
#include "tools/office/RunningProcesses.h"

#include "OfficeIntegrationLib.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kProviderName[] = L"Talvo Orvex";
constexpr wchar_t kTypeLibraryId[] = L"{9D5662DE-96CC-471F-94F0-E00E05457627}";
constexpr GUID kTypeLibrary = {0x9d5662de, 0x96cc, 0x471f, {0x94, 0xf0, 0xe0, 0x0e, 0x05, 0x45, 0x76, 0x27}};
constexpr wchar_t kLibraryFile[] = L"orvex-windows-office-integration.dll";

// The interfaces Office marshals when it shows presence and starts conversations.
struct OfficeInterface {
    const char* name;
    IID iid;
};
const std::array kOfficeInterfaces{
    OfficeInterface{"IUCOfficeIntegration", __uuidof(IUCOfficeIntegration)},
    OfficeInterface{"_IUCOfficeIntegrationEvents", __uuidof(_IUCOfficeIntegrationEvents)},
    OfficeInterface{"IUCCLyncClient", __uuidof(IUCCLyncClient)},
    OfficeInterface{"_IUCCLyncClientEvents", __uuidof(_IUCCLyncClientEvents)},
    OfficeInterface{"IUCCClientStateChangedEventData", __uuidof(IUCCClientStateChangedEventData)},
    OfficeInterface{"IUCCSelf", __uuidof(IUCCSelf)},
    OfficeInterface{"IUCCContactManager", __uuidof(IUCCContactManager)},
    OfficeInterface{"IUCCContact", __uuidof(IUCCContact)},
    OfficeInterface{"_IUCCContactEvents", __uuidof(_IUCCContactEvents)},
    OfficeInterface{"IUCCContactInformationChangedEventData", __uuidof(IUCCContactInformationChangedEventData)},
    OfficeInterface{"IUCCContactSubscription", __uuidof(IUCCContactSubscription)},
    OfficeInterface{"IUCCAutomation", __uuidof(IUCCAutomation)},
};

std::string utf8(const std::wstring& text)
{
    return TextConversion::toUtf8(text);
}

std::wstring guidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// A registry key opened for reading in one registry view, closed on every path.
class ReadKey {
public:
    ReadKey(HKEY root, const std::wstring& path, REGSAM view = 0)
        : opened(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS)
    {
    }
    ~ReadKey()
    {
        if (opened) {
            RegCloseKey(key);
        }
    }
    ReadKey(const ReadKey&) = delete;
    ReadKey& operator=(const ReadKey&) = delete;

    explicit operator bool() const { return opened; }

    // The REG_SZ value, or nothing when it is missing or of another type.
    std::optional<std::wstring> text(const wchar_t* name) const
    {
        DWORD type = 0;
        DWORD size = 0;
        if (!opened || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::nullopt;
        }
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.resize(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
        return value;
    }

    std::optional<DWORD> number(const wchar_t* name) const
    {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (!opened || RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                           ERROR_SUCCESS ||
            type != REG_DWORD) {
            return std::nullopt;
        }
        return value;
    }

    std::vector<std::wstring> subkeys() const
    {
        std::vector<std::wstring> names;
        wchar_t name[256];
        for (DWORD index = 0; opened; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    HKEY key = nullptr;
    bool opened;
};

// The two per-user provider paths. Windows shares HKCU "Software" between the views, but
// Wine sends a 32-bit process's plain path to the WOW6432Node key: the plain path is read
// in the 64-bit view so that, there too, it names the key a 64-bit Office reads.
struct UserPath {
    const wchar_t* path;
    REGSAM view;
};
constexpr std::array kUserProviderPaths{UserPath{L"Software\\IM Providers", KEY_WOW64_64KEY},
                                        UserPath{L"Software\\WOW6432Node\\IM Providers", 0}};

struct View {
    REGSAM flag;
    const char* name;
    const char* office; // which Office reads this view
};
constexpr std::array kViews{View{KEY_WOW64_64KEY, "64-bit view", "a 64-bit Office"},
                            View{KEY_WOW64_32KEY, "32-bit view, WOW6432Node", "a 32-bit Office"}};

std::string rootName(HKEY root)
{
    return root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
}

std::string quoted(const std::wstring& text)
{
    return "\"" + utf8(text) + "\"";
}

// One platform value of the type library registration, and what is behind it.
struct TypeLibraryPath {
    HKEY root;
    const wchar_t* platform;
    std::optional<std::wstring> value;
    std::string problem; // empty when the path loads as the provider's library
    std::string subject() const
    {
        return rootName(root) + "\\SOFTWARE\\Classes\\TypeLib\\" + utf8(kTypeLibraryId) + "\\1.0\\0\\" + utf8(platform);
    }
};

TypeLibraryPath inspectTypeLibrary(HKEY root, const wchar_t* platform)
{
    TypeLibraryPath path{root, platform, std::nullopt, {}};
    path.value = ReadKey(root, std::wstring(L"SOFTWARE\\Classes\\TypeLib\\") + kTypeLibraryId + L"\\1.0\\0\\" + platform)
                     .text(nullptr);
    if (!path.value) {
        return path;
    }
    if (*path.value == Utils::Registry::TypeLibDummyPath) {
        path.problem = "holds the placeholder \"ORVEX_DUMMY\" that registration leaves in machine-wide keys";
    } else if (GetFileAttributesW(path.value->c_str()) == INVALID_FILE_ATTRIBUTES) {
        path.problem = "names " + quoted(*path.value) + ", which does not exist";
    } else {
        ComPtr<ITypeLib> library;
        const HRESULT loaded = LoadTypeLibEx(path.value->c_str(), REGKIND_NONE, &library);
        TLIBATTR* attributes = nullptr;
        if (FAILED(loaded) || FAILED(library->GetLibAttr(&attributes))) {
            path.problem = "names " + quoted(*path.value) + ", which LoadTypeLib cannot load: " +
                           HResultText::hex(loaded) + " " + HResultText::meaning(loaded);
        } else {
            if (!IsEqualGUID(attributes->guid, kTypeLibrary) || attributes->wMajorVerNum != 1 ||
                attributes->wMinorVerNum != 0) {
                path.problem = "names " + quoted(*path.value) + ", whose type library is " +
                               utf8(guidText(attributes->guid)) + " version " +
                               std::to_string(attributes->wMajorVerNum) + "." +
                               std::to_string(attributes->wMinorVerNum) + ", not the provider's " +
                               utf8(kTypeLibraryId) + " version 1.0";
            }
            library->ReleaseTLibAttr(attributes);
        }
    }
    return path;
}

const std::string kRegisterAgain = "register the library again from the messenger's folder: regsvr32 " +
                                   utf8(kLibraryFile);

} // namespace

DiagnosisReport InstallationDoctor::diagnose()
{
    report = {};
    checkDefaultProvider();
    listProviders();
    checkProviderKeys();
    checkTypeLibrary();
    checkInterfaceKeys();
    checkProcess();
    checkClassObject();
    checkMarshalling();
    return report;
}

void InstallationDoctor::checkDefaultProvider()
{
    for (const auto& [path, view] : kUserProviderPaths) {
        const std::string subject = "HKCU\\" + utf8(path) + " DefaultIMApp";
        const auto value = ReadKey(HKEY_CURRENT_USER, path, view).text(L"DefaultIMApp");
        if (value == kProviderName) {
            report.ok("default-im-app", subject, "names this provider, \"Talvo Orvex\"");
        } else if (!value || value->empty()) {
            report.fault("default-im-app", subject,
                         "is empty: Office has no instant-messaging provider, so presence stays unknown and the "
                         "chat and call buttons are grey",
                         "start Orvex with its Office integration on (it sets the value when the integration "
                         "starts), then restart Outlook");
        } else {
            report.fault("default-im-app", subject,
                         "names another provider, " + quoted(*value) +
                             ": Office asks that program for presence, not Orvex",
                         "turn off the Office integration of " + quoted(*value) +
                             " (or uninstall it), restart Orvex so that it takes the setting back, then "
                             "restart Outlook");
        }
    }
}

void InstallationDoctor::listProviders()
{
    // Every provider that is or was registered, wherever it left a key: another program
    // that took over, or an uninstalled one whose keys remain.
    std::map<std::wstring, std::set<std::string>> places;
    for (const auto& [path, view] : kUserProviderPaths) {
        for (const auto& name : ReadKey(HKEY_CURRENT_USER, path, view).subkeys()) {
            places[name].insert("HKCU\\" + utf8(path));
        }
    }
    for (const auto& view : kViews) {
        for (const auto& name : ReadKey(HKEY_LOCAL_MACHINE, L"Software\\IM Providers", view.flag).subkeys()) {
            places[name].insert(std::string("HKLM ") + view.name);
        }
    }
    for (const auto& [name, where] : places) {
        const auto up = ReadKey(HKEY_CURRENT_USER, L"Software\\IM Providers\\" + name).number(L"UpAndRunning");
        std::string what = "UpAndRunning = " + (up ? std::to_string(*up) : std::string("(none)")) + "; registered in";
        for (const auto& place : where) {
            what += " " + place + ";";
        }
        what.pop_back();
        report.note("providers", "IM Providers\\" + utf8(name), what);
    }
}

void InstallationDoctor::checkProviderKeys()
{
    const std::wstring path = std::wstring(L"Software\\IM Providers\\") + kProviderName;
    const std::array<std::pair<const wchar_t*, std::wstring>, 3> expected{
        std::pair{L"FriendlyName", std::wstring(kProviderName)}, std::pair{L"ProcessName", processName},
        std::pair{L"GUID", classId}};
    for (const auto& view : kViews) {
        const std::string subject = "HKLM\\" + utf8(path) + " (" + view.name + ")";
        const ReadKey key(HKEY_LOCAL_MACHINE, path, view.flag);
        if (!key) {
            report.fault("provider-key", subject,
                         std::string("is missing: ") + view.office + " does not know the provider",
                         kRegisterAgain + " (as an administrator: the key is machine-wide)");
            continue;
        }
        std::string wrong;
        for (const auto& [name, value] : expected) {
            const auto found = key.text(name);
            if (found != value) {
                wrong += (wrong.empty() ? "" : "; ") + utf8(name) + " is " +
                         (found ? quoted(*found) : std::string("missing")) + ", expected " + quoted(value);
            }
        }
        if (wrong.empty()) {
            report.ok("provider-key", subject, "FriendlyName, ProcessName and GUID are right");
        } else {
            report.fault("provider-key", subject, wrong,
                         kRegisterAgain + " (as an administrator: the key is machine-wide)");
        }
    }
}

void InstallationDoctor::checkTypeLibrary()
{
    // A process looks for its own platform's path, per user first, then machine-wide; a
    // platform registered nowhere falls back to the other one.
    std::vector<TypeLibraryPath> effective;
    for (const wchar_t* platform : {L"win32", L"win64"}) {
        const auto user = inspectTypeLibrary(HKEY_CURRENT_USER, platform);
        const auto machine = inspectTypeLibrary(HKEY_LOCAL_MACHINE, platform);
        for (const auto* path : {&user, &machine}) {
            if (!path->value) {
                report.note("type-library", path->subject(), "not registered");
            } else if (path->problem.empty()) {
                report.ok("type-library", path->subject(), quoted(*path->value) + " loads: the provider's library, 1.0");
            } else if (path == &machine && user.value) {
                report.note("type-library", path->subject(), path->problem + "; the per-user path above is used instead");
            }
        }
        effective.push_back(user.value ? user : machine);
    }
    if (!effective[0].value && !effective[1].value) {
        report.fault("type-library", "HKCU and HKLM\\SOFTWARE\\Classes\\TypeLib\\" + utf8(kTypeLibraryId),
                     "the type library is registered nowhere: Office cannot marshal any of the provider's "
                     "interfaces, so presence stays unknown",
                     "start Orvex once (it writes the per-user type library keys), or " + kRegisterAgain);
        return;
    }
    for (const auto& path : effective) {
        if (!path.value || path.problem.empty()) {
            continue;
        }
        const bool win64 = std::wstring(path.platform) == L"win64";
        const std::string who = win64 ? "a 64-bit Office" : "a 32-bit Office";
        const bool masked = *path.value == Utils::Registry::TypeLibDummyPath;
        report.fault("type-library", path.subject(),
                     path.problem + (masked ? " and no per-user path overrides it" : "") + ": " + who +
                         " cannot load the provider's type library",
                     masked && !win64
                         ? "start Orvex once: it writes the per-user path that overrides the placeholder"
                         : "register the type library for this platform machine-wide, as an administrator: "
                           "OfficeStandIn.exe --register-typelib \"<messenger folder>\\" +
                               utf8(kLibraryFile) + "\"");
    }
}

void InstallationDoctor::checkInterfaceKeys()
{
    std::string missing;
    std::string foreign;
    for (const auto& item : kOfficeInterfaces) {
        const std::wstring iid = guidText(item.iid);
        bool right = false;
        std::optional<std::wstring> other;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const wchar_t* base : {L"SOFTWARE\\Classes\\Interface\\", L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\"}) {
                const auto library = ReadKey(root, base + iid + L"\\TypeLib").text(nullptr);
                right = right || library == kTypeLibraryId;
                if (library && *library != kTypeLibraryId) {
                    other = library;
                }
            }
        }
        if (right) {
            continue;
        }
        if (other) {
            foreign += std::string(foreign.empty() ? "" : ", ") + item.name + " (points at " + utf8(*other) + ")";
        } else {
            missing += std::string(missing.empty() ? "" : ", ") + item.name;
        }
    }
    const std::string subject = "SOFTWARE\\Classes\\Interface\\{IID}\\TypeLib, HKCU and HKLM, both views";
    if (missing.empty() && foreign.empty()) {
        report.ok("interfaces", subject,
                  "all " + std::to_string(kOfficeInterfaces.size()) +
                      " interfaces Office uses point at the provider's type library");
        return;
    }
    std::string what;
    if (!missing.empty()) {
        what = "no interface key: " + missing;
    }
    if (!foreign.empty()) {
        what += (what.empty() ? "" : "; ") + std::string("another type library: ") + foreign;
    }
    report.fault("interfaces", subject,
                 what + ". Office cannot marshal these interfaces (this happens when another provider that "
                        "shares them is uninstalled)",
                 kRegisterAgain + " (as an administrator: the keys are machine-wide)");
}

void InstallationDoctor::checkProcess()
{
    const auto key = ReadKey(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\IM Providers\\") + kProviderName);
    if (const auto name = key.text(L"ProcessName"); name && !name->empty()) {
        processName = *name;
    }
    if (const auto guid = key.text(L"GUID"); guid && !guid->empty()) {
        classId = *guid;
    }
    const int running = RunningProcesses::count(processName);
    processRunning = running > 0;
    if (processRunning) {
        report.ok("process", utf8(processName), "running (" + std::to_string(running) + ")");
    } else {
        report.fault("process", utf8(processName),
                     "is not running: Office talks only to a provider whose process runs",
                     "start Orvex and sign in; Outlook shows presence once it sees the provider up");
    }
}

void InstallationDoctor::checkClassObject()
{
    const std::string subject = "class object " + utf8(classId);
    if (!processRunning) {
        report.skipped("class-object", subject, "the provider's process is not running");
        return;
    }
    const auto up = ReadKey(HKEY_CURRENT_USER, std::wstring(L"Software\\IM Providers\\") + kProviderName)
                        .number(L"UpAndRunning");
    const std::string state = "UpAndRunning = " + (up ? std::to_string(*up) : std::string("(none)"));
    CLSID clsid{};
    ComPtr<IClassFactory> factory;
    ComPtr<IUnknown> object;
    HRESULT result = CLSIDFromString(classId.c_str(), &clsid);
    if (SUCCEEDED(result)) {
        result = CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()));
    }
    if (SUCCEEDED(result)) {
        result = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf()));
    }
    if (FAILED(result)) {
        report.fault("class-object", subject,
                     "cannot be reached (" + HResultText::hex(result) + ", " + state + "): " + utf8(processName) +
                         " runs but has not started its Office integration",
                     "turn on the Office integration in Orvex, or restart Orvex; then restart Outlook, which "
                     "gives up on a provider it could not reach");
        return;
    }
    integration = object;
    if (up != 2u) {
        report.fault("class-object", subject,
                     "answers, but " + state + ": Office waits for 2 before it asks for presence",
                     "restart Orvex so that its integration announces itself again");
        return;
    }
    report.ok("class-object", subject, "registered and creates the integration object; " + state);
}

void InstallationDoctor::checkMarshalling()
{
    const std::string subject = "proxies of the interfaces Office uses";
    if (report.hasFault("type-library") || report.hasFault("interfaces")) {
        report.skipped("marshalling", subject, "the type library or interface registration above is broken");
        return;
    }
    std::string failed;
    if (integration) {
        ComPtr<IUCOfficeIntegration> proxy;
        const HRESULT result = integration.As(&proxy);
        if (FAILED(result)) {
            failed = "the integration object as IUCOfficeIntegration " + HResultText::hex(result) + " " +
                     HResultText::meaning(result);
        }
    }
    for (const auto& item : kOfficeInterfaces) {
        const HRESULT result = ProxyProbe::buildProxy(item.iid);
        if (FAILED(result)) {
            failed += std::string(failed.empty() ? "" : "; ") + item.name + " " + HResultText::hex(result) + " " +
                      HResultText::meaning(result);
        }
    }
    if (failed.empty()) {
        report.ok("marshalling", subject, "a proxy and a stub can be built for each of them");
    } else {
        report.fault("marshalling", subject, "no proxy: " + failed, kRegisterAgain);
    }
}
