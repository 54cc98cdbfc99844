#pragma once

#include "host/IOfficeIntegration.h"
#include "tools/common/CrossProcessCallCounter.h"
#include "tools/host/HostOptions.h"
#include "tools/host/PresencePusher.h"
#include "tools/host/PresenceTable.h"

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CommandQueue;
class HostConsole;
class StandInHelper;

// The messenger's life around the library: load it by file name, hand it the helper,
// start and stop the integration on command, report presence changes, and unload.
class HostController {
public:
    HostController(const HostOptions& chosen, PresenceTable& presence, HostConsole& output, CommandQueue& commands);
    ~HostController();
    HostController(const HostController&) = delete;
    HostController& operator=(const HostController&) = delete;

    // Loads the DLL next to the executable and calls getOutlookIntegration.
    bool load();
    // Runs one command line; answers false once the stand-in is to quit.
    bool execute(const std::string& command);
    // Stops the script and the presence threads, stops the integration, unloads. Answers
    // whether the library had to stay loaded because Office still holds its objects.
    bool shutdown();
    // Runs the built-in script of presence changes on a thread of its own; its steps
    // come back to the main thread as commands.
    void startScript();

private:
    void printStats();
    void printCalls();
    void stopScript();

    const HostOptions& options;
    PresenceTable& table;
    HostConsole& console;
    CommandQueue& queue;
    PresencePusher pusher;
    std::shared_ptr<StandInHelper> helper;
    HMODULE library = nullptr;
    std::shared_ptr<IOfficeIntegration> integration;
    // Installed by the first "calls" command, and counting from then on.
    Microsoft::WRL::ComPtr<CrossProcessCallCounter> callCounter;

    std::mutex scriptMutex;
    std::condition_variable scriptCancelled;
    bool scriptStopping = false;
    std::thread script;
};
