#include "tests/registration/TypeInfoView.h"

#include "client/com/Bstr.h"
#include "client/com/Variant.h"

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;

TypeInfoView::Attr TypeInfoView::attr() const
{
    TYPEATTR* raw = nullptr;
    if (info_ == nullptr || FAILED(info_->GetTypeAttr(&raw))) {
        return Attr(nullptr, AttrRelease{info_.Get()});
    }
    return Attr(raw, AttrRelease{info_.Get()});
}

TypeInfoView::Func TypeInfoView::function(UINT index) const
{
    FUNCDESC* raw = nullptr;
    if (info_ == nullptr || FAILED(info_->GetFuncDesc(index, &raw))) {
        return Func(nullptr, FuncRelease{info_.Get()});
    }
    return Func(raw, FuncRelease{info_.Get()});
}

TypeInfoView::Var TypeInfoView::variable(UINT index) const
{
    VARDESC* raw = nullptr;
    if (info_ == nullptr || FAILED(info_->GetVarDesc(index, &raw))) {
        return Var(nullptr, VarRelease{info_.Get()});
    }
    return Var(raw, VarRelease{info_.Get()});
}

std::wstring TypeInfoView::documentation(MEMBERID id, bool helpString) const
{
    Bstr text;
    if (info_ == nullptr) {
        return {};
    }
    HRESULT result = helpString ? info_->GetDocumentation(id, nullptr, text.out(), nullptr, nullptr)
                                : info_->GetDocumentation(id, text.out(), nullptr, nullptr, nullptr);
    return SUCCEEDED(result) ? std::wstring(text.view()) : std::wstring();
}

bool TypeInfoView::hasHelp() const
{
    Bstr text;
    return info_ != nullptr && SUCCEEDED(info_->GetDocumentation(MEMBERID_NIL, nullptr, text.out(), nullptr, nullptr))
        && !text.isNull();
}

std::wstring TypeInfoView::guidText() const
{
    auto attributes = attr();
    if (!attributes) {
        return {};
    }
    wchar_t text[40] = {};
    StringFromGUID2(attributes->guid, text, 40);
    return text;
}

TypeInfoView TypeInfoView::vtableView() const
{
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> view;
    if (info_ == nullptr || FAILED(info_->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference))
        || FAILED(info_->GetRefTypeInfo(reference, &view))) {
        return TypeInfoView(nullptr);
    }
    return TypeInfoView(view);
}

TypeInfoView TypeInfoView::implemented(UINT index) const
{
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> target;
    if (info_ == nullptr || FAILED(info_->GetRefTypeOfImplType(index, &reference))
        || FAILED(info_->GetRefTypeInfo(reference, &target))) {
        return TypeInfoView(nullptr);
    }
    return TypeInfoView(target);
}

int TypeInfoView::implementedFlags(UINT index) const
{
    INT flags = -1;
    if (info_ == nullptr || FAILED(info_->GetImplTypeFlags(index, &flags))) {
        return -1;
    }
    return flags;
}

std::wstring TypeInfoView::describe(const TYPEDESC& type) const
{
    switch (type.vt) {
    case VT_PTR:
        return describe(*type.lptdesc) + L"*";
    case VT_SAFEARRAY:
        return L"SAFEARRAY(" + describe(*type.lptdesc) + L")";
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> target;
        if (FAILED(info_->GetRefTypeInfo(type.hreftype, &target))) {
            return L"<unresolved>";
        }
        return TypeInfoView(target).name();
    }
    case VT_I4: return L"long";
    case VT_UI4: return L"unsigned long";
    case VT_INT: return L"int";
    case VT_BSTR: return L"BSTR";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_VARIANT: return L"VARIANT";
    case VT_DATE: return L"DATE";
    case VT_HRESULT: return L"HRESULT";
    case VT_VOID: return L"void";
    case VT_UNKNOWN: return L"IUnknown*";
    case VT_DISPATCH: return L"IDispatch*";
    default: return L"vt" + std::to_wstring(type.vt);
    }
}

std::wstring TypeInfoView::describeDefault(const VARIANT& value) const
{
    switch (value.vt) {
    case VT_BSTR:
        return L"\"" + std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) + L"\"";
    case VT_UNKNOWN:
    case VT_DISPATCH:
        // A null interface pointer is IDL's "= 0".
        return value.punkVal == nullptr ? L"0" : L"<object>";
    default: {
        orvex::com::Variant text;
        if (FAILED(VariantChangeType(text.out(), const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
            return L"<vt" + std::to_wstring(value.vt) + L">";
        }
        return std::wstring(text.get().bstrVal, SysStringLen(text.get().bstrVal));
    }
    }
}

std::wstring TypeInfoView::describeParameters(const FUNCDESC& func) const
{
    // Names come back as [function, parameters...]; a property put's value is unnamed.
    constexpr UINT kMaxNames = 32;
    BSTR names[kMaxNames] = {};
    UINT count = 0;
    info_->GetNames(func.memid, names, kMaxNames, &count);
    std::wstring result;
    for (SHORT index = 0; index < func.cParams; ++index) {
        const ELEMDESC& element = func.lprgelemdescParam[index];
        const USHORT flags = element.paramdesc.wParamFlags;
        std::wstring attributes;
        auto add = [&attributes](const wchar_t* attribute) {
            attributes += attributes.empty() ? attribute : std::wstring(L", ") + attribute;
        };
        if (flags & PARAMFLAG_FIN) add(L"in");
        if (flags & PARAMFLAG_FOUT) add(L"out");
        if (flags & PARAMFLAG_FLCID) add(L"lcid");
        if (flags & PARAMFLAG_FRETVAL) add(L"retval");
        if (flags & PARAMFLAG_FOPT) add(L"optional");
        if (!result.empty()) {
            result += L"; ";
        }
        if (!attributes.empty()) {
            result += L"[" + attributes + L"] ";
        }
        result += describe(element.tdesc);
        const UINT nameIndex = static_cast<UINT>(index) + 1;
        if (nameIndex < count && names[nameIndex] != nullptr) {
            result += L" " + std::wstring(names[nameIndex]);
        }
        if ((flags & PARAMFLAG_FHASDEFAULT) && element.paramdesc.pparamdescex != nullptr) {
            result += L" = " + describeDefault(element.paramdesc.pparamdescex->varDefaultValue);
        }
    }
    for (UINT index = 0; index < count; ++index) {
        SysFreeString(names[index]);
    }
    return result;
}
