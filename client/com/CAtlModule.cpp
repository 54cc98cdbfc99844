#include "client/com/CAtlModule.h"

#include <iterator>
#include <mutex>

// The image the module's code lives in: the library itself, or a test program that
// links the library's objects.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The system's global interface table class, {00000323-0000-0000-C000-000000000046}.
constexpr CLSID kStdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

} // namespace

namespace orvex::atl {

std::atomic<CAtlModule*> CAtlModule::current_{nullptr};
std::atomic<bool> CAtlModule::processEnding_{false};

CAtlModule::CAtlModule(const Identity& identity, CriticalSection::Initialiser initialise,
                       DebuggerOutput debuggerOutput) noexcept
    : instance_(reinterpret_cast<HINSTANCE>(&__ImageBase)), identity_(identity), criticalSection_(initialise)
{
    if (!criticalSection_.valid()) {
        initialisationFailed_ = true;
        debuggerOutput("ERROR : Unable to initialize critical section in CAtlBaseModule\n");
    }
    CAtlModule* none = nullptr;
    current_.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

CAtlModule::~CAtlModule()
{
    if (processEnding()) {
        CAtlModule* self = this;
        current_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
        return;
    }
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

HRESULT CAtlModule::AddCommonRGSReplacements(RgsReplacements& replacements) noexcept
{
    wchar_t appId[39] = {};
    if (StringFromGUID2(identity_.appId, appId, static_cast<int>(std::size(appId))) == 0) {
        return E_FAIL;
    }
    try {
        replacements.emplace_back(L"APPID", appId);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
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

void CAtlModule::writeToAttachedDebugger(const char* text) noexcept
{
    if (IsDebuggerPresent()) {
        OutputDebugStringA(text);
    }
}

} // namespace orvex::atl
