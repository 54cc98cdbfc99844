// The installation doctor against a private prefix broken on purpose, one way at a time, in
// the ways installations really break (installers and uninstallers of other providers,
// roaming profiles, hand edits, two bitnesses): it must name exactly the broken link, for
// the right Office, with a fix in the scope where the winning value lives; --repair must
// then leave the installation clean or say why it cannot, and an Office then connects.
#include "tests/support/RawRegistry.h"
#include "tests/tools/EndToEndTest.h"

#include "registration/RegistryUtils.h"
#include "tools/office/InstallationDoctor.h"
#include "tools/office/InstallationRepair.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <tuple>

namespace {

using Utils::Registry::GuidText;

// Windows keeps one type library key for both views; Wine keeps a per-user one for each,
// and the doctor, running in this process, reads its own: the type library breaks go there
// (no view named).
const std::wstring kTypeLibrary = L"SOFTWARE\\Classes\\TypeLib\\" + Utils::Registry::TypeLibId() + L"\\1.0\\0\\";
const std::wstring kContactKey = L"SOFTWARE\\Classes\\Interface\\" + GuidText(__uuidof(IUCCContact));
const std::wstring kContactInterface = kContactKey + L"\\TypeLib";
const std::wstring kEventsKey = L"SOFTWARE\\Classes\\Interface\\" + GuidText(DIID__IUCCContactEvents);
// The proxy/stub classes registration names: the universal marshaller for every interface
// under Wine, IDispatch's for a dispinterface under Windows.
const std::wstring kUniversalMarshaller = L"{00020424-0000-0000-C000-000000000046}";
const std::wstring kDispatchMarshaller = L"{00020420-0000-0000-C000-000000000046}";
const std::wstring kProviders = L"Software\\IM Providers";
const std::wstring kProvider = kProviders + L"\\Talvo Orvex";

// Each break names the registry view it hits: the plain path of a 32-bit process is the
// WOW6432Node one under Wine, and the cases describe one Office's key, whichever doctor reads it.
constexpr REGSAM k64 = KEY_WOW64_64KEY;
using RawRegistry::removeTree;
using RawRegistry::writeNumber;
using RawRegistry::writeText;

// A problem as the report names it: link, Office bitness, and the scope of its fix.
using Named = std::tuple<std::string, std::string, std::string>;

// The problems a report names, and the description of the first.
std::pair<std::set<Named>, std::string> problemsOf(const DiagnosisReport& report)
{
    std::pair<std::set<Named>, std::string> problems;
    for (const auto& finding : report.findings()) {
        if (finding.status == DiagnosisReport::Status::Fault) {
            if (problems.first.empty()) {
                problems.second = finding.detail.what;
            }
            problems.first.insert({finding.check, finding.office, DiagnosisReport::scopeName(finding.detail.scope)});
        }
    }
    return problems;
}

class DiagnosisTest;
// What a case does to the installation, or to undo that.
using Step = std::function<void(DiagnosisTest&)>;

// One way an installation breaks, and what the doctor and its repair must make of it.
struct Broken {
    const char* name;
    Step breakIt;
    std::set<Named> faults = {};      // exactly these, and nothing anywhere else
    std::string what = {};            // in the first one's description
    bool machine = false;             // the repair needs --machine (and says so without it)
    std::set<Named> afterRepair = {}; // what the repair must leave, saying why
    Step restore = [](DiagnosisTest&) {};
};

class DiagnosisTest : public EndToEndTest {
public:
    void stopHost() { ASSERT_TRUE(host->stop()); }
    void startAgain() { host = startHost(); }
    // Suspends or resumes the messenger stand-in whole: a messenger that hangs.
    void freezeHost(bool frozen)
    {
        using Control = LONG(WINAPI*)(HANDLE);
        const auto control = reinterpret_cast<Control>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), frozen ? "NtSuspendProcess" : "NtResumeProcess")));
        const HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, host->id());
        const LONG status = control(process);
        CloseHandle(process);
        ASSERT_EQ(status, 0) << (frozen ? "suspending" : "resuming") << " the messenger stand-in";
    }
    void integration(const char* verb) { command(verb, std::string("host: integration ") + verb + (verb[2] == 'o' ? "ped" : "ed")); }
};

class BrokenInstallation : public DiagnosisTest, public ::testing::WithParamInterface<Broken> {};

// The type library of OLE Automation, at the same path in the prefix of either build.
const std::wstring kOtherLibrary = L"C:\\windows\\system32\\stdole2.tlb";
const Named kUser64{"default-im-app", "64-bit", "HKCU"};
const Named kNotRunning{"process", "both", ""};
const auto kStart = [](DiagnosisTest& test) { test.startAgain(); };
// The 32-bit build registers the win32 path alone, so that a 64-bit Office falls back to it.
#if defined(_WIN64)
const std::set<Named> kPerUserWin32{{"type-library", "32-bit", "HKCU"}};
#else
const std::set<Named> kPerUserWin32{{"type-library", "32-bit", "HKCU"}, {"type-library", "64-bit", "HKCU"}};
#endif

// Steps of a case that write or remove one registry value or key, in a view or none.
Step sets(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, REGSAM view = 0)
{
    return [=](DiagnosisTest&) { writeText(root, path, name, text, view); };
}
Step removes(HKEY root, const std::wstring& path, REGSAM view = 0)
{
    return [=](DiagnosisTest&) { removeTree(root, path, view); };
}
Step defaultIs(const std::wstring& text) { return sets(HKEY_CURRENT_USER, kProviders, L"DefaultIMApp", text, k64); }

// Another provider, installed in the registry view `view`, made the 64-bit Office's
// default, as its installer does; and undone.
Step otherProviderIsDefault(REGSAM view)
{
    return [view](DiagnosisTest& test) {
        sets(HKEY_LOCAL_MACHINE, kProviders + L"\\Other Messenger", L"GUID", GuidText(IID_IUnknown), view)(test);
        defaultIs(L"Other Messenger")(test);
    };
}
Step orvexIsDefaultAgain(REGSAM view)
{
    return [view](DiagnosisTest& test) {
        defaultIs(L"Talvo Orvex")(test);
        removes(HKEY_LOCAL_MACHINE, kProviders + L"\\Other Messenger", view)(test);
    };
}

const Broken kInstallations[] = {
    {"nothing: a healthy installation", [](DiagnosisTest&) {}, {}, ""},
    {"an uninstaller emptied DefaultIMApp", defaultIs(L""), {kUser64}, "is empty"},
    {"DefaultIMApp names a provider since uninstalled", defaultIs(L"Old Messenger"), {kUser64},
     "\"Old Messenger\", which is not installed"},
    {"DefaultIMApp written as a number by a script",
     [](DiagnosisTest&) { writeNumber(HKEY_CURRENT_USER, kProviders, L"DefaultIMApp", 1, k64); }, {kUser64},
     "is a number, not text"},
    {"the 32-bit Office's DefaultIMApp removed by a roaming profile",
     [](DiagnosisTest&) { RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\WOW6432Node\\IM Providers", L"DefaultIMApp"); },
     {{"default-im-app", "32-bit", "HKCU"}}, "is missing"},
    {"another installed provider took DefaultIMApp", otherProviderIsDefault(k64), {kUser64},
     "another installed provider, \"Other Messenger\"", false, {kUser64}, orvexIsDefaultAgain(k64)},
    {"a provider installed only for a 32-bit Office is the 64-bit Office's default",
     otherProviderIsDefault(KEY_WOW64_32KEY), {kUser64},
     "\"Other Messenger\", another provider, installed only for a 32-bit Office", false, {kUser64},
     orvexIsDefaultAgain(KEY_WOW64_32KEY)},
    {"DefaultIMApp retyped in another letter case (fine)", defaultIs(L"TALVO orvex"), {}, ""},
    {"the provider key's GUID in lower case without braces (fine)",
     sets(HKEY_LOCAL_MACHINE, kProvider, L"GUID", L"ef7df969-ce84-41fd-ae70-4f563c30be2f", k64), {}, "", false, {},
     sets(HKEY_LOCAL_MACHINE, kProvider, L"GUID", Utils::Registry::ProviderClsid(), k64)},
    {"the provider key's GUID changed by another installer",
     sets(HKEY_LOCAL_MACHINE, kProvider, L"GUID", GuidText(IID_IUnknown), k64), {{"provider-key", "64-bit", "HKLM"}},
     "GUID is \"{00000000-0000-0000-C000-000000000046}\"", true},
    {"a 64-bit-only installer left no provider key in the 32-bit view",
     removes(HKEY_LOCAL_MACHINE, kProvider, KEY_WOW64_32KEY), {{"provider-key", "32-bit", "HKLM"}}, "is missing", true},
    {"UpAndRunning written as text by a hand edit", sets(HKEY_CURRENT_USER, kProvider, L"UpAndRunning", L"2", k64),
     {{"up-and-running", "both", "HKCU"}}, "UpAndRunning is text, not a number"},
    {"UpAndRunning reset to 0 by a roaming profile while the integration runs",
     [](DiagnosisTest&) { writeNumber(HKEY_CURRENT_USER, kProvider, L"UpAndRunning", 0, k64); },
     {{"up-and-running", "both", "HKCU"}}, "something other than the messenger wrote it"},
    // What a crash leaves; a killed process would also leave its class object registered
    // with Wine's RPC service for good, which no repair of the doctor's can mend.
    {"the messenger crashed and left UpAndRunning at 2",
     [](DiagnosisTest& test) {
         test.stopHost();
         writeNumber(HKEY_CURRENT_USER, kProvider, L"UpAndRunning", 2, k64);
     },
     {kNotRunning, {"up-and-running", "both", "HKCU"}}, "is not running", false, {kNotRunning}, kStart},
    {"the messenger stopped cleanly", [](DiagnosisTest& test) { test.stopHost(); }, {kNotRunning}, "is not running",
     false, {kNotRunning}, kStart},
    {"the integration turned off", [](DiagnosisTest& test) { test.integration("stop"); },
     {{"class-object", "both", ""}}, "cannot be reached", false, {{"class-object", "both", ""}},
     [](DiagnosisTest& test) { test.integration("start"); }},
    {"the messenger hangs", [](DiagnosisTest& test) { test.freezeHost(true); },
     {{"class-object", "both", ""}}, "does not answer within", false, {{"class-object", "both", ""}},
     [](DiagnosisTest& test) { test.freezeHost(false); }},
    {"a roaming profile's per-user win32 path names a file of another machine",
     sets(HKEY_CURRENT_USER, kTypeLibrary + L"win32", L"", L"C:\\Users\\away\\orvex\\gone.dll"), kPerUserWin32,
     "which does not exist"},
    {"an older version's per-user win32 path names another type library",
     sets(HKEY_CURRENT_USER, kTypeLibrary + L"win32", L"", kOtherLibrary), kPerUserWin32,
     "version 2.0, not the provider's"},
    {"a per-user win64 path of an uninstalled copy wins over the machine-wide one",
     sets(HKEY_CURRENT_USER, kTypeLibrary + L"win64", L"", L"D:\\old\\orvex.dll"),
     {{"type-library", "64-bit", "HKCU"}}, "which does not exist", false, {},
     removes(HKEY_CURRENT_USER, kTypeLibrary + L"win64")},
    {"the machine-wide win64 path left as the placeholder",
     sets(HKEY_LOCAL_MACHINE, kTypeLibrary + L"win64", L"", L"ORVEX_DUMMY"), {{"type-library", "64-bit", "HKLM"}},
     "placeholder", true},
    {"an uninstaller removed the whole type library registration",
     [](DiagnosisTest& test) {
         removes(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\TypeLib\\" + Utils::Registry::TypeLibId())(test);
         removes(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\TypeLib\\" + Utils::Registry::TypeLibId())(test);
     },
     {{"type-library", "64-bit", "HKLM"}, {"type-library", "32-bit", "HKCU"}}, "registered nowhere", true},
    {"the contact interface key names another version in the 32-bit view only",
     sets(HKEY_LOCAL_MACHINE, kContactInterface, L"Version", L"2.0", KEY_WOW64_32KEY),
     {{"interfaces", "32-bit", "HKLM"}}, "IUCCContact (library", true},
    {"another provider's registration repointed the contact interface (64-bit view)",
     sets(HKEY_LOCAL_MACHINE, kContactInterface, L"", GuidText(IID_IUnknown), k64), {{"interfaces", "64-bit", "HKLM"}},
     "IUCCContact (library {00000000-0000-0000-C000-000000000046}", true},
    {"another provider's registration gave the dual contact interface IDispatch's marshaller (64-bit view)",
     sets(HKEY_LOCAL_MACHINE, kContactKey + L"\\ProxyStubClsid32", L"", kDispatchMarshaller, k64),
     {{"interfaces", "64-bit", "HKLM"}}, "IUCCContact (ProxyStubClsid32 {00020420-0000-0000-C000-000000000046})", true},
    {"the contact events' dispinterface with IDispatch's marshaller, as Windows registers one (fine)",
     sets(HKEY_LOCAL_MACHINE, kEventsKey + L"\\ProxyStubClsid32", L"", kDispatchMarshaller, k64), {}, "", false, {},
     sets(HKEY_LOCAL_MACHINE, kEventsKey + L"\\ProxyStubClsid32", L"", kUniversalMarshaller, k64)},
    {"a hand edit left the contact interface's library ID without braces (64-bit view)",
     sets(HKEY_LOCAL_MACHINE, kContactInterface, L"", L"9d5662de-96cc-471f-94f0-e00e05457627", k64),
     {{"interfaces", "64-bit", "HKLM"}}, "IUCCContact (library 9d5662de-96cc-471f-94f0-e00e05457627", true},
    {"an installer wrote the messenger's full path as ProcessName (64-bit view)",
     sets(HKEY_LOCAL_MACHINE, kProvider, L"ProcessName", L"C:\\Orvex\\OrvexWindows.exe", k64),
     {{"provider-key", "64-bit", "HKLM"}}, "ProcessName is \"C:\\Orvex\\OrvexWindows.exe\"", true},
    {"another provider's uninstaller removed the contact interface's key (64-bit view)",
     removes(HKEY_LOCAL_MACHINE, kContactKey, k64), {{"interfaces", "64-bit", "HKLM"}}, "no interface key: IUCCContact",
     true},
};

// The table runs the doctor's diagnosis and repair in this process, twice a case: the
// program around them is one test of its own below, and each run of it costs a process
// start, which an emulated 32-bit machine makes slow.
TEST_P(BrokenInstallation, IsNamedAloneInItsScopeAndRepaired)
{
    const Broken& broken = GetParam();
    broken.breakIt(*this);
    const DiagnosisReport before = InstallationDoctor().diagnose();
    const auto [faults, first] = problemsOf(before);
    EXPECT_EQ(faults, broken.faults) << before.text();
    EXPECT_NE(first.find(broken.what), std::string::npos) << before.text();
    if (broken.faults.empty()) {
        for (const char* check : {"default-im-app", "provider-key", "process", "class-object", "up-and-running",
                                  "type-library", "interfaces", "marshalling"}) {
            EXPECT_TRUE(std::ranges::any_of(before.findings(), [check](const DiagnosisReport::Finding& finding) {
                return finding.check == check && finding.status == DiagnosisReport::Status::Ok;
            })) << check << " was not found right: " << before.text();
        }
    } else {
        std::string userOnly;
        InstallationRepair({false, true}).repair(before, userOnly); // a dry run: judged by what it prints
        if (broken.machine) {
            EXPECT_NE(userOnly.find("machine-wide: run as an administrator with --repair --machine"), std::string::npos)
                << userOnly;
        } else if (broken.afterRepair.empty()) {
            EXPECT_NE(userOnly.find("would change "), std::string::npos) << userOnly;
        }
        std::string changes;
        const auto repaired = InstallationRepair({broken.machine, false})
                                  .repairAndDiagnose(before, [] { return InstallationDoctor().diagnose(); }, changes);
        EXPECT_EQ(repaired.failures, 0) << changes;
        EXPECT_EQ(changes.find("changed ") != std::string::npos, broken.afterRepair != broken.faults) << changes;
        const DiagnosisReport& after = repaired.after;
        EXPECT_EQ(problemsOf(after).first, broken.afterRepair) << after.text();
    }
    broken.restore(*this);
    ASSERT_TRUE(host) << "the messenger stand-in did not come back";
    ConnectionReport steps(false, nullptr);
    EXPECT_TRUE(newOffice(steps)->connect()) << "an Office could not connect after the repair";
}

INSTANTIATE_TEST_SUITE_P(Installations, BrokenInstallation, ::testing::ValuesIn(kInstallations),
                         [](const ::testing::TestParamInfo<Broken>& param) { return "case" + std::to_string(param.index); });

// The program itself as support staff run it, with its report as one JSON line: its exit
// codes, its JSON and its repair, on a default an uninstaller emptied. (What a dry run
// prints, and that it changes nothing, is the table's.)
TEST_F(DiagnosisTest, TheProgramReportsDryRunsAndRepairsAsSupportStaffRunIt)
{
    writeText(HKEY_CURRENT_USER, kProviders, L"DefaultIMApp", L"", k64);
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        std::vector<std::string> said;
        const wchar_t* defaultAfter; // the 64-bit Office's, whatever this process's view
    } runs[] = {
        {L"--diagnose",
         1,
         {R"({"check":"default-im-app","status":"fault",)"
          R"("subject":"HKCU\\Software\\IM Providers DefaultIMApp","office":"64-bit","what":"is empty",)",
          R"("scope":"HKCU","administrator":false,"repairable":true)"},
         L""},
        {L"--repair", 0, {"changed ", R"("ok":true)"}, L"Talvo Orvex"},
    };
    for (const auto& run : runs) {
        ChildProcess doctor(ChildProcess::besideThisProgram(L"OfficeStandIn.exe"),
                            std::wstring(run.arguments) + L" --json");
        // The report is the last line; the process may end before its output has been read.
        // A repair diagnoses at least twice, each time building proxies in new apartments.
        doctor.waitForLine(R"("findings":)", 3 * kPatience);
        const std::optional<DWORD> exitCode = doctor.waitForExit(kPatience);
        std::string output;
        for (const auto& line : doctor.lines()) {
            output += line + "\n";
        }
        SCOPED_TRACE(output);
        EXPECT_EQ(exitCode, run.exitCode);
        for (const std::string& text : run.said) {
            EXPECT_NE(output.find(text), std::string::npos) << text;
        }
        EXPECT_EQ(RawRegistry::read(HKEY_CURRENT_USER, kProviders, L"DefaultIMApp", k64).text, run.defaultAfter);
    }
}

} // namespace
