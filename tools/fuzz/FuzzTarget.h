#pragma once

#include "tools/common/MessengerStandIn.h"
#include "tools/host/CommandQueue.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostOptions.h"
#include "tools/host/PresenceTable.h"

#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class HostController;

// Where the provider runs while it is fuzzed, with the product installed as an installer
// does. In process: the library loaded here as the messenger loads it, with the messenger
// stand-in's parts, this process being Office too. Across processes: the messenger
// stand-in (OrvexWindows.exe) hosting it, this process as Office reaching it through the
// class object and the type library's marshaller. Either way the host reports presence
// and evictions on threads other than Office's while the calls go on.
class FuzzTarget {
public:
    explicit FuzzTarget(bool crossProcess);
    ~FuzzTarget();

    // Installs the product and starts the integration; on failure `error` says why.
    bool start(std::string& error);
    // The provider's class object, as Office gets it.
    Microsoft::WRL::ComPtr<IClassFactory> classObject();
    // One presence change or eviction, reported on a host thread (in process, the caller's).
    void push(std::uint64_t step);
    // Stops and starts the integration: Office's sinks hear OnStateChanged and OnShuttingDown.
    void restart();
    // The library's live objects (from its "Constructor" and "Destructor" records) and the
    // host's private bytes; -1 for each it cannot tell.
    MessengerStandIn::Stats figures();
    // False once the host process is gone; `why` then says how it ended.
    bool alive(std::string& why);
    // Ends the host; a fault it reported on its way out is added to `why`.
    void finish(std::string& why);
    bool crossProcess() const { return across; }
    // The addresses the host knows: a friendly caller's contacts.
    static std::vector<std::wstring> addresses();

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
