#include "tools/office/ProviderKeyLinks.h"

#include "registration/RegistryReader.h"
#include "registration/RegistryUtils.h"
#include "tools/office/RegistryMeaning.h"

#include <map>
#include <set>

using Utils::Registry::RegistryReader;

namespace {

const auto& kProviders = kProvidersKey;
const auto& kProvider = kProviderKey;

} // namespace

void ProviderKeyLinks::checkDefaultProvider(const OfficeBitness& office)
{
    const std::wstring ours(Utils::Registry::ProviderName);
    const std::string subject = "HKCU\\" + utf8(office.userProviders) + " DefaultIMApp";
    const auto value = RegistryReader(HKEY_CURRENT_USER, office.userView).text(office.userProviders, L"DefaultIMApp");
    // Office looks the default up as a key name, and key names ignore letter case.
    if (value.read() && RegistryMeaning::sameName(value.data, ours)) {
        report.ok("default-im-app", subject, office.name, "names this provider, " + quoted(ours));
        return;
    }
    const auto installedFor = [&value](const OfficeBitness& reader) {
        return value.read() && !value.data.empty() &&
               RegistryReader(HKEY_LOCAL_MACHINE, reader.view).exists(kProviders + L"\\" + value.data);
    };
    const OfficeBitness& other = kOfficeBitnesses[office.view == kOfficeBitnesses[0].view ? 1 : 0];
    DiagnosisReport::Problem problem;
    problem.scope = DiagnosisReport::Scope::CurrentUser;
    const bool here = installedFor(office);
    if (here || installedFor(other)) {
        // Another provider's choice, made by the user or by its installer: not the repair's to
        // undo, even where only an Office of the other bitness finds that provider.
        problem.what = here ? "names another installed provider, " + quoted(value.data)
                            : "names " + quoted(value.data) + ", another provider, installed only for a " +
                                  other.name + " Office";
        problem.why = here ? std::string("Office asks that program for presence, not Orvex")
                           : std::string("a ") + office.name + " Office finds no provider of that name, so presence "
                             "stays unknown and the chat and call buttons are grey";
        problem.fix = "turn off the Office integration of " + quoted(value.data) +
                      " (or uninstall it), restart Orvex so that it takes the setting back, then restart Outlook";
        report.problem("default-im-app", subject, office.name, std::move(problem));
        return;
    }
    problem.what = !value.read()        ? RegistryMeaning::absence(value, "text")
                   : value.data.empty() ? std::string("is empty")
                                        : "names " + quoted(value.data) + ", which is not installed (an uninstaller left it behind)";
    problem.why = "Office has no provider to ask, so presence stays unknown and the chat and call buttons are grey";
    problem.fix = "make " + quoted(ours) + " the default again (Orvex does it when its integration starts), then "
                  "restart Outlook";
    problem.changes.push_back(
        RegistryChange::text(HKEY_CURRENT_USER, office.userView, office.userProviders, L"DefaultIMApp", ours));
    report.problem("default-im-app", subject, office.name, std::move(problem));
}

void ProviderKeyLinks::listProviders()
{
    // Every provider that is or was registered, wherever it left a key: another program
    // that took over, or an uninstalled one whose keys remain.
    std::map<std::wstring, std::set<std::string>> places;
    for (const auto& office : kOfficeBitnesses) {
        for (const auto& name : RegistryReader(HKEY_CURRENT_USER, office.userView).subkeys(office.userProviders)) {
            places[name].insert("HKCU\\" + utf8(office.userProviders));
        }
        for (const auto& name : RegistryReader(HKEY_LOCAL_MACHINE, office.view).subkeys(kProviders)) {
            places[name].insert(std::string("HKLM ") + office.viewName);
        }
    }
    for (const auto& [name, where] : places) {
        const auto up = RegistryReader(HKEY_CURRENT_USER, KEY_WOW64_64KEY).number(kProviders + L"\\" + name, L"UpAndRunning");
        std::string what = "UpAndRunning " + (up.read() ? "= " + std::to_string(up.data) : RegistryMeaning::absence(up, "a number")) +
                           "; registered in";
        for (const auto& place : where) {
            what += " " + place + ";";
        }
        what.pop_back();
        report.note("providers", "IM Providers\\" + utf8(name), kBothBitnesses, what);
    }
}

void ProviderKeyLinks::checkProviderKey(const OfficeBitness& office)
{
    const std::string subject = "HKLM\\" + utf8(kProvider) + " (" + office.viewName + ")";
    const RegistryReader reader(HKEY_LOCAL_MACHINE, office.view);
    const std::wstring name(Utils::Registry::ProviderName);
    const std::wstring process(Utils::Registry::ProviderProcessName);
    const std::wstring classId = Utils::Registry::ProviderClsid();
    struct Expected {
        const wchar_t* value;
        const std::wstring& right;
        bool (*same)(const std::wstring&, const std::wstring&);
    };
    const Expected expected[] = {
        {L"FriendlyName", name, RegistryMeaning::sameName},
        // Office looks for a running process whose file name is this value: a path names none.
        {L"ProcessName", process, RegistryMeaning::sameName},
        {L"GUID", classId, [](const std::wstring& found, const std::wstring& right) {
             return RegistryMeaning::sameGuid(found, *RegistryMeaning::guid(right));
         }},
    };
    DiagnosisReport::Problem problem;
    for (const auto& [value, right, same] : expected) {
        const auto found = reader.text(kProvider, value);
        if (found.read() && same(found.data, right)) {
            continue;
        }
        problem.what += (problem.what.empty() ? "" : "; ") + utf8(value) + " " +
                        (found.read() ? "is " + quoted(found.data) : RegistryMeaning::absence(found, "text")) +
                        ", expected " + quoted(right);
        problem.changes.push_back(RegistryChange::text(HKEY_LOCAL_MACHINE, office.view, kProvider, value, right));
    }
    if (problem.changes.empty()) {
        report.ok("provider-key", subject, office.name, "FriendlyName, ProcessName and GUID are right");
        return;
    }
    if (!reader.exists(kProvider)) {
        problem.what = "is missing";
    }
    problem.why = std::string("a ") + office.name + " Office does not find the provider's process or class";
    problem.fix = kRegisterAgain;
    problem.scope = DiagnosisReport::Scope::Machine;
    report.problem("provider-key", subject, office.name, std::move(problem));
}
