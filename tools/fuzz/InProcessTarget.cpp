#include "tools/fuzz/InProcessTarget.h"

#include "tools/common/ProcessMemory.h"
#include "tools/common/ProductInstallation.h"
#include "tools/host/HostController.h"

#include "OfficeIntegrationLib.h"


namespace {

// The presence table's statuses, in the order the pushes go through them.
constexpr OutlookContactStatus kStatuses[] = {OutlookContactStatus::OnlinePresent,
                                              OutlookContactStatus::OnlineAwayFromComputer,
                                              OutlookContactStatus::OnlineDoNotDisturb,
                                              OutlookContactStatus::OfflineOOF,
                                              OutlookContactStatus::PresenceUnknown};

// Runs on the caller's thread, which plays a host reporting thread.
void report(const std::vector<PresenceTable::Callback>& callbacks, OutlookContactStatus status)
{
    for (const auto& callback : callbacks) {
        callback(status);
    }
}

} // namespace

InProcessTarget::InProcessTarget()
    : options(HostOptions::parse({"--no-script", "--log-level", "none"})), console(options.minimumLogRank)
{
    table.loadBuiltIn();
}

InProcessTarget::~InProcessTarget()
{
    std::string ignored;
    finish(ignored);
}

bool InProcessTarget::start(std::string& error)
{
    const HRESULT installed = ProductInstallation::install();
    if (FAILED(installed)) {
        error = "the product could not be installed";
        return false;
    }
    controller = std::make_unique<HostController>(options, table, console, queue);
    if (!controller->load()) {
        error = "the library could not be loaded";
        return false;
    }
    controller->execute("start");
    return true;
}

Microsoft::WRL::ComPtr<IClassFactory> InProcessTarget::classObject()
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    CoGetClassObject(__uuidof(OfficeIntegrationImpl), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                     reinterpret_cast<void**>(factory.GetAddressOf()));
    return factory;
}

void InProcessTarget::push(std::uint64_t step)
{
    const auto entries = table.entries();
    if (entries.empty()) {
        return;
    }
    const std::string& address = entries[step % entries.size()].first;
    if (step % 5 == 4) {
        report(table.evict(address), OutlookContactStatus::ContactEvicted);
    } else {
        const OutlookContactStatus status = kStatuses[(step / 3) % std::size(kStatuses)];
        report(table.update(address, status), status);
    }
}

void InProcessTarget::restart()
{
    controller->execute("restart");
}

void InProcessTarget::stopIntegration()
{
    controller->execute("stop");
}

std::optional<unsigned long long> InProcessTarget::privateBytes()
{
    return ProcessMemory::privateBytes();
}

bool InProcessTarget::finish(std::string&)
{
    if (controller) {
        controller->shutdown();
        controller.reset();
        ProductInstallation::uninstall();
    }
    return true;
}

std::vector<std::wstring> InProcessTarget::addresses() const
{
    std::vector<std::wstring> wide;
    for (const auto& [address, status] : table.entries()) {
        wide.emplace_back(address.begin(), address.end());
    }
    return wide;
}
