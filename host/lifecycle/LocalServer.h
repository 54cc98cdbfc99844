#pragma once

#include "client/com/Atl.h"
#include "host/lifecycle/ClassFactory.h"
#include "host/IOfficeAdapterPlatformHelper.h"
#include "host/IOfficeIntegration.h"

#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

// The process-wide object the host drives the integration through. One exists per
// process, created by the first getOutlookIntegration and kept until the library is
// unloaded; creating it fills the helper slot (host/HostHelper) through which every
// part of the library reaches the host.
class LocalServer final : public IOfficeIntegration {
public:
    LocalServer();
    ~LocalServer() override;

    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    void startIntegration() override;
    void stopIntegration() override;
    void removeRegistration() override;
    bool isRegistered() override;

    // The singleton, created on first use with the given helper; later calls ignore
    // their argument.
    static std::shared_ptr<LocalServer> obtain(const std::shared_ptr<IOfficeAdapterPlatformHelper>& hostHelper);

    // The teardown at unload, run while the singleton is still installed so that its log
    // records reach the host: stops the integration. A COM initialisation the registration
    // had to make stays with the host's thread (see the definition).
    void teardown() noexcept;

private:
    using ClassFactoryObject = orvex::com::CComObject<ClassFactory>;

    // The class object registered with COM, and the cookie that withdraws it.
    struct Registration {
        Microsoft::WRL::ComPtr<ClassFactoryObject> classFactory;
        std::uint32_t cookie = 0;
    };
    enum class Outcome { Registered, Failed, Superseded };

    void start();
    void stop();
    Outcome registerClassFactory(std::uint64_t operation);
    void revokeClassFactory(std::uint64_t operation, Registration registration);
    void applicationShutdown(const Microsoft::WRL::ComPtr<ClassFactory::IntegrationObject>& officeIntegration);

    // A new start or stop: from now on it alone writes the provider's state.
    std::uint64_t beginOperation();
    bool isServing() const;
    // Logs the UpAndRunning value, then writes it unless a later start or stop has begun
    // since `operation`; false when it was not written.
    bool setUpAndRunning(std::uint64_t operation, std::uint32_t state);

    // The host may start and stop from any thread, and from inside its own callbacks or
    // Office's event handlers on other threads: no lock is held while the host, Office or
    // the log is called. The mutex orders only the changes of the state below and the
    // writes of UpAndRunning, so that the newest start or stop decides what Office reads.
    mutable std::mutex stateMutex;
    std::uint64_t latestOperation = 0;
    Registration registration;
};
