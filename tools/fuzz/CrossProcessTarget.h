#pragma once

#include "tools/common/MessengerStandIn.h"
#include "tools/fuzz/FuzzTarget.h"

#include <memory>
#include <mutex>

// The messenger stand-in (OrvexWindows.exe) hosting the library in its own process, with
// the product installed as an installer does; this process is Office and reaches the
// provider through the class object and the type library's marshaller. The stand-in
// reports presence on its own threads when told to.
class CrossProcessTarget final : public FuzzTarget {
public:
    CrossProcessTarget() = default;
    ~CrossProcessTarget() override;

    bool start(std::string& error) override;
    Microsoft::WRL::ComPtr<IClassFactory> classObject() override;
    void push(std::uint64_t step) override;
    void restart() override;
    void stopIntegration() override;
    std::optional<long> liveObjects() override;
    std::optional<unsigned long long> privateBytes() override;
    std::string hostFigures() override;
    bool alive(std::string& why) override;
    bool finish(std::string& why) override;
    bool crossProcess() const override { return true; }
    std::vector<std::wstring> addresses() const override;

private:
    // Held across a command and its answer: the pushes wait meanwhile.
    std::mutex sending;
    std::unique_ptr<MessengerStandIn> host;
    bool installed = false;
};
