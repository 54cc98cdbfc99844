// The messenger stand-in: loads the integration library as the messenger does, answers
// presence from a small table, reports presence changes on its own threads, prints what
// Office asks of the messenger and the library's log records, and stops on Ctrl-C, on
// 'quit' or the end of its input, or after a set time.
#include "tools/CommandLine.h"
#include "tools/host/CommandQueue.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostController.h"
#include "tools/host/HostOptions.h"
#include "tools/host/PresenceTable.h"
#include "tools/host/RpcService.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

CommandQueue* signalledQueue = nullptr;

BOOL WINAPI onConsoleSignal(DWORD)
{
    if (signalledQueue != nullptr) {
        signalledQueue->push("quit");
    }
    return TRUE;
}

bool loadTable(const HostOptions& options, PresenceTable& table)
{
    if (options.tableFile.empty()) {
        table.loadBuiltIn();
        return true;
    }
    std::ifstream file(options.tableFile, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read the presence table %s\n", options.tableFile.c_str());
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    if (!table.load(text.str(), error)) {
        std::fprintf(stderr, "%s: %s\n", options.tableFile.c_str(), error.c_str());
        return false;
    }
    return true;
}

} // namespace

int main()
{
    const HostOptions options = HostOptions::parse(CommandLine::arguments());
    if (options.showHelp || !options.error.empty()) {
        if (!options.error.empty()) {
            std::fprintf(stderr, "%s\n", options.error.c_str());
        }
        std::fputs(HostOptions::usage().c_str(), options.showHelp ? stdout : stderr);
        return options.showHelp ? 0 : 2;
    }
    PresenceTable table;
    if (!loadTable(options, table)) {
        return 2;
    }
    HostConsole console(options.minimumLogRank);
    CommandQueue queue;
    signalledQueue = &queue;
    SetConsoleCtrlHandler(onConsoleSignal, TRUE);

    if (!RpcService::ensureRunning(std::chrono::seconds(60))) {
        console.print("warning: the RPC service is not running; Office will not reach the messenger");
    }
    int exitCode = 0;
    bool libraryInUse = false;
    {
        HostController controller(options, table, console, queue);
        if (!controller.load()) {
            return 1;
        }
        for (const auto& [address, status] : table.entries()) {
            console.print("host: presence " + address + " " + PresenceTable::statusName(status));
        }
        if (options.startIntegration) {
            controller.execute("start");
        }
        if (options.runScript) {
            controller.startScript();
        }
        console.print("host: ready (pid " + std::to_string(GetCurrentProcessId()) + ")");

        // The reader blocks in the console; it is left behind when the process ends.
        const bool endOfInputStops = options.runFor.count() == 0;
        std::thread([&queue, endOfInputStops] {
            for (std::string line; std::getline(std::cin, line);) {
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                queue.push(line);
            }
            if (endOfInputStops) {
                queue.push("quit");
            }
        }).detach();

        const auto deadline = options.runFor.count() == 0 ? std::chrono::steady_clock::time_point::max()
                                                          : std::chrono::steady_clock::now() + options.runFor;
        for (;;) {
            const auto command = queue.pop(deadline);
            if (!command || !controller.execute(*command)) {
                break;
            }
        }
        libraryInUse = controller.shutdown();
    }
    signalledQueue = nullptr;
    console.print("host: stopped");
    if (libraryInUse) {
        // Office is still calling: COM's threads may be inside the library or the C++
        // run-time. ExitProcess would end them wherever they are, holding whatever locks
        // they hold, and then let the run-time DLLs tear themselves down; under the 32-bit
        // build that teardown waited on such a lock for ever. Everything that needed an
        // orderly end has had it.
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    }
    return exitCode;
}
