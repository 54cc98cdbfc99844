#pragma once

#include "tools/fuzz/FuzzTarget.h"
#include "tools/host/CommandQueue.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostOptions.h"
#include "tools/host/PresenceTable.h"

#include <memory>

class HostController;

// The library loaded into this process as the messenger loads it, with the messenger
// stand-in's helper and presence table; this process is then also Office, and its calls
// reach the objects directly, without a proxy. `push` runs on the caller's thread, which
// plays a host reporting thread.
class InProcessTarget final : public FuzzTarget {
public:
    InProcessTarget();
    ~InProcessTarget() override;

    bool start(std::string& error) override;
    Microsoft::WRL::ComPtr<IClassFactory> classObject() override;
    void push(std::uint64_t step) override;
    void restart() override;
    void stopIntegration() override;
    std::optional<long> liveObjects() override { return console.liveObjects(); }
    std::optional<unsigned long long> privateBytes() override;
    bool alive(std::string&) override { return true; }
    bool finish(std::string& why) override;
    bool crossProcess() const override { return false; }
    std::vector<std::wstring> addresses() const override;

private:
    HostOptions options;
    PresenceTable table;
    HostConsole console;
    CommandQueue queue;
    std::unique_ptr<HostController> controller;
};
