// A host built only against the installed package: it links the import library, calls
// getOutlookIntegration directly, and starts and stops the integration. Exit code 0 when
// the class object was registered with COM.
#include "host/IOfficeIntegration.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace {

class ConsumerHelper final : public IOfficeAdapterPlatformHelper {
public:
    std::optional<HRESULT> registration;

    OutlookContactStatus getContactPresence(const std::string&, PresenceCallback) override
    {
        return OutlookContactStatus::PresenceUnknown;
    }
    void stopContactPresence(const std::string&) override {}
    std::string getSelfUri() override { return "consumer@orvex.example"; }
    void hostReservedSlot4() override {}
    void startInstantMessage(const std::vector<std::string>&, const std::string&) override {}
    void startCall(const std::vector<std::string>&) override {}
    void hostReservedSlot7() override {}
    void hostReservedSlot8() override {}
    void log(const std::string& message, std::int32_t level, std::int32_t, const std::string&,
             const std::string& function) override
    {
        if (level >= 5) {
            std::printf("log %d %s: %s\n", level, function.c_str(), message.c_str());
        }
    }
    void classFactoryRegistered(HRESULT result) override { registration = result; }
};

} // namespace

int main()
{
    const auto helper = std::make_shared<ConsumerHelper>();
    std::shared_ptr<IOfficeIntegration> integration = getOutlookIntegration(helper);
    if (!integration) {
        std::puts("getOutlookIntegration returned nothing");
        return 1;
    }
    integration->startIntegration();
    const std::optional<HRESULT> registered = helper->registration;
    integration->stopIntegration();
    integration.reset();
    if (!registered) {
        std::puts("startIntegration did not report the class object's registration");
        return 1;
    }
    std::printf("classFactoryRegistered hr=0x%08lX\n", static_cast<unsigned long>(*registered));
    return *registered == S_OK ? 0 : 1;
}
