#include "tools/fuzz/FuzzTarget.h"

#include "host/TextConversion.h"
#include "tools/common/Patience.h"
#include "tools/common/ProcessMemory.h"
#include "tools/common/ProductInstallation.h"
#include "tools/host/HostController.h"

#include "OfficeIntegrationLib.h"

#include <chrono>
#include <cstdio>

namespace {

const auto kPatience = Patience::scaled(std::chrono::seconds(60));
// The stand-in's built-in presence table, and the statuses the pushes go through.
const wchar_t* const kAddresses[] = {L"alice@orvex.example", L"bob@orvex.example", L"carol@orvex.example",
                                     L"dave@orvex.example", L"erin@orvex.example"};
const OutlookContactStatus kStatuses[] = {OutlookContactStatus::OnlinePresent,
                                          OutlookContactStatus::OnlineAwayFromComputer,
                                          OutlookContactStatus::OnlineDoNotDisturb, OutlookContactStatus::OfflineOOF,
                                          OutlookContactStatus::PresenceUnknown};

} // namespace

FuzzTarget::FuzzTarget(bool crossProcess)
    : across(crossProcess), options(HostOptions::parse({"--no-script", "--log-level", "none"})),
      console(options.minimumLogRank)
{
    table.loadBuiltIn();
}

FuzzTarget::~FuzzTarget()
{
    std::string ignored;
    finish(ignored);
}

bool FuzzTarget::start(std::string& error)
{
    if (FAILED(ProductInstallation::install())) {
        error = "the product could not be installed";
        return false;
    }
    installed = true;
    if (across) {
        host = std::make_unique<MessengerStandIn>(L"--no-script --log-level none", kPatience);
        error = host->waitUntilReady() ? "" : "the messenger stand-in did not come up";
    } else {
        controller = std::make_unique<HostController>(options, table, console, queue);
        error = controller->load() && controller->execute("start") ? "" : "the library could not be loaded";
    }
    return error.empty();
}

Microsoft::WRL::ComPtr<IClassFactory> FuzzTarget::classObject()
{
    // Across processes the class object is announced through the system's RPC service,
    // which may take a moment after the stand-in registered it.
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < (across ? 100 : 1) && !factory; ++attempt) {
        Sleep(attempt == 0 ? 0 : 200);
        result = CoGetClassObject(__uuidof(OfficeIntegrationImpl), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()));
    }
    if (!factory && across) {
        std::printf("fuzz: no class object from the messenger stand-in: 0x%08lX\n", static_cast<unsigned long>(result));
        std::fputs(host->lastWords(host->lineCount(), "fuzz: stand-in: ").c_str(), stdout);
    }
    return factory;
}

void FuzzTarget::push(std::uint64_t step)
{
    const std::string address = TextConversion::toUtf8(kAddresses[step % std::size(kAddresses)]);
    const OutlookContactStatus status = kStatuses[(step / 3) % std::size(kStatuses)];
    const bool evicting = step % 5 == 4;
    if (!across) {
        for (const auto& callback : evicting ? table.evict(address) : table.update(address, status)) {
            callback(evicting ? OutlookContactStatus::ContactEvicted : status);
        }
        return;
    }
    const std::string line = evicting         ? "evict " + address
                             : step % 50 == 7 ? "burst " + address + " 20 3"
                                              : "set " + address + " " + PresenceTable::statusName(status);
    std::lock_guard lock(sending);
    host->send(line);
}

void FuzzTarget::restart()
{
    if (!across) {
        controller->execute("restart");
        return;
    }
    std::lock_guard lock(sending);
    host->command("restart", "host: integration started");
}

MessengerStandIn::Stats FuzzTarget::figures()
{
    if (!across) {
        return {.live = console.liveObjects(), .privateBytes = static_cast<long long>(ProcessMemory::privateBytes())};
    }
    std::lock_guard lock(sending);
    return host->stats();
}

bool FuzzTarget::alive(std::string& why)
{
    const auto exitCode = host ? host->waitForExit(std::chrono::milliseconds(0)) : std::nullopt;
    if (exitCode) {
        why = "the messenger stand-in ended with exit code " + std::to_string(*exitCode);
    }
    return !exitCode;
}

void FuzzTarget::finish(std::string& why)
{
    if (controller) {
        controller->shutdown();
        controller.reset();
    }
    if (host) {
        const auto exitCode = host->stop();
        if (!exitCode || *exitCode != 0) {
            why = exitCode ? "the messenger stand-in ended with exit code " + std::to_string(*exitCode)
                           : "the messenger stand-in did not stop";
            // How far its way out it got.
            std::fputs(host->lastWords(12, "fuzz: stand-in: ").c_str(), stdout);
        }
        for (const std::string& line : host->lines()) {
            if (line.rfind("error:", 0) == 0 || line.find("Unhandled exception") != std::string::npos) {
                why += (why.empty() ? "" : "; ") + std::string("the stand-in reported: ") + line;
            }
        }
        host.reset();
    }
    if (installed) {
        ProductInstallation::uninstall();
        installed = false;
    }
}

std::vector<std::wstring> FuzzTarget::addresses() { return {std::begin(kAddresses), std::end(kAddresses)}; }
