#include "tools/host/HostController.h"

#include "tools/host/CommandQueue.h"
#include "tools/host/HostConsole.h"
#include "tools/common/ProcessMemory.h"
#include "tools/host/StandInHelper.h"

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using EntryPoint = std::shared_ptr<IOfficeIntegration> (*)(const std::shared_ptr<IOfficeAdapterPlatformHelper>&);

// The entry point's name as this toolchain decorates a free function taking a const
// reference to a shared_ptr of the helper.
constexpr char kEntryPoint[] = "_Z21getOutlookIntegrationRKSt10shared_ptrI28IOfficeAdapterPlatformHelperE";
constexpr wchar_t kLibraryName[] = L"orvex-windows-office-integration.dll";

std::vector<std::string> wordsOf(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string millisecondsSince(std::chrono::steady_clock::time_point began)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f ms",
                  std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
    return text;
}

int numberOr(const std::string& text, int fallback)
{
    try {
        return std::stoi(text);
    } catch (...) {
        return fallback;
    }
}

} // namespace

HostController::HostController(const HostOptions& chosen, PresenceTable& presence, HostConsole& output,
                               CommandQueue& commands)
    : options(chosen), table(presence), console(output), queue(commands), pusher(output),
      helper(std::make_shared<StandInHelper>(presence, output, chosen.identity))
{
}

HostController::~HostController()
{
    shutdown();
}

bool HostController::load()
{
    library = LoadLibraryW(kLibraryName);
    if (library == nullptr) {
        console.print("error: cannot load orvex-windows-office-integration.dll (error " +
                      std::to_string(GetLastError()) + ")");
        return false;
    }
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, kEntryPoint)));
    if (entry == nullptr) {
        console.print("error: the library does not export getOutlookIntegration");
        return false;
    }
    const auto began = std::chrono::steady_clock::now();
    integration = entry(helper);
    console.print(integration ? "host: library loaded, integration object received in " + millisecondsSince(began)
                              : "error: getOutlookIntegration returned nothing");
    return static_cast<bool>(integration);
}

bool HostController::execute(const std::string& command)
{
    const auto words = wordsOf(command);
    if (words.empty()) {
        return true;
    }
    const std::string& verb = words[0];
    if (verb == "quit") {
        return false;
    }
    if ((verb == "start" || verb == "stop" || verb == "restart") && integration) {
        if (verb != "start") {
            integration->stopIntegration();
            console.print("host: integration stopped");
        }
        if (verb != "stop") {
            const auto began = std::chrono::steady_clock::now();
            integration->startIntegration();
            console.print("host: integration started in " + millisecondsSince(began));
        }
    } else if (verb == "set" && words.size() == 3) {
        const auto status = PresenceTable::parseStatus(words[2]);
        if (!status) {
            console.print("error: unknown status " + words[2]);
        } else {
            pusher.push(table.update(words[1], *status), *status, words[1]);
        }
    } else if (verb == "evict" && words.size() == 2) {
        pusher.push(table.evict(words[1]), OutlookContactStatus::ContactEvicted, words[1]);
    } else if (verb == "burst" && words.size() >= 4) {
        pusher.burst(table, words[1], numberOr(words[2], 0), numberOr(words[3], 1),
                     words.size() > 4 && words[4] == "starts");
    } else if (verb == "stats") {
        printStats();
    } else if (verb == "calls") {
        printCalls();
    } else if (verb == "script") {
        startScript();
    } else {
        console.print("error: unknown command: " + command);
    }
    return true;
}

void HostController::startScript()
{
    stopScript();
    auto entries = table.entries();
    std::vector<std::string> steps;
    if (entries.size() > 1) {
        steps.push_back("set " + entries[1].first + " present");
    }
    if (entries.size() > 2) {
        steps.push_back("set " + entries[2].first + " away");
    }
    if (entries.size() > 3) {
        steps.push_back("evict " + entries[3].first);
    }
    std::lock_guard lock(scriptMutex);
    scriptStopping = false;
    script = std::thread([this, steps = std::move(steps)] {
        std::unique_lock wait(scriptMutex);
        auto next = std::chrono::steady_clock::now() + options.scriptDelay;
        for (const auto& step : steps) {
            if (scriptCancelled.wait_until(wait, next, [this] { return scriptStopping; })) {
                return;
            }
            queue.push(step);
            next += options.scriptStep;
        }
    });
}

void HostController::stopScript()
{
    {
        std::lock_guard lock(scriptMutex);
        scriptStopping = true;
    }
    scriptCancelled.notify_all();
    if (script.joinable()) {
        script.join();
    }
}

bool HostController::shutdown()
{
    stopScript();
    pusher.joinAll();
    if (integration) {
        integration->stopIntegration();
        console.print("host: integration stopped");
        integration.reset();
    }
    // The callbacks are code of the library: they go before it does.
    table.forgetCallbacks();
    // Office may still hold the library's objects and be calling into them from COM's
    // threads; unloading the code under those calls would crash the messenger on its way
    // out. Give Office a moment to let go, then leave the library to the process's end.
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (console.liveObjects() > 0 && std::chrono::steady_clock::now() < patience) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (library != nullptr && console.liveObjects() > 0) {
        console.print("host: library kept loaded, Office still holds " + std::to_string(console.liveObjects()) +
                      " of its objects");
        library = nullptr;
        return true;
    }
    if (library != nullptr) {
        // Said first: the library's teardown runs inside FreeLibrary, so a stand-in that
        // stops here shows where.
        console.print("host: unloading the library");
        FreeLibrary(library);
        library = nullptr;
        console.print("host: library unloaded");
    }
    return false;
}

void HostController::printCalls()
{
    if (!callCounter) {
        callCounter = CrossProcessCallCounter::install();
    }
    console.print(callCounter ? "calls " + CrossProcessCallCounter::format(callCounter->counts())
                              : "error: calls cannot be counted");
}

void HostController::printStats()
{
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    char line[256];
    std::snprintf(line, sizeof(line), "stats live=%ld private=%llu working-set=%llu callbacks=%zu watches=%zu",
                  console.liveObjects(), ProcessMemory::privateBytes(),
                  static_cast<unsigned long long>(memory.WorkingSetSize), table.callbackCount(), table.watchCount());
    console.print(line);
}
