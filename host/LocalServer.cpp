#include "host/LocalServer.h"

#include "host/SlimReaderWriterLock.h"
#include "registration/ProviderKeys.h"
#include "registration/RegistryUtils.h"

#include <mutex>
#include <shared_mutex>

namespace {

// The singleton and its lock. Both are never reset: the reference lives until the
// library is unloaded, when its release tears the server down.
SlimReaderWriterLock singletonLock;
std::shared_ptr<LocalServer> singleton;

} // namespace

LocalServer::LocalServer(std::shared_ptr<IOfficeAdapterPlatformHelper> hostHelper) : helper(std::move(hostHelper)) {}

LocalServer::~LocalServer() = default;

void LocalServer::startIntegration() {}

void LocalServer::stopIntegration() {}

void LocalServer::removeRegistration() { Utils::Registry::UnregisterProvider(); }

bool LocalServer::isRegistered() { return Utils::Registry::IsProviderRegistered(); }

std::shared_ptr<IOfficeAdapterPlatformHelper> LocalServer::currentHelper()
{
    std::shared_lock lock(singletonLock);
    return singleton ? singleton->helper : nullptr;
}

std::shared_ptr<LocalServer> LocalServer::obtain(const std::shared_ptr<IOfficeAdapterPlatformHelper>& hostHelper)
{
    {
        std::unique_lock lock(singletonLock);
        if (!singleton) {
            singleton = std::make_shared<LocalServer>(hostHelper);
        }
    }
    std::shared_lock lock(singletonLock);
    return singleton;
}

std::shared_ptr<IOfficeIntegration> getOutlookIntegration(const std::shared_ptr<IOfficeAdapterPlatformHelper>& helper)
{
    // Office marshals the provider's interfaces through these keys, so they are
    // refreshed on every call, before any lock is taken.
    Utils::Registry::WriteUserTypeLibKeys();
    return LocalServer::obtain(helper);
}
