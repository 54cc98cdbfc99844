#include "tools/fuzz/CrossProcessTarget.h"

#include "tools/common/Patience.h"
#include "tools/common/ProductInstallation.h"

#include "OfficeIntegrationLib.h"

#include <chrono>
#include <cstdio>

namespace {

const auto kPatience = Patience::scaled(std::chrono::seconds(60));
// The stand-in's built-in table.
const char* const kAddresses[] = {"alice@orvex.example", "bob@orvex.example", "carol@orvex.example",
                                  "dave@orvex.example", "erin@orvex.example"};
const char* const kStatuses[] = {"present", "away", "dnd", "oof", "unknown"};

} // namespace

CrossProcessTarget::~CrossProcessTarget()
{
    std::string ignored;
    finish(ignored);
}

bool CrossProcessTarget::start(std::string& error)
{
    if (FAILED(ProductInstallation::install())) {
        error = "the product could not be installed";
        return false;
    }
    installed = true;
    host = std::make_unique<MessengerStandIn>(L"--no-script --log-level none", kPatience);
    if (!host->waitUntilReady()) {
        error = "the messenger stand-in did not come up";
        return false;
    }
    return true;
}

Microsoft::WRL::ComPtr<IClassFactory> CrossProcessTarget::classObject()
{
    // The class object is announced through the system's RPC service, which may take a
    // moment after the stand-in registered it.
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < 100 && !factory; ++attempt) {
        result = CoGetClassObject(__uuidof(OfficeIntegrationImpl), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()));
        if (!factory) {
            Sleep(200);
        }
    }
    if (!factory) {
        std::printf("fuzz: no class object from the messenger stand-in: 0x%08lX\n", static_cast<unsigned long>(result));
        std::fputs(host->lastWords(host->lineCount(), "fuzz: stand-in: ").c_str(), stdout);
    }
    return factory;
}

void CrossProcessTarget::push(std::uint64_t step)
{
    const std::string address = kAddresses[step % std::size(kAddresses)];
    std::string line;
    if (step % 5 == 4) {
        line = "evict " + address;
    } else if (step % 50 == 7) {
        line = "burst " + address + " 20 3";
    } else {
        line = "set " + address + " " + kStatuses[(step / 3) % std::size(kStatuses)];
    }
    std::lock_guard lock(sending);
    host->send(line);
}

void CrossProcessTarget::restart()
{
    std::lock_guard lock(sending);
    host->command("restart", "host: integration started");
}

void CrossProcessTarget::stopIntegration()
{
    std::lock_guard lock(sending);
    host->command("stop", "host: integration stopped");
}

std::optional<long> CrossProcessTarget::liveObjects()
{
    std::lock_guard lock(sending);
    const long long live = host->stats().live;
    return live < 0 ? std::nullopt : std::optional<long>(static_cast<long>(live));
}

std::optional<unsigned long long> CrossProcessTarget::privateBytes()
{
    std::lock_guard lock(sending);
    const long long bytes = host->stats().privateBytes;
    return bytes < 0 ? std::nullopt : std::optional<unsigned long long>(static_cast<unsigned long long>(bytes));
}

std::string CrossProcessTarget::hostFigures()
{
    std::lock_guard lock(sending);
    const auto figures = host->stats();
    return figures.callbacks < 0 ? ""
                                 : "callbacks=" + std::to_string(figures.callbacks) +
                                       " watches=" + std::to_string(figures.watches);
}

bool CrossProcessTarget::alive(std::string& why)
{
    const auto exitCode = host ? host->waitForExit(std::chrono::milliseconds(0)) : std::optional<DWORD>(0);
    if (exitCode) {
        why = "the messenger stand-in ended with exit code " + std::to_string(*exitCode);
        return false;
    }
    return true;
}

bool CrossProcessTarget::finish(std::string& why)
{
    bool clean = true;
    if (host) {
        const auto exitCode = host->stop();
        if (!exitCode || *exitCode != 0) {
            why = exitCode ? "the messenger stand-in ended with exit code " + std::to_string(*exitCode)
                           : "the messenger stand-in did not stop";
            clean = false;
            // How far its way out it got.
            std::fputs(host->lastWords(12, "fuzz: stand-in: ").c_str(), stdout);
        }
        for (const std::string& line : host->lines()) {
            if (line.rfind("error:", 0) == 0 || line.find("Unhandled exception") != std::string::npos) {
                why += (why.empty() ? "" : "; ") + std::string("the stand-in reported: ") + line;
                clean = false;
            }
        }
        host.reset();
    }
    if (installed) {
        ProductInstallation::uninstall();
        installed = false;
    }
    return clean;
}

std::vector<std::wstring> CrossProcessTarget::addresses() const
{
    std::vector<std::wstring> wide;
    for (const char* address : kAddresses) {
        const std::string text(address);
        wide.emplace_back(text.begin(), text.end());
    }
    return wide;
}
