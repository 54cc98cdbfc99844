#pragma once

#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the provider runs while it is fuzzed: inside this process, or inside the messenger
// stand-in with this process as Office. Either way the host pushes presence and evictions
// from threads of its own while the calls go on.
class FuzzTarget {
public:
    virtual ~FuzzTarget() = default;

    // Installs the product and starts the integration; on failure `error` says why.
    virtual bool start(std::string& error) = 0;
    // The provider's class object, as Office gets it.
    virtual Microsoft::WRL::ComPtr<IClassFactory> classObject() = 0;
    // One presence change or eviction, reported on a host thread.
    virtual void push(std::uint64_t step) = 0;
    // Stops and starts the integration: Office's sinks hear OnStateChanged and OnShuttingDown.
    virtual void restart() = 0;
    virtual void stopIntegration() = 0;
    // The library's live COM objects and the host's private bytes, if they can be read.
    virtual std::optional<long> liveObjects() = 0;
    virtual std::optional<unsigned long long> privateBytes() = 0;
    // The host's own figures beyond those above, for the progress lines ("" when none).
    virtual std::string hostFigures() { return ""; }
    // False once the host process is gone; `why` then says how it ended.
    virtual bool alive(std::string& why) = 0;
    // Ends the host; answers false when it reported a fault on its way out.
    virtual bool finish(std::string& why) = 0;
    virtual bool crossProcess() const = 0;
    // The addresses the host knows: a friendly caller's contacts.
    virtual std::vector<std::wstring> addresses() const = 0;
};
