#include "tools/fuzz/TypeCatalog.h"

#include "client/com/Bstr.h"
#include "client/com/TypeInfoDescription.h"

#include <oleauto.h>
#include <ocidl.h>
#include <servprov.h>
#include <wrl/client.h>

#include <algorithm>
#include <sstream>

using Microsoft::WRL::ComPtr;
using orvex::com::TypeInfoDescription;

namespace {

struct SystemInterface {
    const char* name;
    IID iid;
    const char* members; // in the order MemberCaller calls them by
};

// No type library describes these.
const SystemInterface kSystemInterfaces[] = {
    {"IUnknown", IID_IUnknown, "QueryInterface"},
    {"IDispatch", IID_IDispatch, "GetTypeInfoCount GetTypeInfo GetIDsOfNames"},
    {"IConnectionPointContainer", IID_IConnectionPointContainer, "FindConnectionPoint EnumConnectionPoints"},
    {"IConnectionPoint", IID_IConnectionPoint,
     "GetConnectionInterface GetConnectionPointContainer Advise Unadvise EnumConnections"},
    {"IEnumConnectionPoints", IID_IEnumConnectionPoints, "Next Skip Reset Clone"},
    {"IEnumConnections", IID_IEnumConnections, "Next Skip Reset Clone"},
    {"IServiceProvider", IID_IServiceProvider, "QueryService"},
    {"IClassFactory", IID_IClassFactory, "CreateInstance LockServer"},
};

std::string nameOf(ITypeInfo* info, MEMBERID member)
{
    orvex::com::Bstr name;
    info->GetDocumentation(member, name.out(), nullptr, nullptr, nullptr);
    return name.toUtf8();
}

std::vector<LONG> enumValuesOf(ITypeInfo* enumeration, UINT count)
{
    std::vector<LONG> values;
    for (UINT index = 0; index < count; ++index) {
        TypeInfoDescription<VARDESC> variable(enumeration);
        VARIANT value{};
        if (SUCCEEDED(enumeration->GetVarDesc(index, variable.out())) && variable->varkind == VAR_CONST &&
            SUCCEEDED(VariantChangeType(&value, variable->lpvarValue, 0, VT_I4))) {
            values.push_back(V_I4(&value));
        }
    }
    std::sort(values.begin(), values.end());
    return values;
}

} // namespace

HRESULT TypeCatalog::load(const std::wstring& path)
{
    ComPtr<ITypeLib> library;
    const HRESULT loaded = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    for (UINT index = 0; SUCCEEDED(loaded) && index < library->GetTypeInfoCount(); ++index) {
        ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(index, &info))) {
            continue;
        }
        TypeInfoDescription<TYPEATTR> attributes(info.Get());
        // A system interface in the library (IClassFactory) is described in its wire form,
        // not as its vtable is: it is called as the system declares it.
        if (FAILED(info->GetTypeAttr(attributes.out())) ||
            (attributes->typekind != TKIND_DISPATCH && attributes->typekind != TKIND_INTERFACE) ||
            std::any_of(std::begin(kSystemInterfaces), std::end(kSystemInterfaces),
                        [&](const SystemInterface& known) { return known.iid == attributes->guid; })) {
            continue;
        }
        ComPtr<ITypeInfo> vtableHalf;
        HREFTYPE reference = 0;
        InterfaceEntry& entry = entries.emplace_back(InterfaceEntry{
            .name = nameOf(info.Get(), MEMBERID_NIL),
            .iid = attributes->guid,
            .dual = (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0 || attributes->typekind == TKIND_DISPATCH});
        // The vtable half of a dual interface carries the slots and parameter types.
        const bool dualHalf = attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0 &&
                              SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) &&
                              SUCCEEDED(info->GetRefTypeInfo(reference, &vtableHalf));
        addMembers(dualHalf ? vtableHalf.Get() : info.Get(), entry);
    }
    for (const SystemInterface& known : kSystemInterfaces) {
        InterfaceEntry& entry = entries.emplace_back(InterfaceEntry{.name = known.name, .iid = known.iid, .system = true});
        std::istringstream names(known.members);
        for (std::string name; names >> name;) {
            entry.members.emplace_back().name = name;
        }
    }
    std::sort(dispids.begin(), dispids.end());
    dispids.erase(std::unique(dispids.begin(), dispids.end()), dispids.end());
    return loaded;
}

void TypeCatalog::addMembers(ITypeInfo* info, InterfaceEntry& entry)
{
    TypeInfoDescription<TYPEATTR> attributes(info);
    if (FAILED(info->GetTypeAttr(attributes.out()))) {
        return;
    }
    // The members an interface inherits from one of the library's own come first, in their
    // vtable slots: Office calls them through the derived interface.
    HREFTYPE baseReference = 0;
    ComPtr<ITypeInfo> base;
    if (attributes->typekind == TKIND_INTERFACE && attributes->cImplTypes > 0 &&
        SUCCEEDED(info->GetRefTypeOfImplType(0, &baseReference)) &&
        SUCCEEDED(info->GetRefTypeInfo(baseReference, &base))) {
        TypeInfoDescription<TYPEATTR> baseAttributes(base.Get());
        if (SUCCEEDED(base->GetTypeAttr(baseAttributes.out())) && !IsEqualIID(baseAttributes->guid, IID_IDispatch) &&
            !IsEqualIID(baseAttributes->guid, IID_IUnknown)) {
            addMembers(base.Get(), entry);
        }
    }
    for (UINT index = 0; index < attributes->cFuncs; ++index) {
        TypeInfoDescription<FUNCDESC> function(info);
        if (FAILED(info->GetFuncDesc(index, function.out()))) {
            continue;
        }
        // A pure dispinterface has no vtable of its own beyond IDispatch.
        Member& member = entry.members.emplace_back(Member{.name = nameOf(info, function->memid),
                                                           .dispid = function->memid,
                                                           .invokeKind = function->invkind,
                                                           .vtableOffset = function->oVft,
                                                           .callableThroughVtable = attributes->typekind != TKIND_DISPATCH});
        dispids.push_back(function->memid);
        for (SHORT at = 0; at < function->cParams; ++at) {
            const ELEMDESC& element = function->lprgelemdescParam[at];
            const USHORT flags = element.paramdesc.wParamFlags;
            Param& param = member.params.emplace_back(Param{.out = (flags & PARAMFLAG_FOUT) != 0,
                                                            .retval = (flags & PARAMFLAG_FRETVAL) != 0,
                                                            .optional = (flags & PARAMFLAG_FOPT) != 0});
            // An [out] parameter is typed by what it points to.
            if (!param.out || element.tdesc.vt == VT_PTR) {
                param.type = typeOf(info, param.out ? *element.tdesc.lptdesc : element.tdesc);
            }
            member.callableThroughVtable = member.callableThroughVtable && param.type.kind != ParamType::Kind::Unsupported;
        }
    }
}

ParamType TypeCatalog::typeOf(ITypeInfo* owner, const TYPEDESC& description)
{
    constexpr VARTYPE kScalars[] = {VT_I1,   VT_UI1,   VT_I2,    VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT,
                                    VT_I8,   VT_UI8,   VT_ERROR, VT_BOOL, VT_R4, VT_R8,  VT_DATE, VT_CY};
    if (std::find(std::begin(kScalars), std::end(kScalars), description.vt) != std::end(kScalars)) {
        return ParamType{.kind = ParamType::Kind::Scalar, .vt = description.vt};
    }
    switch (description.vt) {
    case VT_HRESULT: return ParamType{.kind = ParamType::Kind::Scalar, .vt = VT_ERROR};
    case VT_BSTR: return ParamType{.kind = ParamType::Kind::Text, .vt = VT_BSTR};
    case VT_VARIANT: return ParamType{.kind = ParamType::Kind::Variant, .vt = VT_VARIANT};
    case VT_UNKNOWN: return ParamType{.kind = ParamType::Kind::Object, .vt = VT_UNKNOWN};
    case VT_DISPATCH: return ParamType{.kind = ParamType::Kind::Object, .vt = VT_DISPATCH, .iid = IID_IDispatch};
    case VT_SAFEARRAY: {
        ParamType element = typeOf(owner, *description.lptdesc);
        if (element.kind == ParamType::Kind::Unsupported || element.kind == ParamType::Kind::Array) {
            return {};
        }
        element.kind = ParamType::Kind::Array;
        return element;
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
        TypeInfoDescription<TYPEATTR> attributes(referenced.Get());
        if (FAILED(referenced->GetTypeAttr(attributes.out()))) {
            return {};
        }
        switch (attributes->typekind) {
        case TKIND_ENUM:
            return ParamType{.kind = ParamType::Kind::Scalar, .vt = VT_I4,
                             .enumValues = enumValuesOf(referenced.Get(), attributes->cVars)};
        case TKIND_ALIAS: return typeOf(referenced.Get(), attributes->tdescAlias);
        case TKIND_INTERFACE:
        case TKIND_DISPATCH: {
            const bool dispatch =
                attributes->typekind == TKIND_DISPATCH || (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
            return ParamType{
                .kind = ParamType::Kind::Object, .vt = dispatch ? VT_DISPATCH : VT_UNKNOWN, .iid = attributes->guid};
        }
        default: return {};
        }
    }
    default: return {};
    }
}
