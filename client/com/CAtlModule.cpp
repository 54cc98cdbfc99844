#include "client/com/CAtlModule.h"

#include <mutex>

namespace {

// The system's global interface table class, {00000323-0000-0000-C000-000000000046}.
constexpr CLSID kStdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

} // namespace

namespace orvex::com {

std::atomic<CAtlModule*> CAtlModule::current_{nullptr};

CAtlModule::CAtlModule(const Identity& identity) noexcept : identity_(identity)
{
    CAtlModule* none = nullptr;
    current_.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

CAtlModule::~CAtlModule()
{
    std::vector<std::pair<CleanUp, void*>> cleanUps;
    {
        std::lock_guard lock(cleanUpLock_);
        cleanUps.swap(cleanUps_);
    }
    for (auto entry = cleanUps.rbegin(); entry != cleanUps.rend(); ++entry) {
        entry->first(entry->second);
    }
    if (IGlobalInterfaceTable* table = globalInterfaceTable_.exchange(nullptr)) {
        table->Release();
    }
    CAtlModule* self = this;
    current_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

LONG CAtlModule::Lock() noexcept { return lockCount_.fetch_add(1) + 1; }

LONG CAtlModule::Unlock() noexcept { return lockCount_.fetch_sub(1) - 1; }

LONG CAtlModule::GetLockCount() const noexcept { return lockCount_.load(); }

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** table) noexcept
{
    if (table == nullptr) {
        return E_POINTER;
    }
    IGlobalInterfaceTable* cached = globalInterfaceTable_.load(std::memory_order_acquire);
    if (cached == nullptr) {
        IGlobalInterfaceTable* created = nullptr;
        const HRESULT result = CoCreateInstance(kStdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                                __uuidof(IGlobalInterfaceTable), reinterpret_cast<void**>(&created));
        if (FAILED(result)) {
            return result;
        }
        // Two threads may create one each at the same time; the first to store wins.
        if (globalInterfaceTable_.compare_exchange_strong(cached, created, std::memory_order_acq_rel)) {
            cached = created;
        } else {
            created->Release();
        }
    }
    cached->AddRef();
    *table = cached;
    return S_OK;
}

HRESULT CAtlModule::AddTermFunc(CleanUp cleanUp, void* context) noexcept
{
    try {
        std::lock_guard lock(cleanUpLock_);
        cleanUps_.emplace_back(cleanUp, context);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace orvex::com
