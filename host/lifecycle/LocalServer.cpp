#include "host/lifecycle/LocalServer.h"

#include "client/com/ComError.h"
#include "host/HostHelper.h"
#include "host/HostLog.h"
#include "host/SlimReaderWriterLock.h"
#include "registration/ProviderKeys.h"
#include "registration/RegistrationDiagnostics.h"
#include "registration/RegistryUtils.h"

#include <shared_mutex>

namespace {

constexpr char kLogSource[] = "LocalServer";

// The singleton and its lock. The reference lives until the library is unloaded, when
// the teardown below ends it. (At the process's end the library's entry point runs no
// destructor at all.)
SlimReaderWriterLock singletonLock;
std::shared_ptr<LocalServer> singleton;

// Tears the server down at unload while it can still reach the host, then drops the
// library's reference and the host's helper. Defined after the singleton, so it is
// destroyed before it.
struct SingletonTeardown {
    SingletonTeardown() = default;
    SingletonTeardown(const SingletonTeardown&) = delete;
    SingletonTeardown& operator=(const SingletonTeardown&) = delete;
    ~SingletonTeardown()
    {
        std::shared_ptr<LocalServer> server;
        {
            std::shared_lock lock(singletonLock);
            server = singleton;
        }
        if (server) {
            server->teardown();
        }
        {
            std::unique_lock lock(singletonLock);
            singleton.reset();
        }
        HostHelper::empty();
    }
} singletonTeardown;

} // namespace

LocalServer::LocalServer() = default;

LocalServer::~LocalServer() = default;

void LocalServer::startIntegration()
{
    ORVEX_LOG(LogLevel::Info, "LocalServer::startIntegration", "starting");
    try {
        start();
    } catch (...) {
        // Nothing reaches the host from here: the failure is logged and the integration
        // left stopped.
        orvex::com::guardCallback([] {
            ORVEX_LOG(LogLevel::Error, "LocalServer::startIntegration", "Exception thrown during startup");
        });
        orvex::com::guardCallback([this] { stop(); });
    }
}

void LocalServer::start()
{
    if (isServing()) {
        stop();
    }
    const std::uint64_t operation = beginOperation();
    ORVEX_LOG(LogLevel::Info, "LocalServer::startIntegration", "Setting UpAndRunning to 1");
    setUpAndRunning(operation, Utils::Registry::ProviderStarting);
    Utils::Registry::CheckAllInterfaces();
    switch (registerClassFactory(operation)) {
    case Outcome::Failed:
        stop();
        return;
    case Outcome::Superseded:
        return;
    case Outcome::Registered:
        break;
    }
    // A stop that came while the host was being told (from its callback, say) has
    // withdrawn the class object again: then the provider is not announced.
    if (setUpAndRunning(operation, Utils::Registry::ProviderUpAndRunning)) {
        ORVEX_LOG(LogLevel::Debug, "LocalServer::startIntegration", "Up and running");
    }
}

LocalServer::Outcome LocalServer::registerClassFactory(std::uint64_t operation)
{
    ORVEX_LOG(LogLevel::Debug, "LocalServer::registerClassFactory", "Enter");
    Registration registered;
    Microsoft::WRL::ComPtr<IUnknown> factoryUnknown;
    if (SUCCEEDED(ClassFactoryObject::CreateInstance(registered.classFactory))) {
        registered.classFactory.As(&factoryUnknown);
    }
    if (!factoryUnknown) {
        ORVEX_LOG(LogLevel::Error, "LocalServer::registerClassFactory",
                  "newClassFactory->QueryInterface<IUnknown> failed");
        return Outcome::Failed;
    }

    DWORD cookie = 0;
    HRESULT result =
        CoRegisterClassObject(CLSID_OfficeIntegrationImpl, factoryUnknown.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                              &cookie);
    if (result == CO_E_NOTINITIALIZED) {
        ORVEX_LOG(LogLevel::Warning, "LocalServer::registerClassFactory", "Calling CoInitializeEx");
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result = CoRegisterClassObject(CLSID_OfficeIntegrationImpl, factoryUnknown.Get(), CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    }
    if (SUCCEEDED(result)) {
        registered.cookie = cookie;
        std::unique_lock lock(stateMutex);
        if (latestOperation == operation) {
            // Kept before the host hears of it: a helper that throws, or stops from its
            // callback, then leaves a registration that the stop withdraws.
            registration = std::move(registered);
        } else {
            // A start or stop on another thread came after this one: this registration is
            // not the integration's any more.
            lock.unlock();
            CoRevokeClassObject(cookie);
            return Outcome::Superseded;
        }
    }
    if (const auto helper = HostHelper::current()) {
        helper->classFactoryRegistered(result);
    }
    if (FAILED(result)) {
        ORVEX_LOG(LogLevel::Error, "LocalServer::registerClassFactory",
                  "Could not register the OfficeIntegrationImpl factory, releasing the factory and setting "
                  "upandrunning to 0, result: "
                      << result);
        return Outcome::Failed;
    }
    return Outcome::Registered;
}

void LocalServer::stopIntegration()
{
    // Stopping is what the host does on its way out: nothing may escape to it.
    orvex::com::guardCallback([this] { stop(); });
}

void LocalServer::stop()
{
    ORVEX_LOG(LogLevel::Debug, "LocalServer::stopIntegration", "shutting down");
    std::uint64_t operation = 0;
    Registration stopping;
    {
        const std::lock_guard lock(stateMutex);
        operation = ++latestOperation;
        stopping = std::exchange(registration, Registration{});
    }
    if (stopping.classFactory) {
        applicationShutdown(stopping.classFactory->officeIntegrationObject());
    }
    revokeClassFactory(operation, std::move(stopping));
    ORVEX_LOG(LogLevel::Debug, "LocalServer::stopIntegration", "Setting up and running to 0");
    setUpAndRunning(operation, Utils::Registry::ProviderNotServing);
}

void LocalServer::applicationShutdown(
    const Microsoft::WRL::ComPtr<ClassFactory::IntegrationObject>& officeIntegration)
{
    ORVEX_LOG(LogLevel::Info, "LocalServer::applicationShutdown", "About to start firing shutdown");
    if (!officeIntegration) {
        ORVEX_LOG(LogLevel::Error, "LocalServer::applicationShutdown", "No office integration object");
        return;
    }
    ORVEX_LOG(LogLevel::Info, "LocalServer::applicationShutdown", "Firing application shutdown");
    if (UCCLyncClient* client = officeIntegration->lyncClientObject()) {
        client->setClientState(ucClientStateSignedOut);
    }
    officeIntegration->getEventsTriggers().fireOnShuttingDown();
}

void LocalServer::revokeClassFactory(std::uint64_t operation, Registration revoked)
{
    ORVEX_LOG(LogLevel::Debug, "LocalServer::revokeClassFactory", "Revoke class factory");
    if (revoked.cookie != 0) {
        const HRESULT result = CoRevokeClassObject(revoked.cookie);
        if (SUCCEEDED(result)) {
            ORVEX_LOG(LogLevel::Info, "LocalServer::revokeClassFactory", "Class factory revoked successfully");
        } else {
            ORVEX_LOG(LogLevel::Error, "LocalServer::revokeClassFactory",
                      "Could not revoke OfficeIntegrationImpl class factor, hr: " << LogHex(result));
        }
    }
    revoked.classFactory.Reset();
    setUpAndRunning(operation, Utils::Registry::ProviderNotServing);
}

std::uint64_t LocalServer::beginOperation()
{
    const std::lock_guard lock(stateMutex);
    return ++latestOperation;
}

bool LocalServer::isServing() const
{
    const std::lock_guard lock(stateMutex);
    return registration.cookie != 0;
}

bool LocalServer::setUpAndRunning(std::uint64_t operation, std::uint32_t state)
{
    Utils::Registry::AnnounceUpAndRunning(state);
    const std::lock_guard lock(stateMutex);
    if (latestOperation != operation) {
        return false;
    }
    Utils::Registry::WriteUpAndRunning(state);
    return true;
}

void LocalServer::teardown() noexcept
{
    orvex::com::guardCallback([this] { stop(); });
    // The multithreaded apartment the registration entered on the host's thread stays
    // entered. This runs inside FreeLibrary, under the loader lock, where COM must not be
    // uninitialised: leaving the apartment's last member waits for COM's own threads to
    // end, and they cannot end while the lock is held, so the messenger hung in its
    // unload. The unload may also run on another thread than the start, where leaving
    // would not balance the entry anyway. The thread's membership ends with the thread.
}

void LocalServer::removeRegistration() { Utils::Registry::UnregisterProvider(); }

bool LocalServer::isRegistered() { return Utils::Registry::IsProviderRegistered(); }

std::shared_ptr<LocalServer> LocalServer::obtain(const std::shared_ptr<IOfficeAdapterPlatformHelper>& hostHelper)
{
    {
        std::unique_lock lock(singletonLock);
        if (!singleton) {
            singleton = std::make_shared<LocalServer>();
            HostHelper::fill(hostHelper);
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
