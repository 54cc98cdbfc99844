#include "host/lifecycle/ClassFactory.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

#include <mutex>
#include <shared_mutex>

namespace {

constexpr char kLogSource[] = "ClassFactory";

} // namespace

ClassFactory::ClassFactory()
{
    ORVEX_LOG(LogLevel::Debug, "ClassFactory::ClassFactory", "Constructor: " << LogAddress{this});
}

ClassFactory::~ClassFactory()
{
    orvex::com::guardCallback(
        [this] { ORVEX_LOG(LogLevel::Debug, "ClassFactory::~ClassFactory", "Destructor: " << LogAddress{this}); });
}

Microsoft::WRL::ComPtr<ClassFactory::IntegrationObject> ClassFactory::officeIntegrationObject()
{
    std::shared_lock guard(lock);
    return officeIntegration;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept
{
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return orvex::com::guardComCall([&]() -> HRESULT {
        ORVEX_LOG(LogLevel::Debug, "ClassFactory::CreateInstance",
                  "About to create and return a Messenger implementation");
        std::unique_lock guard(lock);
        const bool createdHere = !officeIntegration;
        const HRESULT created = ensureOfficeIntegration();
        if (FAILED(created)) {
            return created;
        }
        const HRESULT result = officeIntegration->QueryInterface(iid, object);
        if (FAILED(result)) {
            // An object handed out before stays: Office holds it, with its sinks, and the
            // stop must reach them. Only one this very request made, and nobody else
            // holds, goes, so that the next request starts again with a fresh object.
            if (createdHere) {
                officeIntegration.Reset();
            }
            ORVEX_LOG(LogLevel::Error, "ClassFactory::CreateInstance",
                      "failed to get a Messenger implementation, hr: " << LogHex(result));
        }
        return result;
    });
}

HRESULT ClassFactory::ensureOfficeIntegration()
{
    if (officeIntegration) {
        return S_OK;
    }
    const HRESULT created = IntegrationObject::CreateInstance(officeIntegration);
    if (FAILED(created)) {
        ORVEX_LOG(LogLevel::Error, "ClassFactory::CreateInstance",
                  "failed to get a Messenger implementation, hr: " << LogHex(created));
        return created;
    }
    officeIntegration->initialise();
    return S_OK;
}

HRESULT ClassFactory::LockServer(BOOL /*lock*/) noexcept { return S_OK; }
