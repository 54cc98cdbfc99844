#include "client/com/CComTypeInfoHolder.h"

#include "client/com/CAtlModule.h"

#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace orvex::com {

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) noexcept
{
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    if (typeInfo == nullptr) {
        return E_POINTER;
    }
    *typeInfo = nullptr;
    const HRESULT result = load(locale);
    if (SUCCEEDED(result)) {
        ITypeInfo* loaded = typeInfo_.load(std::memory_order_acquire);
        loaded->AddRef();
        *typeInfo = loaded;
    }
    return result;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) noexcept
{
    // The system's lookup reads the first name whatever the count, and every name and
    // identifier the count promises unchecked: exactly `count` of each are touched here,
    // and none for a count of zero, which names nothing.
    if (count == 0) {
        return E_INVALIDARG;
    }
    if (ids == nullptr || names == nullptr) {
        return E_POINTER;
    }
    if (std::any_of(names, names + count, [](LPOLESTR name) { return name == nullptr; })) {
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        return DISP_E_UNKNOWNNAME;
    }
    const HRESULT result = load(locale);
    if (FAILED(result)) {
        return result;
    }
    const DispatchTable* table = table_.load(std::memory_order_acquire);
    if (count == 1 && table != nullptr) {
        if (const DispatchTable::Row* row = table->find(names[0])) {
            ids[0] = row->id;
            return S_OK;
        }
    }
    return typeInfo_.load(std::memory_order_acquire)->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* self, DISPID member, REFIID /*iid*/, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) noexcept
{
    const HRESULT loaded = load(locale);
    if (FAILED(loaded)) {
        return loaded;
    }
    if (parameters != nullptr &&
        ((parameters->cArgs > 0 && parameters->rgvarg == nullptr) || parameters->cNamedArgs > parameters->cArgs ||
         (parameters->cNamedArgs > 0 && parameters->rgdispidNamedArgs == nullptr))) {
        return E_INVALIDARG;
    }
    // The system's dispatch code takes arguments beyond a property's own for an index into
    // the object the property returns, and loses references when an argument does not
    // convert or the member is not found: all three are answered here, before it runs.
    const DispatchTable* table = table_.load(std::memory_order_acquire);
    if (table != nullptr && parameters != nullptr) {
        bool tooMany = false;
        const DispatchTable::Row* row = table->callable(member, flags, parameters->cArgs, tooMany);
        if (tooMany) {
            return DISP_E_BADPARAMCOUNT;
        }
        // A member this interface does not have, or not of this kind: its search through
        // the inherited interfaces loses references too.
        if (row == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const HRESULT checked = DispatchTable::checkArguments(*row, *parameters, argumentError);
        if (FAILED(checked)) {
            return checked;
        }
        DispatchTable::releaseOutValues(*row, *parameters);
        std::vector<VARIANT> ordered;
        HRESULT placed = E_OUTOFMEMORY;
        try {
            placed = DispatchTable::placeArguments(*row, *parameters, ordered);
        } catch (const std::bad_alloc&) {
        }
        if (FAILED(placed)) {
            return placed;
        }
        if (placed == S_OK) {
            DISPPARAMS inPlace{ordered.data(), nullptr, static_cast<UINT>(ordered.size()), 0};
            return typeInfo_.load(std::memory_order_acquire)
                ->Invoke(self, member, flags, &inPlace, result, exception, argumentError);
        }
    }
    return typeInfo_.load(std::memory_order_acquire)
        ->Invoke(self, member, flags, parameters, result, exception, argumentError);
}

HRESULT CComTypeInfoHolder::load(LCID locale) noexcept
{
    if (typeInfo_.load(std::memory_order_acquire) != nullptr) {
        return S_OK;
    }
    CAtlModule* module = CAtlModule::current();
    if (module == nullptr) {
        return E_UNEXPECTED;
    }
    std::lock_guard lock(module->typeInfoSection());
    if (typeInfo_.load(std::memory_order_acquire) != nullptr) {
        return S_OK;
    }

    const CAtlModule::Identity& identity = module->identity();
    ComPtr<ITypeLib> library;
    HRESULT result = LoadRegTypeLib(identity.libraryId, identity.libraryMajorVersion, identity.libraryMinorVersion,
                                    locale, &library);
    if (FAILED(result)) {
        return result;
    }
    ComPtr<ITypeInfo> typeInfo;
    result = library->GetTypeInfoOfGuid(*iid_, &typeInfo);
    if (FAILED(result)) {
        return result;
    }
    ComPtr<ITypeInfo2> typeInfo2;
    if (SUCCEEDED(typeInfo.As(&typeInfo2))) {
        typeInfo = typeInfo2;
    }
    result = module->AddTermFunc(&cleanUp, this);
    if (FAILED(result)) {
        return result;
    }
    // The names first: a reader that sees the type information sees its names.
    table_.store(DispatchTable::build(typeInfo.Get()).release(), std::memory_order_release);
    typeInfo_.store(typeInfo.Detach(), std::memory_order_release);
    return S_OK;
}

void CComTypeInfoHolder::cleanUp(void* context) noexcept
{
    auto* holder = static_cast<CComTypeInfoHolder*>(context);
    if (ITypeInfo* typeInfo = holder->typeInfo_.exchange(nullptr)) {
        typeInfo->Release();
    }
    const std::unique_ptr<DispatchTable> table(holder->table_.exchange(nullptr));
}

} // namespace orvex::com
