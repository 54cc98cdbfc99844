#include "client/com/CComTypeInfoHolder.h"

#include "client/com/Bstr.h"
#include "client/com/CAtlModule.h"
#include "client/com/Variant.h"

#include <wrl/client.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace orvex::atl {

struct CComTypeInfoHolder::NameTable {
    // What a caller's argument must be for one parameter.
    struct Parameter {
        enum class Kind { Anything, Value, Object };
        Kind kind = Kind::Anything;
        VARTYPE type = VT_EMPTY; // a Value's type
        IID iid = IID_IUnknown;  // an Object's interface
        bool optional = false;
        bool out = false;
        // What a caller who leaves the parameter out passes, converted to the parameter's
        // type; empty without a default.
        com::Variant defaultValue;
    };
    struct Row {
        std::wstring name;
        DISPID id;
        INVOKEKIND kind;
        // The parameters a caller passes: all but the return value.
        std::vector<Parameter> parameters;
    };
    std::vector<Row> rows;

    // The member `id` that `flags` may call with `count` arguments; null for an unknown
    // member or kind.
    const Row* callable(DISPID id, WORD flags, UINT count, bool& tooMany) const
    {
        tooMany = false;
        for (const Row& row : rows) {
            const bool kindMatches = ((flags & DISPATCH_METHOD) != 0 && row.kind == INVOKE_FUNC) ||
                                     ((flags & DISPATCH_PROPERTYGET) != 0 && row.kind == INVOKE_PROPERTYGET) ||
                                     ((flags & DISPATCH_PROPERTYPUT) != 0 && row.kind == INVOKE_PROPERTYPUT) ||
                                     ((flags & DISPATCH_PROPERTYPUTREF) != 0 && row.kind == INVOKE_PROPERTYPUTREF);
            if (row.id == id && kindMatches) {
                if (count <= row.parameters.size()) {
                    tooMany = false;
                    return &row;
                }
                tooMany = true;
            }
        }
        return nullptr;
    }
};

namespace {

using Parameter = CComTypeInfoHolder::NameTable::Parameter;

// Whether one argument can be passed as the parameter. Checked before the system's
// dispatch code runs: when that code fails to convert an argument it loses the references
// it took to the objects in the arguments before it.
bool fits(const VARIANT& argument, const Parameter& parameter)
{
    // The system's dispatch code writes an [out] argument given by value back over it,
    // freeing the caller's value under the caller's feet; across processes nothing would
    // come back at all.
    if (parameter.out && (argument.vt & VT_BYREF) == 0) {
        return parameter.optional && argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
    }
    if (parameter.kind == Parameter::Kind::Anything) {
        return true;
    }
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(&argument)))) {
        return false;
    }
    bool fitting = false;
    if (parameter.optional && value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND) {
        fitting = true;
    } else if (parameter.kind == Parameter::Kind::Object) {
        if (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) {
            ComPtr<IUnknown> answered;
            fitting = value.punkVal == nullptr ||
                      SUCCEEDED(value.punkVal->QueryInterface(parameter.iid,
                                                              reinterpret_cast<void**>(answered.GetAddressOf())));
        }
    } else if (value.vt == parameter.type) {
        fitting = true;
    } else {
        VARIANT converted;
        VariantInit(&converted);
        fitting = SUCCEEDED(VariantChangeType(&converted, &value, 0, parameter.type));
        VariantClear(&converted);
    }
    VariantClear(&value);
    return fitting;
}

// DISP_E_TYPEMISMATCH (and the argument's index) for the first argument that does not
// fit its parameter; DISP_E_PARAMNOTFOUND for an argument named by no parameter, or for a
// parameter given twice (the system would overwrite the first without releasing it).
HRESULT checkArguments(const CComTypeInfoHolder::NameTable::Row& row, const DISPPARAMS& parameters,
                       UINT* argumentError)
{
    const UINT count = static_cast<UINT>(row.parameters.size());
    std::vector<bool> given(count, false);
    for (UINT at = 0; at < parameters.cArgs; ++at) {
        UINT position = parameters.cArgs - 1 - at;
        if (at < parameters.cNamedArgs) {
            const DISPID named = parameters.rgdispidNamedArgs[at];
            if (named == DISPID_PROPERTYPUT && count > 0) {
                position = count - 1;
            } else if (named < 0 || static_cast<UINT>(named) >= count) {
                return DISP_E_PARAMNOTFOUND;
            } else {
                position = static_cast<UINT>(named);
            }
        }
        if (position < count && given[position]) {
            return DISP_E_PARAMNOTFOUND;
        }
        if (position < count) {
            given[position] = true;
        }
        if (position < count && !fits(parameters.rgvarg[at], row.parameters[position])) {
            if (argumentError != nullptr) {
                *argumentError = at;
            }
            return DISP_E_TYPEMISMATCH;
        }
    }
    return S_OK;
}

// The system's dispatch code releases its copies of the first `cArgs` parameters only, and
// of optional ones with a default: an argument named for a parameter at or beyond the
// argument count is copied and never released (an object in it stays referenced for
// good). Such calls are handed on with every argument in its place instead, and each
// parameter the caller left out given what the system would give it. `ordered` borrows
// from the caller's arguments and the name table's defaults; S_FALSE when the call can go
// as it is.
HRESULT placeArguments(const CComTypeInfoHolder::NameTable::Row& row, const DISPPARAMS& parameters,
                       std::vector<VARIANT>& ordered)
{
    const UINT count = static_cast<UINT>(row.parameters.size());
    std::vector<const VARIANT*> given(count, nullptr);
    UINT needed = parameters.cArgs - parameters.cNamedArgs;
    for (UINT at = 0; at < parameters.cArgs; ++at) {
        UINT position = parameters.cArgs - 1 - at;
        if (at < parameters.cNamedArgs) {
            const DISPID named = parameters.rgdispidNamedArgs[at];
            position = named == DISPID_PROPERTYPUT ? count - 1 : static_cast<UINT>(named);
        }
        given[position] = &parameters.rgvarg[at];
        needed = std::max(needed, position + 1);
    }
    if (needed <= parameters.cArgs) {
        return S_FALSE;
    }
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    ordered.assign(needed, missing);
    for (UINT position = 0; position < needed; ++position) {
        const Parameter& parameter = row.parameters[position];
        const VARIANT* argument = given[position];
        VARIANT& into = ordered[needed - 1 - position];
        if (argument != nullptr) {
            into = *argument;
        } else if (parameter.defaultValue.type() != VT_EMPTY) {
            into = parameter.defaultValue.get();
        } else if (!parameter.optional) {
            return DISP_E_PARAMNOTFOUND;
        }
    }
    return S_OK;
}

// The default of an optional parameter as the type of the parameter: a null object for
// an object (whose default is written as the number 0).
com::Variant defaultOf(const ELEMDESC& element, const Parameter& parameter)
{
    com::Variant value;
    if ((element.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) == 0 || element.paramdesc.pparamdescex == nullptr) {
        return value;
    }
    const VARIANT& written = element.paramdesc.pparamdescex->varDefaultValue;
    switch (parameter.kind) {
    case Parameter::Kind::Object:
        value.get().vt = parameter.iid == IID_IUnknown ? VT_UNKNOWN : VT_DISPATCH;
        value.get().punkVal = nullptr;
        break;
    case Parameter::Kind::Value:
        if (FAILED(VariantChangeType(&value.get(), const_cast<VARIANT*>(&written), 0, parameter.type))) {
            VariantInit(&value.get());
        }
        break;
    case Parameter::Kind::Anything:
        value = com::Variant(written);
        break;
    }
    return value;
}

Parameter describe(ITypeInfo* owner, const ELEMDESC& element)
{
    Parameter parameter;
    parameter.optional = (element.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0;
    const TYPEDESC* type = &element.tdesc;
    ComPtr<ITypeInfo> referenced;
    for (int depth = 0; depth < 4; ++depth) {
        switch (type->vt) {
        case VT_VARIANT:
            return parameter;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            parameter.kind = Parameter::Kind::Object;
            parameter.iid = type->vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
            return parameter;
        case VT_SAFEARRAY:
            return parameter; // left to the type information
        case VT_PTR:
            type = type->lptdesc;
            if (type->vt != VT_USERDEFINED) {
                return parameter;
            }
            continue;
        case VT_USERDEFINED: {
            ComPtr<ITypeInfo> next;
            TYPEATTR* attributes = nullptr;
            if (FAILED((referenced ? referenced.Get() : owner)->GetRefTypeInfo(type->hreftype, &next)) ||
                FAILED(next->GetTypeAttr(&attributes))) {
                return parameter;
            }
            const TYPEKIND kind = attributes->typekind;
            const IID iid = attributes->guid;
            const TYPEDESC alias = attributes->tdescAlias;
            next->ReleaseTypeAttr(attributes);
            if (kind == TKIND_ENUM) {
                parameter.kind = Parameter::Kind::Value;
                parameter.type = VT_I4;
                return parameter;
            }
            if (kind == TKIND_INTERFACE || kind == TKIND_DISPATCH) {
                parameter.kind = Parameter::Kind::Object;
                parameter.iid = iid;
                return parameter;
            }
            if (kind != TKIND_ALIAS || alias.vt == VT_USERDEFINED || alias.vt == VT_PTR) {
                return parameter;
            }
            parameter.kind = Parameter::Kind::Value;
            parameter.type = alias.vt;
            return parameter;
        }
        default:
            parameter.kind = Parameter::Kind::Value;
            parameter.type = type->vt == VT_HRESULT ? static_cast<VARTYPE>(VT_ERROR) : type->vt;
            return parameter;
        }
    }
    return parameter;
}

} // namespace

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
    // The system's lookup writes through the identifiers and reads every name unchecked.
    if (ids == nullptr || (count > 0 && names == nullptr)) {
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
    const NameTable* table = names_.load(std::memory_order_acquire);
    if (count == 1 && table != nullptr) {
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
    if (parameters != nullptr &&
        ((parameters->cArgs > 0 && parameters->rgvarg == nullptr) || parameters->cNamedArgs > parameters->cArgs ||
         (parameters->cNamedArgs > 0 && parameters->rgdispidNamedArgs == nullptr))) {
        return E_INVALIDARG;
    }
    // The system's dispatch code takes arguments beyond a property's own for an index into
    // the object the property returns, and loses references when an argument does not
    // convert or the member is not found: all three are answered here, before it runs.
    const NameTable* table = names_.load(std::memory_order_acquire);
    if (table != nullptr && parameters != nullptr) {
        bool tooMany = false;
        const NameTable::Row* row = table->callable(member, flags, parameters->cArgs, tooMany);
        if (tooMany) {
            return DISP_E_BADPARAMCOUNT;
        }
        // A member this interface does not have, or not of this kind: its search through
        // the inherited interfaces loses references too.
        if (row == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const HRESULT checked = checkArguments(*row, *parameters, argumentError);
        if (FAILED(checked)) {
            return checked;
        }
        std::vector<VARIANT> ordered;
        HRESULT placed = E_OUTOFMEMORY;
        try {
            placed = placeArguments(*row, *parameters, ordered);
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
            const INVOKEKIND kind = function->invkind;
            std::vector<NameTable::Parameter> parameters;
            for (SHORT at = 0; at < function->cParams; ++at) {
                const ELEMDESC& element = function->lprgelemdescParam[at];
                if ((element.paramdesc.wParamFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) == 0) {
                    Parameter parameter = describe(typeInfo, element);
                    parameter.out = (element.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0;
                    parameter.defaultValue = defaultOf(element, parameter);
                    parameters.push_back(std::move(parameter));
                }
            }
            typeInfo->ReleaseFuncDesc(function);
            com::Bstr name;
            if (FAILED(typeInfo->GetDocumentation(id, name.out(), nullptr, nullptr, nullptr))) {
                return nullptr;
            }
            table->rows.push_back({std::wstring(name.view()), id, kind, std::move(parameters)});
        }
        return table;
    } catch (...) {
        return nullptr;
    }
}

} // namespace orvex::atl
