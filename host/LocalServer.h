#pragma once

#include "client/com/Atl.h"
#include "host/ClassFactory.h"
#include "host/IOfficeAdapterPlatformHelper.h"
#include "host/IOfficeIntegration.h"

#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <mutex>

// The process-wide object the host drives the integration through. One exists per
// process, created by the first getOutlookIntegration and kept until the library is
// unloaded; it is also the one road by which every part of the library reaches the
// host's helper.
class LocalServer final : public IOfficeIntegration {
public:
    explicit LocalServer(std::shared_ptr<IOfficeAdapterPlatformHelper> hostHelper);
    ~LocalServer() override;

    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    void startIntegration() override;
    void stopIntegration() override;
    void removeRegistration() override;
    bool isRegistered() override;

    // Helper access: a copy of the singleton's helper taken under the global lock held
    // shared, empty when there is no singleton yet or the host gave no helper. Callers
    // call the host on the copy, never under the lock.
    static std::shared_ptr<IOfficeAdapterPlatformHelper> currentHelper();

    // The singleton, created on first use with the given helper; later calls ignore
    // their argument.
    static std::shared_ptr<LocalServer> obtain(const std::shared_ptr<IOfficeAdapterPlatformHelper>& hostHelper);

    // The teardown at unload, run while the singleton is still installed so that its log
    // records reach the host: stops the integration. A COM initialisation the registration
    // had to make stays with the host's thread (see the definition).
    void teardown() noexcept;

private:
    using ClassFactoryObject = orvex::atl::CComObject<ClassFactory>;

    // The unguarded steps; the public operations hold `lifecycleMutex` around them.
    void start();
    void stop();
    bool registerClassFactory();
    void revokeClassFactory();
    void applicationShutdown(const Microsoft::WRL::ComPtr<ClassFactory::IntegrationObject>& officeIntegration);

    Microsoft::WRL::ComPtr<ClassFactoryObject> classFactory;
    std::uint32_t registrationCookie = 0;
    const std::shared_ptr<IOfficeAdapterPlatformHelper> helper;

    // The host may start and stop from any thread; one start or stop runs at a time. It is
    // recursive so that a sink reached while stopping may stop the integration itself.
    std::recursive_mutex lifecycleMutex;
};
