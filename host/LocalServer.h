#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"
#include "host/IOfficeIntegration.h"

#include <unknwn.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>

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

private:
    Microsoft::WRL::ComPtr<IUnknown> classFactory;
    std::uint32_t registrationCookie = 0;
    const std::shared_ptr<IOfficeAdapterPlatformHelper> helper;
    bool comInitialisedHere = false;
};
