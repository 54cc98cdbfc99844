// The Office stand-in: a separate process and a pure COM client that finds the
// instant-messaging provider the way Office does, shows presence, prints every event
// with its data, and can start a conversation. Its exit code is 0 when every step passed.
#include "host/TextConversion.h"
#include "tools/CommandLine.h"
#include "tools/office/ConnectionReport.h"
#include "tools/office/InstallationDoctor.h"
#include "tools/office/InstallationRepair.h"
#include "tools/office/OfficeConnection.h"
#include "tools/office/OfficeOptions.h"

#include <windows.h>

#include <objbase.h>
#include <cstdio>
#include <functional>
#include <iostream>
#include <thread>

namespace {

bool isShutdown(const ConnectionReport::Event& event)
{
    return event.name == "OnShuttingDown";
}

void converse(const OfficeOptions& options, OfficeConnection& connection)
{
    if (options.conversationDelay.count() > 0 && (!options.chat.empty() || !options.call.empty())) {
        std::this_thread::sleep_for(options.conversationDelay);
    }
    if (!options.chat.empty()) {
        connection.startConversation(uiaConversationModeInstantMessage, options.chat, options.subject, {});
    }
    if (!options.call.empty()) {
        connection.startConversation(options.video ? uiaConversationModeVideo : uiaConversationModeAudio, options.call,
                                     {}, options.endpoint);
    }
}

int diagnose(const OfficeOptions& options)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DiagnosisReport report = InstallationDoctor().diagnose();
    int failures = 0;
    if (options.repair) {
        std::string changes;
        auto outcome = InstallationRepair({options.machineWide, options.dryRun})
                           .repairAndDiagnose(report, [] { return InstallationDoctor().diagnose(); }, changes);
        std::fputs((changes.empty() ? "nothing to repair\n" : changes).c_str(), stdout);
        if (!options.dryRun) {
            std::fputs("\nafter the repair:\n", stdout);
            report = std::move(outcome.after);
        }
        failures = outcome.failures;
    }
    CoUninitialize();
    std::fputs((options.json ? report.json() + "\n" : report.text()).c_str(), stdout);
    return report.faultCount() == 0 && failures == 0 ? 0 : 1;
}

} // namespace

int main()
{
    const OfficeOptions options = OfficeOptions::parse(CommandLine::arguments());
    if (options.showHelp || !options.error.empty()) {
        if (!options.error.empty()) {
            std::fprintf(stderr, "%s\n", options.error.c_str());
        }
        std::fputs(OfficeOptions::usage().c_str(), options.showHelp ? stdout : stderr);
        return options.showHelp ? 0 : 2;
    }
    if (options.diagnose || options.repair) {
        return diagnose(options);
    }
    // Office's own threads live in the multithreaded apartment here, so that events can
    // arrive while the main thread waits.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool passed = false;
    {
        ConnectionReport report(options.json);
        if (!options.registerTypeLibrary.empty()) {
            report.call("register the type library machine-wide", Link::Marshalling,
                        ProviderRegistry::registerTypeLibraryMachineWide(
                            TextConversion::toWide(options.registerTypeLibrary)),
                        options.registerTypeLibrary);
        }
        OfficeConnection::Settings settings;
        settings.waitForUp = options.waitForUp;
        OfficeConnection connection(report, settings);
        passed = connection.connect();
        if (passed) {
            for (const auto& address : options.addresses) {
                passed = connection.watchContact(address) && passed;
            }
            converse(options, connection);
        }
        report.summary();
        if (options.hold) {
            report.note("holding every object until the end of the input");
            for (std::string line; std::getline(std::cin, line);) {
            }
        } else if (options.listen.count() > 0) {
            const std::function<bool(const ConnectionReport::Event&)> stop =
                options.untilShutdown ? isShutdown : [](const ConnectionReport::Event&) { return false; };
            report.waitForEvents(stop, 1, options.listen);
        }
        connection.release();
        passed = passed && !report.firstFailure();
    }
    CoUninitialize();
    return passed ? 0 : 1;
}
