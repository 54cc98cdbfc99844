#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>

// Read access to one type info of a loaded type library, with every TYPEATTR,
// FUNCDESC and VARDESC released by its owner.
class TypeInfoView {
public:
    struct AttrRelease {
        ITypeInfo* owner;
        void operator()(TYPEATTR* attr) const { owner->ReleaseTypeAttr(attr); }
    };
    struct FuncRelease {
        ITypeInfo* owner;
        void operator()(FUNCDESC* desc) const { owner->ReleaseFuncDesc(desc); }
    };
    struct VarRelease {
        ITypeInfo* owner;
        void operator()(VARDESC* desc) const { owner->ReleaseVarDesc(desc); }
    };
    using Attr = std::unique_ptr<TYPEATTR, AttrRelease>;
    using Func = std::unique_ptr<FUNCDESC, FuncRelease>;
    using Var = std::unique_ptr<VARDESC, VarRelease>;

    explicit TypeInfoView(Microsoft::WRL::ComPtr<ITypeInfo> info) : info_(std::move(info)) {}

    bool valid() const { return info_ != nullptr; }
    ITypeInfo* get() const { return info_.Get(); }

    Attr attr() const;
    // Null when the index is out of range or oleaut32 cannot read the entry.
    Func function(UINT index) const;
    Var variable(UINT index) const;

    std::wstring name() const { return documentation(MEMBERID_NIL, false); }
    // Empty when the type info has no help string.
    std::wstring help() const { return documentation(MEMBERID_NIL, true); }
    bool hasHelp() const;
    std::wstring memberName(MEMBERID id) const { return documentation(id, false); }
    std::wstring guidText() const;

    // The interface half of a dual interface (its vtable view); invalid for other kinds.
    TypeInfoView vtableView() const;
    // The type info that implementation slot `index` refers to, and that slot's flags.
    TypeInfoView implemented(UINT index) const;
    int implementedFlags(UINT index) const;

    // A type as IDL writes it: "BSTR*", "IUCCContact**", "SAFEARRAY(ContactInformationType)".
    std::wstring describe(const TYPEDESC& type) const;
    // A function's parameters as IDL writes them, separated by "; ":
    // "[in, optional] BSTR _userUri = \"0\"; [out, retval] IUCCPhone** _phone".
    std::wstring describeParameters(const FUNCDESC& func) const;

private:
    std::wstring documentation(MEMBERID id, bool helpString) const;
    std::wstring describeDefault(const VARIANT& value) const;

    Microsoft::WRL::ComPtr<ITypeInfo> info_;
};
