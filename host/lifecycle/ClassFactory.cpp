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
        const HRESULT result = handOut(iid, object);
        if (FAILED(result)) {
            ORVEX_LOG(LogLevel::Error, "ClassFactory::CreateInstance",
                      "failed to get a Messenger implementation, hr: " << LogHex(result));
        }
        return result;
    });
}

HRESULT ClassFactory::handOut(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    // Only taking and keeping the object happen under the lock: its creation, the host's
    // log callback and an object's last release may each reach back into the library from
    // another thread, which would then wait on the lock for good.
    if (const auto held = officeIntegrationObject()) {
        // An object handed out before stays, whatever this request asks: Office holds it,
        // with its sinks, and the stop must reach them.
        return held->QueryInterface(iid, object);
    }
    Microsoft::WRL::ComPtr<IntegrationObject> created;
    HRESULT result = IntegrationObject::CreateInstance(created);
    if (FAILED(result)) {
        return result;
    }
    created->initialise();
    // Kept only once it has been handed out: a refused request's object is nobody's, and
    // the next request starts again with a fresh one. Whatever interface was asked for, the
    // answer is an IUnknown, which is all this function needs of it.
    Microsoft::WRL::ComPtr<IUnknown> answered;
    result = created->QueryInterface(iid, reinterpret_cast<void**>(answered.GetAddressOf()));
    if (FAILED(result)) {
        return result;
    }
    Microsoft::WRL::ComPtr<IntegrationObject> held;
    {
        std::unique_lock guard(lock);
        if (!officeIntegration) {
            officeIntegration = created;
            *object = answered.Detach();
            return S_OK;
        }
        held = officeIntegration;
    }
    // Another request kept its object first: every activation receives that one, and this
    // request's answer goes with its object.
    return held->QueryInterface(iid, object);
}

HRESULT ClassFactory::LockServer(BOOL /*lock*/) noexcept { return S_OK; }
