#include "tools/office/TypeLibraryLinks.h"

#include "host/TextConversion.h"
#include "registration/RegistryReader.h"
#include "registration/RegistryUtils.h"
#include "tools/office/HResultText.h"
#include "tools/office/OfficeInterfaces.h"
#include "tools/office/RegistryMeaning.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <map>
#include <tuple>

using Microsoft::WRL::ComPtr;
using Utils::Registry::RegistryReader;

namespace {

const GUID& libraryId()
{
    static const GUID id = *RegistryMeaning::guid(Utils::Registry::TypeLibId());
    return id;
}

// The proxy/stub classes of interfaces described by a type library: the universal
// marshaller, which registration names, and IDispatch's, which Windows names for a
// dispinterface; it marshals IDispatch's members alone, so a dual interface's vtable calls
// fail through it.
constexpr GUID kUniversalMarshaller = {0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kDispatchMarshaller = {0x00020420, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::string rootName(HKEY root)
{
    return root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
}

} // namespace

// One platform value of the type library registration, and what is behind it.
struct TypeLibraryLinks::PathValue {
    HKEY root;
    const wchar_t* platform;
    RegistryReader::Value<std::wstring> value;
    std::string problem; // empty when the path loads as the provider's library
    bool present() const { return value.present(); }
    std::string subject() const { return rootName(root) + "\\" + utf8(platformPath(platform)); }
};

std::wstring TypeLibraryLinks::platformPath(const wchar_t* platform)
{
    return Utils::Registry::typeLibPath() + L"\\1.0\\0\\" + platform;
}

TypeLibraryLinks::TypeLibraryLinks(DiagnosisReport& into, std::wstring folder)
    : report(into), runningCopyFolder(std::move(folder))
{
}

std::string TypeLibraryLinks::problemWith(const std::wstring& file)
{
    if (RegistryMeaning::sameName(file, std::wstring(Utils::Registry::TypeLibDummyPath))) {
        return "holds the placeholder \"ORVEX_DUMMY\" that registration leaves in machine-wide keys";
    }
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return "names " + quoted(file) + ", which does not exist";
    }
    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library);
    TLIBATTR* attributes = nullptr;
    if (FAILED(loaded) || FAILED(library->GetLibAttr(&attributes))) {
        return "names " + quoted(file) + ", which LoadTypeLib cannot load: " + HResultText::hex(loaded) + " " +
               HResultText::meaning(loaded);
    }
    std::string problem;
    if (!IsEqualGUID(attributes->guid, libraryId()) || attributes->wMajorVerNum != 1 || attributes->wMinorVerNum != 0) {
        problem = "names " + quoted(file) + ", whose type library is " + utf8(Utils::Registry::GuidText(attributes->guid)) +
                  " version " + std::to_string(attributes->wMajorVerNum) + "." +
                  std::to_string(attributes->wMinorVerNum) + ", not the provider's " +
                  utf8(Utils::Registry::TypeLibId()) + " version 1.0";
    }
    library->ReleaseTLibAttr(attributes);
    return problem;
}

TypeLibraryLinks::PathValue TypeLibraryLinks::inspect(HKEY root, const wchar_t* platform) const
{
    PathValue path{root, platform, RegistryReader(root).text(platformPath(platform), nullptr), {}};
    if (path.value.outcome == RegistryReader::Outcome::WrongType) {
        path.problem = RegistryMeaning::absence(path.value, "text (a path)");
    } else if (path.value.read()) {
        path.problem = problemWith(path.value.data);
    }
    return path;
}

std::optional<std::wstring> TypeLibraryLinks::goodLibraryFile(const std::wstring& folder)
{
    const std::wstring fileName = TextConversion::toWide(Utils::Registry::IntegrationDllName);
    std::vector<std::wstring> candidates;
    if (!folder.empty()) {
        candidates.push_back(folder + L"\\" + fileName);
    }
    for (const wchar_t* platform : {L"win32", L"win64"}) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (const auto value = RegistryReader(root).text(platformPath(platform), nullptr); value.read()) {
                candidates.push_back(value.data);
            }
        }
    }
    // The doctor ships beside the library.
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring own(self, length);
    candidates.push_back(own.substr(0, own.find_last_of(L"\\/") + 1) + fileName);
    for (const auto& candidate : candidates) {
        if (problemWith(candidate).empty()) {
            return candidate;
        }
    }
    return std::nullopt;
}

void TypeLibraryLinks::checkTypeLibrary(const OfficeBitness& office)
{
    // The loader takes its own platform's path, per user first, then machine-wide; a
    // platform registered nowhere falls back to the other one.
    const auto user = inspect(HKEY_CURRENT_USER, office.platform);
    const auto machine = inspect(HKEY_LOCAL_MACHINE, office.platform);
    for (const auto* path : {&user, &machine}) {
        if (!path->present()) {
            report.note("type-library", path->subject(), office.name, "not registered");
        } else if (path->problem.empty()) {
            report.ok("type-library", path->subject(), office.name,
                      quoted(path->value.data) + " loads: the provider's library, 1.0");
        } else if (path == &machine && user.present()) {
            report.note("type-library", path->subject(), office.name,
                        path->problem + "; the per-user path above wins over it");
        }
    }
    if (user.present() || machine.present()) {
        reportWinner(office, user.present() ? user : machine);
        return;
    }
    const wchar_t* other = std::wstring(office.platform) == L"win64" ? L"win32" : L"win64";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (const auto fallback = inspect(root, other); fallback.present()) {
            report.note("type-library", fallback.subject(), office.name,
                        std::string("no ") + utf8(office.platform) + " path anywhere: the loader falls back to this one");
            reportWinner(office, fallback);
            return;
        }
    }
    reportWinner(office, user);
}

void TypeLibraryLinks::reportWinner(const OfficeBitness& office, const PathValue& winner)
{
    if (winner.present() && winner.problem.empty()) {
        return;
    }
    const std::string who = std::string("a ") + office.name + " Office cannot load the provider's type library, so it "
                            "cannot marshal any of its interfaces and presence stays unknown";
    const bool perUser = winner.present() && winner.root == HKEY_CURRENT_USER;
    // The messenger writes the per-user win32 path at every start, so a 32-bit Office is
    // mended per user; a 64-bit one where its winning path lives, machine-wide when none does.
    const bool win32 = std::wstring(office.platform) == L"win32";
    const HKEY target = perUser || win32 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    DiagnosisReport::Problem problem;
    problem.what = !winner.present() ? "is registered nowhere, for neither platform"
                   : winner.root == HKEY_LOCAL_MACHINE && !winner.problem.empty()
                       ? winner.problem + " and no per-user path overrides it"
                       : winner.problem;
    problem.why = perUser ? "per-user paths win over machine-wide ones: " + who : who;
    problem.scope =
        target == HKEY_CURRENT_USER ? DiagnosisReport::Scope::CurrentUser : DiagnosisReport::Scope::Machine;
    const auto file = goodLibraryFile(runningCopyFolder);
    const std::wstring targetPath = platformPath(winner.present() ? winner.platform : office.platform);
    if (file) {
        problem.changes.push_back(RegistryChange::text(target, 0, targetPath, L"", *file));
    }
    const std::string where = rootName(target) + "\\" + utf8(targetPath);
    problem.fix = !file ? std::string("reinstall Orvex: no copy of its library was found to point the path at")
                  : target == HKEY_CURRENT_USER
                      ? "point " + where + " at " + quoted(*file) + (win32 ? " (Orvex also writes it when it starts)" : "")
                      : "point " + where + " at " + quoted(*file) + ", or " + kRegisterAgain;
    report.problem("type-library", winner.present() ? winner.subject() : where, office.name, std::move(problem));
}

void TypeLibraryLinks::checkInterfaces(const OfficeBitness& office)
{
    // HKCR reads a key per user first, then machine-wide; each is judged where it wins.
    struct Wrong {
        std::string found;
        std::vector<RegistryChange> changes;
        bool library = false; // the library or its version
        bool proxy = false;
    };
    std::map<HKEY, Wrong> wrong;
    std::string missing;
    std::vector<RegistryChange> recreate;
    const std::wstring libraryText = Utils::Registry::TypeLibId();
    const std::wstring marshallerText = Utils::Registry::GuidText(kUniversalMarshaller);
    const auto winningRoot = [&office](const std::wstring& path) {
        return RegistryReader(HKEY_CURRENT_USER, office.view).exists(path) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    };
    const auto note = [&wrong](HKEY root, const char* name, const std::string& what) -> Wrong& {
        Wrong& entry = wrong[root];
        entry.found += std::string(entry.found.empty() ? "" : ", ") + name + " (" + what + ")";
        return entry;
    };
    for (const auto& item : kOfficeInterfaces) {
        const std::wstring key = L"SOFTWARE\\Classes\\Interface\\" + Utils::Registry::GuidText(item.iid);
        const std::wstring path = key + L"\\TypeLib";
        const std::wstring proxyPath = key + L"\\ProxyStubClsid32";
        const HKEY root = winningRoot(path);
        const RegistryReader reader(root, office.view);
        if (!reader.exists(path)) {
            // Made again as the library's registration makes it: its name, marshaller and library.
            missing += std::string(missing.empty() ? "" : ", ") + item.name;
            for (const auto& [at, name, data] :
                 {std::tuple{key, L"", TextConversion::toWide(item.name)}, std::tuple{proxyPath, L"", marshallerText},
                  std::tuple{path, L"", libraryText}, std::tuple{path, L"Version", std::wstring(L"1.0")}}) {
                recreate.push_back(RegistryChange::text(HKEY_LOCAL_MACHINE, office.view, at, name, data));
            }
            continue;
        }
        const auto library = reader.text(path, nullptr);
        const auto version = reader.text(path, L"Version");
        const bool libraryRight = library.read() && RegistryMeaning::sameBracedGuid(library.data, libraryId());
        const bool versionRight = version.read() && RegistryMeaning::isVersion(version.data, 1, 0);
        if (!libraryRight || !versionRight) {
            Wrong& entry = note(root, item.name,
                                "library " + (library.read() ? utf8(library.data) : RegistryMeaning::absence(library, "text")) +
                                    ", version " +
                                    (version.read() ? quoted(version.data) : RegistryMeaning::absence(version, "text")));
            entry.library = true;
            if (!libraryRight) {
                entry.changes.push_back(RegistryChange::text(root, office.view, path, L"", libraryText));
            }
            if (!versionRight) {
                entry.changes.push_back(RegistryChange::text(root, office.view, path, L"Version", L"1.0"));
            }
        }
        // COM builds the interface's proxy with the class this names.
        const HKEY proxyRoot = winningRoot(proxyPath);
        const auto proxy = RegistryReader(proxyRoot, office.view).text(proxyPath, nullptr);
        if (!proxy.read() || (!RegistryMeaning::sameBracedGuid(proxy.data, kUniversalMarshaller) &&
                              !(item.dispinterface && RegistryMeaning::sameBracedGuid(proxy.data, kDispatchMarshaller)))) {
            Wrong& entry = note(proxyRoot, item.name,
                                "ProxyStubClsid32 " + (proxy.read() ? utf8(proxy.data) : RegistryMeaning::absence(proxy, "text")));
            entry.proxy = true;
            entry.changes.push_back(RegistryChange::text(proxyRoot, office.view, proxyPath, L"", marshallerText));
        }
    }
    const std::string subject = std::string("SOFTWARE\\Classes\\Interface\\{IID} (") + office.viewName + ")";
    const std::string why = std::string("a ") + office.name + " Office cannot marshal these interfaces, so presence "
                            "stays unknown or the chat and call commands fail";
    if (!missing.empty()) {
        report.problem("interfaces", "HKCU and HKLM\\" + subject, office.name,
                       {"no interface key: " + missing, why + " (another provider that shares them was uninstalled)",
                        kRegisterAgain, DiagnosisReport::Scope::Machine, std::move(recreate)});
    }
    for (auto& [root, found] : wrong) {
        const bool perUser = root == HKEY_CURRENT_USER;
        const std::string library = "the provider's type library " + utf8(libraryText) + " version 1.0";
        const std::string marshaller = "the universal marshaller " + utf8(marshallerText);
        const std::string needed = found.library && found.proxy ? library + " and " + marshaller
                                   : found.library             ? library
                                                               : marshaller;
        report.problem("interfaces", rootName(root) + "\\" + subject, office.name,
                       {"not registered for " + needed + ": " + found.found,
                        perUser ? "per-user keys win over machine-wide ones: " + why : why,
                        "point them at " + needed + (perUser ? std::string() : ", or " + kRegisterAgain),
                        perUser ? DiagnosisReport::Scope::CurrentUser : DiagnosisReport::Scope::Machine,
                        std::move(found.changes)});
    }
    if (missing.empty() && wrong.empty()) {
        report.ok("interfaces", "HKCU and HKLM\\" + subject, office.name,
                  "all " + std::to_string(kOfficeInterfaces.size()) +
                      " interfaces Office uses name the provider's type library, version 1.0, and a system marshaller");
    }
}
