#include "tools/fuzz/TypeCatalog.h"

#include "client/com/TypeInfoDescription.h"

#include <oleauto.h>

#include <algorithm>
#include <memory>

using Microsoft::WRL::ComPtr;

namespace {

// The type attributes, lent by the type information and handed back to it.
struct TypeAttributes {
    ITypeInfo* info;
    TYPEATTR* attributes = nullptr;
    explicit TypeAttributes(ITypeInfo* owner) : info(owner) { info->GetTypeAttr(&attributes); }
    ~TypeAttributes()
    {
        if (attributes != nullptr) {
            info->ReleaseTypeAttr(attributes);
        }
    }
    TypeAttributes(const TypeAttributes&) = delete;
    TypeAttributes& operator=(const TypeAttributes&) = delete;
};

std::wstring nameOf(ITypeInfo* info, MEMBERID member)
{
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(member, &name, nullptr, nullptr, nullptr)) || name == nullptr) {
        return L"?";
    }
    std::wstring text(name, SysStringLen(name));
    SysFreeString(name);
    return text;
}

ParamType simple(ParamType::Kind kind, VARTYPE vt)
{
    ParamType type;
    type.kind = kind;
    type.vt = vt;
    return type;
}

ParamType integer(VARTYPE vt)
{
    return simple(ParamType::Kind::Integer, vt);
}

} // namespace

std::string TypeCatalog::narrow(const std::wstring& text)
{
    std::string result;
    result.reserve(text.size());
    for (const wchar_t c : text) {
        result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return result;
}

HRESULT TypeCatalog::load(const std::wstring& path)
{
    const HRESULT loaded = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(loaded)) {
        return loaded;
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(index, &info))) {
            continue;
        }
        TypeAttributes attributes(info.Get());
        if (attributes.attributes == nullptr) {
            continue;
        }
        const TYPEATTR& described = *attributes.attributes;
        const bool dual = (described.wTypeFlags & TYPEFLAG_FDUAL) != 0;
        if (described.typekind == TKIND_DISPATCH && dual) {
            // The vtable half of a dual interface carries the slots and parameter types.
            HREFTYPE vtableHalf = 0;
            ComPtr<ITypeInfo> interfaceInfo;
            if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf)) &&
                SUCCEEDED(info->GetRefTypeInfo(vtableHalf, &interfaceInfo))) {
                TypeAttributes interfaceAttributes(interfaceInfo.Get());
                if (interfaceAttributes.attributes != nullptr) {
                    entries.push_back(describe(interfaceInfo.Get(), *interfaceAttributes.attributes, true));
                }
            }
        } else if (described.typekind == TKIND_DISPATCH || described.typekind == TKIND_INTERFACE) {
            entries.push_back(describe(info.Get(), described, dual));
        }
    }
    std::sort(dispids.begin(), dispids.end());
    dispids.erase(std::unique(dispids.begin(), dispids.end()), dispids.end());
    return S_OK;
}

InterfaceEntry TypeCatalog::describe(ITypeInfo* info, const TYPEATTR& attributes, bool dual)
{
    InterfaceEntry entry;
    entry.name = nameOf(info, MEMBERID_NIL);
    entry.iid = attributes.guid;
    entry.dual = dual || attributes.typekind == TKIND_DISPATCH;
    addMembers(info, attributes, entry);
    return entry;
}

void TypeCatalog::addMembers(ITypeInfo* info, const TYPEATTR& attributes, InterfaceEntry& entry)
{
    // The members an interface inherits from one of the library's own come first, in their
    // vtable slots: Office calls them through the derived interface.
    HREFTYPE baseReference = 0;
    ComPtr<ITypeInfo> base;
    if (attributes.typekind == TKIND_INTERFACE && attributes.cImplTypes > 0 &&
        SUCCEEDED(info->GetRefTypeOfImplType(0, &baseReference)) &&
        SUCCEEDED(info->GetRefTypeInfo(baseReference, &base))) {
        TypeAttributes baseAttributes(base.Get());
        if (baseAttributes.attributes != nullptr && !IsEqualIID(baseAttributes.attributes->guid, IID_IDispatch) &&
            !IsEqualIID(baseAttributes.attributes->guid, IID_IUnknown)) {
            addMembers(base.Get(), *baseAttributes.attributes, entry);
        }
    }
    for (UINT index = 0; index < attributes.cFuncs; ++index) {
        orvex::com::TypeInfoDescription<FUNCDESC> function(info);
        if (FAILED(info->GetFuncDesc(index, function.out()))) {
            continue;
        }
        Member member;
        member.name = nameOf(info, function->memid);
        member.dispid = function->memid;
        member.invokeKind = function->invkind;
        member.vtableOffset = function->oVft;
        dispids.push_back(function->memid);
        for (SHORT at = 0; at < function->cParams; ++at) {
            const ELEMDESC& element = function->lprgelemdescParam[at];
            const USHORT flags = element.paramdesc.wParamFlags;
            Param param;
            param.out = (flags & PARAMFLAG_FOUT) != 0;
            param.retval = (flags & PARAMFLAG_FRETVAL) != 0;
            param.optional = (flags & PARAMFLAG_FOPT) != 0;
            const TYPEDESC& declared = element.tdesc;
            if (param.out) {
                param.type = declared.vt == VT_PTR ? typeOf(info, *declared.lptdesc) : ParamType{};
            } else {
                param.type = typeOf(info, declared);
            }
            if (param.type.kind == ParamType::Kind::Unsupported) {
                member.callableThroughVtable = false;
            }
            member.params.push_back(std::move(param));
        }
        // A pure dispinterface has no vtable of its own beyond IDispatch.
        if (attributes.typekind == TKIND_DISPATCH) {
            member.callableThroughVtable = false;
        }
        entry.members.push_back(std::move(member));
    }
}

ParamType TypeCatalog::typeOf(ITypeInfo* owner, const TYPEDESC& description)
{
    switch (description.vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_HRESULT:
    case VT_ERROR:
        return integer(description.vt == VT_HRESULT ? static_cast<VARTYPE>(VT_ERROR) : description.vt);
    case VT_BOOL:
        return simple(ParamType::Kind::Boolean, VT_BOOL);
    case VT_R4:
    case VT_R8:
        return simple(ParamType::Kind::Real, description.vt);
    case VT_DATE:
        return simple(ParamType::Kind::Date, VT_DATE);
    case VT_CY:
        return simple(ParamType::Kind::Currency, VT_CY);
    case VT_BSTR:
        return simple(ParamType::Kind::Text, VT_BSTR);
    case VT_VARIANT:
        return simple(ParamType::Kind::Variant, VT_VARIANT);
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        ParamType type;
        type.kind = ParamType::Kind::Object;
        type.vt = description.vt;
        type.iid = description.vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
        return type;
    }
    case VT_SAFEARRAY: {
        const ParamType element = typeOf(owner, *description.lptdesc);
        ParamType type;
        type.kind = ParamType::Kind::Array;
        type.vt = VT_ARRAY;
        type.elementVt = element.vt;
        type.elementEnumValues = element.enumValues;
        if (element.kind == ParamType::Kind::Unsupported || element.kind == ParamType::Kind::Array) {
            type.kind = ParamType::Kind::Unsupported;
        }
        return type;
    }
    case VT_PTR: {
        // Only an interface pointer is an [in] pointer that a caller can fill.
        const ParamType pointee = typeOf(owner, *description.lptdesc);
        return pointee.kind == ParamType::Kind::Object ? pointee : ParamType{};
    }
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> referenced;
        if (FAILED(owner->GetRefTypeInfo(description.hreftype, &referenced))) {
            return {};
        }
        TypeAttributes attributes(referenced.Get());
        if (attributes.attributes == nullptr) {
            return {};
        }
        const TYPEATTR& described = *attributes.attributes;
        switch (described.typekind) {
        case TKIND_ENUM: {
            ParamType type = integer(VT_I4);
            type.enumValues = enumValuesOf(referenced.Get());
            return type;
        }
        case TKIND_ALIAS:
            return typeOf(referenced.Get(), described.tdescAlias);
        case TKIND_INTERFACE:
        case TKIND_DISPATCH: {
            ParamType type;
            type.kind = ParamType::Kind::Object;
            type.vt = described.typekind == TKIND_DISPATCH || (described.wTypeFlags & TYPEFLAG_FDUAL) != 0
                          ? VT_DISPATCH
                          : VT_UNKNOWN;
            type.iid = described.guid;
            return type;
        }
        default:
            return {};
        }
    }
    default:
        return {};
    }
}

std::vector<LONG> TypeCatalog::enumValuesOf(ITypeInfo* enumeration)
{
    std::vector<LONG> values;
    TypeAttributes attributes(enumeration);
    if (attributes.attributes == nullptr) {
        return values;
    }
    for (UINT index = 0; index < attributes.attributes->cVars; ++index) {
        orvex::com::TypeInfoDescription<VARDESC> variable(enumeration);
        if (SUCCEEDED(enumeration->GetVarDesc(index, variable.out()))) {
            VARIANT value;
            VariantInit(&value);
            if (variable->varkind == VAR_CONST && SUCCEEDED(VariantChangeType(&value, variable->lpvarValue, 0, VT_I4))) {
                values.push_back(V_I4(&value));
            }
        }
    }
    std::sort(values.begin(), values.end());
    return values;
}
