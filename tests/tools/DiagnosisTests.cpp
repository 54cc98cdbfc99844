// The installation doctor against a private prefix broken on purpose, one fault at a time:
// the program support staff run must name exactly that fault, with what is wrong and how
// to fix it, and exit 0 only when nothing is wrong.
#include "tests/tools/EndToEndTest.h"

#include "tools/office/ProviderRegistry.h"

#include <functional>
#include <regex>
#include <set>

namespace {

const std::wstring kTypeLibrary = L"SOFTWARE\\Classes\\TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}";
const std::wstring kContactInterface = L"{85109845-6AE2-4B6B-9524-65BA203E5B7D}";

void setText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void removeTree(HKEY root, const std::wstring& path)
{
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

struct Fault {
    std::string check;
    std::string what; // a fragment of what is wrong
    std::string fix;  // a fragment of how to fix it
};

struct Diagnosis {
    std::optional<DWORD> exitCode;
    std::string output;
    std::vector<Fault> faults;
};

class DiagnosisTest : public EndToEndTest {
protected:
    static Diagnosis runDoctor()
    {
        ChildProcess doctor(ChildProcess::besideThisProgram(L"OfficeStandIn.exe"), L"--diagnose --json");
        Diagnosis diagnosis;
        // The report is one line; the process may end before its output has been read.
        doctor.waitForLine(R"("findings":)", kPatience);
        diagnosis.exitCode = doctor.waitForExit(kPatience);
        for (const auto& line : doctor.lines()) {
            diagnosis.output += line;
        }
        static const std::regex fault(R"re(\{"check":"([^"]+)","status":"fault","subject":"(?:[^"\\]|\\.)*",)re"
                                      R"re("what":"((?:[^"\\]|\\.)*)","fix":"((?:[^"\\]|\\.)*)"\})re");
        for (std::sregex_iterator it(diagnosis.output.begin(), diagnosis.output.end(), fault), end; it != end; ++it) {
            diagnosis.faults.push_back({(*it)[1], (*it)[2], (*it)[3]});
        }
        return diagnosis;
    }

    static void restoreTypeLibrary()
    {
        ProviderRegistry::registerTypeLibraryMachineWide(
            ChildProcess::besideThisProgram(L"orvex-windows-office-integration.dll"));
    }

    // A new messenger process writes the per-user type library keys again.
    void restartHost()
    {
        ASSERT_TRUE(host->stop());
        replaceHost(startHost(hostOptions));
    }
};

TEST_F(DiagnosisTest, AHealthyInstallationHasNoProblem)
{
    const Diagnosis diagnosis = runDoctor();
    EXPECT_EQ(diagnosis.exitCode, 0u) << diagnosis.output;
    EXPECT_TRUE(diagnosis.faults.empty()) << diagnosis.output;
    EXPECT_NE(diagnosis.output.find(R"("ok":true,"problems":0)"), std::string::npos) << diagnosis.output;
    for (const char* check : {"default-im-app", "provider-key", "type-library", "interfaces", "process",
                              "class-object", "marshalling"}) {
        EXPECT_NE(diagnosis.output.find(std::string(R"({"check":")") + check + R"(","status":"ok")"),
                  std::string::npos)
            << check << " was not found right: " << diagnosis.output;
    }
}

TEST_F(DiagnosisTest, EachBrokenLinkIsNamedAloneWithItsFix)
{
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        std::function<void()> restore;
        Fault expected;
    };
    const std::vector<Case> cases{
        {"DefaultIMApp taken by another provider",
         [] {
             setText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp", L"Other Messenger");
             setText(HKEY_CURRENT_USER, L"Software\\IM Providers\\Other Messenger", L"FriendlyName", L"Other");
         },
         [] {
             setText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp", L"Talvo Orvex");
             removeTree(HKEY_CURRENT_USER, L"Software\\IM Providers\\Other Messenger");
         },
         {"default-im-app", "another provider, \\\"Other Messenger\\\"", "turn off the Office integration of"}},
        {"type library key removed",
         [] {
             removeTree(HKEY_LOCAL_MACHINE, kTypeLibrary);
             removeTree(HKEY_CURRENT_USER, kTypeLibrary);
         },
         [this] {
             restoreTypeLibrary();
             restartHost();
         },
         {"type-library", "registered nowhere", "start Orvex once"}},
        // Each restore puts back what the installation had in this build's bitness: the
        // machine-wide path of its own platform and nothing for the other.
        {"HKLM win64 left as the placeholder, no per-user path",
         [] { setText(HKEY_LOCAL_MACHINE, kTypeLibrary + L"\\1.0\\0\\win64", nullptr, L"ORVEX_DUMMY"); },
         [] {
             removeTree(HKEY_LOCAL_MACHINE, kTypeLibrary + L"\\1.0\\0\\win64");
             restoreTypeLibrary();
         },
         {"type-library", "placeholder \\\"ORVEX_DUMMY\\\"", "--register-typelib"}},
        {"HKLM win32 left as the placeholder, per-user path removed",
         [] {
             setText(HKEY_LOCAL_MACHINE, kTypeLibrary + L"\\1.0\\0\\win32", nullptr, L"ORVEX_DUMMY");
             removeTree(HKEY_CURRENT_USER, kTypeLibrary + L"\\1.0\\0\\win32");
         },
         [this] {
             removeTree(HKEY_LOCAL_MACHINE, kTypeLibrary + L"\\1.0\\0\\win32");
             restoreTypeLibrary();
             restartHost();
         },
         {"type-library", "no per-user path overrides it", "start Orvex once"}},
        {"interface keys removed",
         [] {
             for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
                 removeTree(root, L"SOFTWARE\\Classes\\Interface\\" + kContactInterface);
                 removeTree(root, L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\" + kContactInterface);
             }
         },
         restoreTypeLibrary,
         {"interfaces", "no interface key: IUCCContact.", "regsvr32"}},
        {"integration not started", [this] { command("stop", "host: integration stopped"); },
         [this] { command("start", "host: integration started"); },
         {"class-object", "runs but has not started its Office integration", "turn on the Office integration"}},
        {"process not running",
         [this] { ASSERT_TRUE(host->stop()); },
         [this] { replaceHost(startHost(hostOptions)); },
         {"process", "is not running", "start Orvex"}},
    };
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.name);
        fault.breakIt();
        const Diagnosis diagnosis = runDoctor();
        fault.restore();
        EXPECT_EQ(diagnosis.exitCode, 1u);
        ASSERT_EQ(diagnosis.faults.size(), 1u) << diagnosis.output;
        EXPECT_EQ(diagnosis.faults[0].check, fault.expected.check);
        EXPECT_NE(diagnosis.faults[0].what.find(fault.expected.what), std::string::npos) << diagnosis.faults[0].what;
        EXPECT_NE(diagnosis.faults[0].fix.find(fault.expected.fix), std::string::npos) << diagnosis.faults[0].fix;
        ASSERT_TRUE(host) << "the messenger stand-in did not come back";
    }
    // Everything put back: the doctor agrees.
    EXPECT_EQ(runDoctor().exitCode, 0u);
}

} // namespace
