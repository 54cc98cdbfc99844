#include "tools/office/RuntimeLinks.h"

#include "registration/ProviderKeys.h"
#include "registration/RegistryReader.h"
#include "registration/RegistryUtils.h"
#include "tools/office/HResultText.h"
#include "tools/office/OfficeInterfaces.h"
#include "tools/office/ProxyProbe.h"
#include "tools/office/RegistryMeaning.h"
#include "tools/office/RunningProcesses.h"
#include "tools/office/TypeLibraryLinks.h"

#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

using Microsoft::WRL::ComPtr;
using Utils::Registry::RegistryReader;

namespace {

const auto& kStatePath = kProviderKey;

// The state as the library writes it: per user, in the 64-bit view (a 32-bit library
// mirrors it there), which both Offices read on Windows, where HKCU "Software" is shared.
RegistryReader::Value<DWORD> readState()
{
    return RegistryReader(HKEY_CURRENT_USER, KEY_WOW64_64KEY).number(kStatePath, L"UpAndRunning");
}

RegistryChange setState(DWORD value)
{
    return RegistryChange::number(HKEY_CURRENT_USER, KEY_WOW64_64KEY, kStatePath, L"UpAndRunning", value);
}

// COM waits for a hung server for ever, and a doctor that waited with it would leave
// support staff without a report exactly when the messenger hangs.
constexpr std::chrono::seconds kAnswerWithin{30};

using Answer = std::pair<HRESULT, ComPtr<IUnknown>>;

// The class object asked for the integration object, as Office asks, on a thread of its
// own: nothing when the messenger does not answer in time. That thread then waits on
// alone and lets go of whatever arrives.
std::optional<Answer> askForIntegration(const CLSID& clsid)
{
    auto promise = std::make_shared<std::promise<Answer>>();
    auto future = promise->get_future();
    std::thread([promise = std::move(promise), clsid]() mutable {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ComPtr<IClassFactory> factory;
        ComPtr<IUnknown> object;
        HRESULT result = CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_PPV_ARGS(&factory));
        if (SUCCEEDED(result)) {
            result = factory->CreateInstance(nullptr, IID_PPV_ARGS(&object));
        }
        factory.Reset();
        promise->set_value({result, std::move(object)});
        promise.reset(); // a late answer is released here, inside the apartment
        CoUninitialize();
    }).detach();
    if (future.wait_for(kAnswerWithin) != std::future_status::ready) {
        return std::nullopt;
    }
    return future.get();
}

} // namespace

void RuntimeLinks::checkProcess()
{
    const std::wstring process(Utils::Registry::ProviderProcessName);
    const std::string subject = utf8(process);
    // The process is found by the ProcessName of a provider key: with neither view's key
    // sound, no Office would look for it.
    const auto blocked64 = report.blockedBy({"provider-key"}, kOfficeBitnesses[0].name);
    const auto blocked32 = report.blockedBy({"provider-key"}, kOfficeBitnesses[1].name);
    if (blocked64 && blocked32) {
        report.skipped("process", subject, kBothBitnesses, *blocked64);
        return;
    }
    const int running = RunningProcesses::count(process);
    processRunning = running > 0;
    if (!processRunning) {
        report.problem("process", subject, kBothBitnesses,
                       {"is not running", "Office talks only to a provider whose process runs",
                        "start Orvex and sign in; Outlook shows presence once it sees the provider up",
                        DiagnosisReport::Scope::None, {}});
        return;
    }
    folder = RunningProcesses::folderOf(process);
    report.ok("process", subject, kBothBitnesses, "running (" + std::to_string(running) + ")");
}

void RuntimeLinks::checkClassObject()
{
    const std::wstring classId = Utils::Registry::ProviderClsid();
    const std::string subject = "class object " + utf8(classId);
    if (const auto blocked = report.blockedBy({"process"}, kBothBitnesses)) {
        report.skipped("class-object", subject, kBothBitnesses, *blocked);
        return;
    }
    const auto answer = askForIntegration(*RegistryMeaning::guid(classId));
    if (!answer) {
        report.problem("class-object", subject, kBothBitnesses,
                       {"does not answer within " + std::to_string(kAnswerWithin.count()) + " s",
                        utf8(std::wstring(Utils::Registry::ProviderProcessName)) +
                            " runs but is hung: Office's calls to it wait for ever, and presence stays unknown",
                        "end Orvex in the Task Manager and start it again; then restart Outlook",
                        DiagnosisReport::Scope::None, {}});
        return;
    }
    const auto& [result, object] = *answer;
    if (FAILED(result)) {
        report.problem("class-object", subject, kBothBitnesses,
                       {"cannot be reached (" + HResultText::hex(result) + ")",
                        utf8(std::wstring(Utils::Registry::ProviderProcessName)) +
                            " runs but has not started its Office integration",
                        "turn on the Office integration in Orvex, or restart Orvex; then restart Outlook, which "
                        "gives up on a provider it could not reach",
                        DiagnosisReport::Scope::None, {}});
        return;
    }
    integration = object;
    report.ok("class-object", subject, kBothBitnesses, "registered and creates the integration object");
}

void RuntimeLinks::checkUpAndRunning()
{
    const std::string subject = "HKCU\\" + utf8(kStatePath) + " UpAndRunning";
    const auto state = readState();
    const std::string shown = state.read() ? "UpAndRunning = " + std::to_string(state.data)
                                           : "UpAndRunning " + RegistryMeaning::absence(state, "a number");
    // Whether the state is stale or current depends on whether the messenger runs; a
    // process link skipped leaves that unknown.
    if (!processRunning && !report.hasFault("process")) {
        report.skipped("up-and-running", subject, kBothBitnesses, *report.blockedBy({"process"}, kBothBitnesses));
        return;
    }
    DiagnosisReport::Problem problem;
    problem.scope = DiagnosisReport::Scope::CurrentUser;
    problem.what = shown;
    if (!processRunning) {
        // The messenger sets 0 when it stops; anything else was left by one that ended
        // without stopping (a crash, a kill, a shutdown) or was written by someone else.
        if (!state.present() || (state.read() && state.data == Utils::Registry::ProviderNotServing)) {
            report.ok("up-and-running", subject, kBothBitnesses, shown + ": Office waits for the provider to start");
            return;
        }
        problem.what += state.read() ? ", left behind by a messenger that is no longer running" : std::string();
        problem.why = "an Office started now takes the provider for up, fails to reach it and gives up until it is "
                      "restarted";
        problem.fix = "set it to 0 (Orvex sets it again when it starts)";
        problem.changes.push_back(setState(Utils::Registry::ProviderNotServing));
    } else if (!integration) {
        report.skipped("up-and-running", subject, kBothBitnesses,
                       *report.blockedBy({"class-object"}, kBothBitnesses));
        return;
    } else if (state.read() && state.data == Utils::Registry::ProviderUpAndRunning) {
        report.ok("up-and-running", subject, kBothBitnesses, shown + ", as the running messenger announced");
        return;
    } else {
        problem.what += state.outcome == RegistryReader::Outcome::WrongType
                            ? std::string()
                                        : ", although the running messenger's integration answers: something other "
                                          "than the messenger wrote it (a hand edit, an installer, a roaming profile)";
        problem.why = "Office waits for the number 2 before it asks for presence";
        problem.fix = "set it to 2, or restart the Office integration in Orvex, which announces itself again";
        problem.changes.push_back(setState(Utils::Registry::ProviderUpAndRunning));
    }
    report.problem("up-and-running", subject, kBothBitnesses, std::move(problem));
}

void RuntimeLinks::checkMarshalling(const OfficeBitness& office)
{
    const std::string subject = "proxies of the interfaces Office uses";
    if (const auto blocked = report.blockedBy({"type-library", "interfaces"}, office.name)) {
        report.skipped("marshalling", subject, office.name, *blocked);
        return;
    }
    if (!office.isThisProcess()) {
        report.note("marshalling", subject, office.name,
                    std::string("built only by a ") + office.name + " process: run the " + office.name +
                        " OfficeStandIn.exe --diagnose to check them");
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
            failed += std::string(failed.empty() ? "" : "; ") + item.name + " " +
                      HResultText::hex(result) + " " + HResultText::meaning(result);
        }
    }
    if (failed.empty()) {
        report.ok("marshalling", subject, office.name, "a proxy and a stub can be built for each of them");
        return;
    }
    // The registration the marshaller is sure to read is the machine-wide path of its own
    // platform (Wine's reads no other): the repair writes that one.
    DiagnosisReport::Problem problem{"no proxy: " + failed, "Office cannot call the provider's objects from its own process",
                                     kRegisterAgain,
                                     DiagnosisReport::Scope::Machine, {}};
    if (const auto file = TypeLibraryLinks::goodLibraryFile(folder)) {
        problem.changes.push_back(RegistryChange::text(HKEY_LOCAL_MACHINE, 0,
                                                       TypeLibraryLinks::platformPath(office.platform), L"", *file));
    }
    report.problem("marshalling", subject, office.name, std::move(problem));
}
