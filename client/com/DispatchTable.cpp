#include "client/com/DispatchTable.h"

#include "client/com/Bstr.h"
#include "client/com/TypeInfoDescription.h"

#include <wrl/client.h>

#include <algorithm>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace orvex::com {

namespace {

using Parameter = DispatchTable::Parameter;

// The system's own rule for the types a VARIANT may hold: no vector or reserved bit, no
// reference to or array of nothing, and only the base types a VARIANT can carry (15 and
// everything from VT_VOID up are refused, but for records and class identifiers).
bool holdableType(VARTYPE type)
{
    const VARTYPE base = type & VT_TYPEMASK;
    if ((type & (VT_VECTOR | VT_RESERVED)) != 0) {
        return false;
    }
    if ((type & (VT_BYREF | VT_ARRAY)) != 0 && base <= VT_NULL) {
        return false;
    }
    return (base < VT_VOID && base != 15) || base == VT_RECORD || base == VT_CLSID;
}

// S_OK when the argument can be passed as the parameter. DISP_E_BADVARTYPE when it, or
// the VARIANT an [in] argument refers to, is of a type no VARIANT may hold: the system's
// dispatch code refuses that only after it has taken its references to the objects in
// the arguments before it, and never gives them back. DISP_E_TYPEMISMATCH when it does
// not fit the parameter.
HRESULT admit(const VARIANT& argument, const Parameter& parameter)
{
    if (!holdableType(argument.vt)) {
        return DISP_E_BADVARTYPE;
    }
    // An [out] argument is checked for its type only (what it refers to is released before
    // the call, see releaseOutValues). Given by value, the system's dispatch code would write the answer back over it, freeing the
    // caller's value under the caller's feet; across processes nothing would come back.
    if (parameter.out) {
        const bool left = parameter.optional && argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
        return (argument.vt & VT_BYREF) != 0 || left ? S_OK : DISP_E_TYPEMISMATCH;
    }
    if (argument.vt == (VT_BYREF | VT_VARIANT) &&
        (argument.pvarVal == nullptr || !holdableType(argument.pvarVal->vt))) {
        return DISP_E_BADVARTYPE;
    }
    // Anything else a VARIANT parameter takes as it comes: copying it here to look inside
    // cost every call a deep copy (arrays of long strings included).
    if (parameter.kind == Parameter::Kind::Anything) {
        return S_OK;
    }
    com::Variant value;
    if (FAILED(VariantCopyInd(&value.get(), const_cast<VARIANT*>(&argument)))) {
        return DISP_E_TYPEMISMATCH;
    }
    const VARIANT& given = value.get();
    if (parameter.optional && given.vt == VT_ERROR && given.scode == DISP_E_PARAMNOTFOUND) {
        return S_OK;
    }
    if (parameter.kind == Parameter::Kind::Object) {
        ComPtr<IUnknown> answered;
        const bool answers =
            (given.vt == VT_UNKNOWN || given.vt == VT_DISPATCH) &&
            (given.punkVal == nullptr ||
             SUCCEEDED(given.punkVal->QueryInterface(parameter.iid, reinterpret_cast<void**>(answered.GetAddressOf()))));
        return answers ? S_OK : DISP_E_TYPEMISMATCH;
    }
    com::Variant converted;
    return given.vt == parameter.type || SUCCEEDED(VariantChangeType(&converted.get(), &value.get(), 0, parameter.type))
               ? S_OK
               : DISP_E_TYPEMISMATCH;
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
            if (FAILED(owner->GetRefTypeInfo(type->hreftype, &next))) {
                return parameter;
            }
            TypeInfoDescription<TYPEATTR> attributes(next.Get());
            if (FAILED(next->GetTypeAttr(attributes.out()))) {
                return parameter;
            }
            if (attributes->typekind == TKIND_ENUM) {
                parameter.kind = Parameter::Kind::Value;
                parameter.type = VT_I4;
                return parameter;
            }
            if (attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH) {
                parameter.kind = Parameter::Kind::Object;
                parameter.iid = attributes->guid;
                return parameter;
            }
            const TYPEDESC& alias = attributes->tdescAlias;
            if (attributes->typekind != TKIND_ALIAS || alias.vt == VT_USERDEFINED || alias.vt == VT_PTR) {
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

std::unique_ptr<DispatchTable> DispatchTable::build(ITypeInfo* typeInfo) noexcept
{
    try {
        TypeInfoDescription<TYPEATTR> attributes(typeInfo);
        if (FAILED(typeInfo->GetTypeAttr(attributes.out()))) {
            return nullptr;
        }
        auto table = std::make_unique<DispatchTable>();
        table->rows_.reserve(attributes->cFuncs);
        for (UINT index = 0; index < attributes->cFuncs; ++index) {
            TypeInfoDescription<FUNCDESC> function(typeInfo);
            if (FAILED(typeInfo->GetFuncDesc(index, function.out()))) {
                return nullptr;
            }
            std::vector<Parameter> parameters;
            for (SHORT at = 0; at < function->cParams; ++at) {
                const ELEMDESC& element = function->lprgelemdescParam[at];
                if ((element.paramdesc.wParamFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) == 0) {
                    Parameter parameter = describe(typeInfo, element);
                    parameter.out = (element.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0;
                    parameter.in = (element.paramdesc.wParamFlags & PARAMFLAG_FIN) != 0;
                    parameter.defaultValue = defaultOf(element, parameter);
                    parameters.push_back(std::move(parameter));
                }
            }
            com::Bstr name;
            if (FAILED(typeInfo->GetDocumentation(function->memid, name.out(), nullptr, nullptr, nullptr))) {
                return nullptr;
            }
            table->rows_.push_back({std::wstring(name.view()), function->memid, function->invkind, std::move(parameters)});
        }
        return table;
    } catch (...) {
        return nullptr;
    }
}

const DispatchTable::Row* DispatchTable::find(std::wstring_view name) const noexcept
{
    const auto row =
        std::find_if(rows_.rbegin(), rows_.rend(), [name](const Row& candidate) { return candidate.name == name; });
    return row == rows_.rend() ? nullptr : &*row;
}

const DispatchTable::Row* DispatchTable::callable(DISPID id, WORD flags, UINT count, bool& tooMany) const noexcept
{
    tooMany = false;
    for (const Row& row : rows_) {
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

namespace {

// The parameter the argument at `at` (counted from the back) is for: named arguments come
// first; a named property value goes to the last parameter. `count` for a name no
// parameter has.
UINT positionOf(UINT at, const DISPPARAMS& parameters, UINT count) noexcept
{
    if (at >= parameters.cNamedArgs) {
        return parameters.cArgs - 1 - at;
    }
    const DISPID named = parameters.rgdispidNamedArgs[at];
    if (named == DISPID_PROPERTYPUT && count > 0) {
        return count - 1;
    }
    return named < 0 || static_cast<UINT>(named) >= count ? count : static_cast<UINT>(named);
}

// Lets go of the value a by-reference argument refers to and leaves it empty.
void releaseReferred(VARIANT& argument) noexcept
{
    if ((argument.vt & VT_BYREF) == 0 || argument.byref == nullptr) {
        return;
    }
    if ((argument.vt & VT_ARRAY) != 0) {
        SafeArrayDestroy(std::exchange(*argument.pparray, nullptr));
        return;
    }
    switch (argument.vt & VT_TYPEMASK) {
    case VT_VARIANT:
        VariantClear(argument.pvarVal);
        break;
    case VT_BSTR:
        SysFreeString(std::exchange(*argument.pbstrVal, nullptr));
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (IUnknown* const held = std::exchange(*argument.ppunkVal, nullptr)) {
            held->Release();
        }
        break;
    default:
        break;
    }
}

} // namespace

void DispatchTable::releaseOutValues(const Row& row, const DISPPARAMS& parameters) noexcept
{
    const UINT count = static_cast<UINT>(row.parameters.size());
    for (UINT at = 0; at < parameters.cArgs; ++at) {
        const UINT position = positionOf(at, parameters, count);
        if (position < count && row.parameters[position].out && !row.parameters[position].in) {
            releaseReferred(parameters.rgvarg[at]);
        }
    }
}

HRESULT DispatchTable::checkArguments(const Row& row, const DISPPARAMS& parameters, UINT* argumentError)
{
    const UINT count = static_cast<UINT>(row.parameters.size());
    std::vector<bool> given(count, false);
    for (UINT at = 0; at < parameters.cArgs; ++at) {
        const UINT position = positionOf(at, parameters, count);
        if (position >= count) {
            if (at < parameters.cNamedArgs) {
                return DISP_E_PARAMNOTFOUND;
            }
            continue;
        }
        if (given[position]) {
            return DISP_E_PARAMNOTFOUND;
        }
        given[position] = true;
        const HRESULT refused = admit(parameters.rgvarg[at], row.parameters[position]);
        if (FAILED(refused)) {
            if (argumentError != nullptr) {
                *argumentError = at;
            }
            return refused;
        }
    }
    return S_OK;
}

HRESULT DispatchTable::placeArguments(const Row& row, const DISPPARAMS& parameters, std::vector<VARIANT>& ordered)
{
    const UINT count = static_cast<UINT>(row.parameters.size());
    std::vector<const VARIANT*> given(count, nullptr);
    UINT needed = parameters.cArgs - parameters.cNamedArgs;
    for (UINT at = 0; at < parameters.cArgs; ++at) {
        const UINT position = positionOf(at, parameters, count);
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

} // namespace orvex::com
