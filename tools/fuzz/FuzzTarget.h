#pragma once

#include "host/TextConversion.h"
#include "tools/common/MessengerStandIn.h"
#include "tools/common/Patience.h"
#include "tools/common/ProcessMemory.h"
#include "tools/common/ProductInstallation.h"
#include "tools/host/CommandQueue.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostController.h"
#include "tools/host/HostOptions.h"
#include "tools/host/PresenceTable.h"

#include "OfficeIntegrationLib.h"

#include <objbase.h>
#include <wrl/client.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Where the provider runs while it is fuzzed, with the product installed as an installer
// does. In process: the library loaded here as the messenger loads it, with the messenger
// stand-in's parts, this process being Office too. Across processes: the messenger
// stand-in (OrvexWindows.exe) hosting it, this process as Office reaching it through the
// class object and the type library's marshaller. Either way the host reports presence
// and evictions on threads other than Office's while the calls go on.
class FuzzTarget {
public:
    // The stand-in's built-in presence table: a friendly caller's contacts.
    static constexpr const wchar_t* kAddresses[] = {L"alice@orvex.example", L"bob@orvex.example",
                                                    L"carol@orvex.example", L"dave@orvex.example",
                                                    L"erin@orvex.example"};

    explicit FuzzTarget(bool crossProcess)
        : across(crossProcess), options(HostOptions::parse({"--no-script", "--log-level", "none"})),
          console(options.minimumLogRank)
    {
        table.loadBuiltIn();
    }

    ~FuzzTarget()
    {
        std::string ignored;
        finish(ignored);
    }

    // Installs the product and starts the integration; on failure `error` says why.
    bool start(std::string& error)
    {
        if (FAILED(ProductInstallation::install())) {
            error = "the product could not be installed";
            return false;
        }
        installed = true;
        if (across) {
            host = std::make_unique<MessengerStandIn>(L"--no-script --log-level none",
                                                      Patience::scaled(std::chrono::seconds(60)));
            error = host->waitUntilReady() ? "" : "the messenger stand-in did not come up";
        } else {
            controller = std::make_unique<HostController>(options, table, console, queue);
            error = controller->load() && controller->execute("start") ? "" : "the library could not be loaded";
        }
        return error.empty();
    }

    // The provider's class object, as Office gets it.
    Microsoft::WRL::ComPtr<IClassFactory> classObject()
    {
        // Across processes the class object is announced through the system's RPC service,
        // which may take a moment after the stand-in registered it.
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        HRESULT result = E_FAIL;
        for (int attempt = 0; attempt < (across ? 100 : 1) && !factory; ++attempt) {
            Sleep(attempt == 0 ? 0 : 200);
            result = CoGetClassObject(__uuidof(OfficeIntegrationImpl), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                      &factory);
        }
        if (!factory && across) {
            std::printf("fuzz: no class object from the messenger stand-in: 0x%08lX\n",
                        static_cast<unsigned long>(result));
            std::fputs(host->lastWords(host->lineCount(), "fuzz: stand-in: ").c_str(), stdout);
        }
        return factory;
    }

    // One presence change or eviction, reported on a host thread (in process, the caller's),
    // going through the statuses in turn.
    void push(std::uint64_t step)
    {
        constexpr OutlookContactStatus kStatuses[] = {
            OutlookContactStatus::OnlinePresent, OutlookContactStatus::OnlineAwayFromComputer,
            OutlookContactStatus::OnlineDoNotDisturb, OutlookContactStatus::OfflineOOF,
            OutlookContactStatus::PresenceUnknown};
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

    // Stops and starts the integration: Office's sinks hear OnStateChanged and OnShuttingDown.
    void restart()
    {
        if (!across) {
            controller->execute("restart");
            return;
        }
        std::lock_guard lock(sending);
        host->command("restart", "host: integration started");
    }

    // The library's live objects (from its "Constructor" and "Destructor" records) and the
    // host's private bytes; -1 for each it cannot tell.
    MessengerStandIn::Stats figures()
    {
        if (!across) {
            return {.live = console.liveObjects(),
                    .privateBytes = static_cast<long long>(ProcessMemory::privateBytes())};
        }
        std::lock_guard lock(sending);
        return host->stats();
    }

    // False once the host process is gone; `why` then says how it ended.
    bool alive(std::string& why)
    {
        const auto exitCode = host ? host->waitForExit(std::chrono::milliseconds(0)) : std::nullopt;
        if (exitCode) {
            why = "the messenger stand-in ended with exit code " + std::to_string(*exitCode);
        }
        return !exitCode;
    }

    // Ends the host; a fault it reported on its way out is added to `why`.
    void finish(std::string& why)
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

    bool crossProcess() const { return across; }

private:
    const bool across;
    // In process.
    HostOptions options;
    PresenceTable table;
    HostConsole console;
    CommandQueue queue;
    std::unique_ptr<HostController> controller;
    // Across processes. `sending` is held across a command and its answer: pushes wait.
    std::mutex sending;
    std::unique_ptr<MessengerStandIn> host;
    bool installed = false;
};
