#include "client/com/CComTypeInfoHolder.h"

#include "client/com/Bstr.h"
#include "client/com/CAtlModule.h"

#include <wrl/client.h>

#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace orvex::atl {

struct CComTypeInfoHolder::NameTable {
    struct Row {
        std::wstring name;
        DISPID id;
    };
    std::vector<Row> rows;
};

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
    const HRESULT result = load(locale);
    if (FAILED(result)) {
        return result;
    }
    const NameTable* table = names_.load(std::memory_order_acquire);
    if (count == 1 && table != nullptr && names != nullptr && names[0] != nullptr && ids != nullptr) {
        const std::wstring_view name(names[0]);
        for (auto row = table->rows.rbegin(); row != table->rows.rend(); ++row) {
            if (row->name == name) {
                ids[0] = row->id;
                return S_OK;
            }
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
    return typeInfo_.load(std::memory_order_acquire)
        ->Invoke(self, member, flags, parameters, result, exception, argumentError);
}

HRESULT CComTypeInfoHolder::load(LCID locale) noexcept
{
    if (typeInfo_.load(std::memory_order_acquire) != nullptr) {
        return S_OK;
    }
    CAtlModule* module = CAtlModule::current();
    if (module == nullptr || module->initialisationFailed()) {
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
    names_.store(buildNameTable(typeInfo.Get()).release(), std::memory_order_release);
    typeInfo_.store(typeInfo.Detach(), std::memory_order_release);
    return S_OK;
}

void CComTypeInfoHolder::cleanUp(void* context) noexcept
{
    auto* holder = static_cast<CComTypeInfoHolder*>(context);
    if (ITypeInfo* typeInfo = holder->typeInfo_.exchange(nullptr)) {
        typeInfo->Release();
    }
    const std::unique_ptr<NameTable> names(holder->names_.exchange(nullptr));
}

std::unique_ptr<CComTypeInfoHolder::NameTable> CComTypeInfoHolder::buildNameTable(ITypeInfo* typeInfo) noexcept
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attributes))) {
        return nullptr;
    }
    const WORD functionCount = attributes->cFuncs;
    typeInfo->ReleaseTypeAttr(attributes);

    try {
        auto table = std::make_unique<NameTable>();
        table->rows.reserve(functionCount);
        for (UINT index = 0; index < functionCount; ++index) {
            FUNCDESC* function = nullptr;
            if (FAILED(typeInfo->GetFuncDesc(index, &function))) {
                return nullptr;
            }
            const MEMBERID id = function->memid;
            typeInfo->ReleaseFuncDesc(function);
            com::Bstr name;
            if (FAILED(typeInfo->GetDocumentation(id, name.out(), nullptr, nullptr, nullptr))) {
                return nullptr;
            }
            table->rows.push_back({std::wstring(name.view()), id});
        }
        return table;
    } catch (...) {
        return nullptr;
    }
}

} // namespace orvex::atl
