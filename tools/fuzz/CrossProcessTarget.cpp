#include "tools/fuzz/CrossProcessTarget.h"

#include "tools/common/Patience.h"
#include "tools/common/ProductInstallation.h"

#include "OfficeIntegrationLib.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

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
    host = std::make_unique<ChildProcess>(ChildProcess::besideThisProgram(L"OrvexWindows.exe"),
                                          L"--no-script --log-level none");
    if (!host->started() || !host->waitForLine("host: ready", kPatience)) {
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
        for (const std::string& line : host->lines()) {
            std::printf("fuzz: stand-in: %s\n", line.c_str());
        }
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

std::optional<std::string> CrossProcessTarget::command(const std::string& line, const std::string& reply)
{
    std::lock_guard lock(sending);
    const std::size_t from = host->lineCount();
    host->send(line);
    return host->waitForLine(reply, kPatience, from);
}

void CrossProcessTarget::restart()
{
    command("restart", "host: integration started");
}

void CrossProcessTarget::stopIntegration()
{
    command("stop", "host: integration stopped");
}

std::optional<long long> CrossProcessTarget::statsField(const std::string& name)
{
    const auto line = command("stats", "stats live=");
    if (!line) {
        return std::nullopt;
    }
    const auto at = line->find(" " + name + "=");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    return std::atoll(line->c_str() + at + name.size() + 2);
}

std::optional<long> CrossProcessTarget::liveObjects()
{
    const auto live = statsField("live");
    return live ? std::optional<long>(static_cast<long>(*live)) : std::nullopt;
}

std::optional<unsigned long long> CrossProcessTarget::privateBytes()
{
    const auto bytes = statsField("private");
    return bytes ? std::optional<unsigned long long>(static_cast<unsigned long long>(*bytes)) : std::nullopt;
}

std::string CrossProcessTarget::hostFigures()
{
    const auto line = command("stats", "stats live=");
    const std::size_t from = line ? line->find(" callbacks=") : std::string::npos;
    return from == std::string::npos ? "" : line->substr(from + 1);
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
        host->send("quit");
        const auto exitCode = host->waitForExit(kPatience);
        if (!exitCode || *exitCode != 0) {
            why = exitCode ? "the messenger stand-in ended with exit code " + std::to_string(*exitCode)
                           : "the messenger stand-in did not stop";
            clean = false;
        }
        for (const std::string& line : host->lines()) {
            if (line.rfind("error:", 0) == 0 || line.find("Unhandled exception") != std::string::npos) {
                why += (why.empty() ? "" : "; ") + std::string("the stand-in reported: ") + line;
                clean = false;
            }
        }
        if (!exitCode || *exitCode != 0) {
            // How far its way out it got.
            for (const std::string& line : host->lastLines(12)) {
                std::printf("fuzz: stand-in: %s\n", line.c_str());
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
