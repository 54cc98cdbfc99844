#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>
#include <vector>

// What a parameter is, as far as building a value for it goes.
struct ParamType {
    enum class Kind { Scalar, Text, Variant, Array, Object, Unsupported };
    Kind kind = Kind::Unsupported;
    // How the value travels: VT_I4, VT_BOOL, VT_R8, VT_BSTR, VT_DISPATCH...; for an array,
    // the type of its elements.
    VARTYPE vt = VT_EMPTY;
    // The values of an enumeration (of an array's elements), empty for plain numbers.
    std::vector<LONG> enumValues{};
    // For objects: the interface the parameter is declared with.
    IID iid = IID_IUnknown;
};

struct Param {
    ParamType type{};
    bool out = false;
    bool retval = false;
    bool optional = false;
};

struct Member {
    std::string name;
    MEMBERID dispid = DISPID_UNKNOWN;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    // Byte offset of the member's slot in the interface's vtable.
    SHORT vtableOffset = 0;
    std::vector<Param> params{};
    // False when a parameter has a type no value can be built for: the member is then
    // reached through IDispatch only.
    bool callableThroughVtable = true;
};

struct InterfaceEntry {
    std::string name;
    IID iid{};
    bool dual = false;
    // A system interface (IUnknown, IDispatch, connection points...): its members are
    // named only, and called by MemberCaller.
    bool system = false;
    // Inherited members of the library's own interfaces included, IDispatch's not.
    std::vector<Member> members{};
};

// Every interface of the provider's embedded type library, read from the DLL file with
// ITypeInfo (no member list is written by hand), followed by the system interfaces its
// objects may answer besides.
class TypeCatalog {
public:
    HRESULT load(const std::wstring& path);

    const std::vector<InterfaceEntry>& interfaces() const { return entries; }
    // Every DISPID that some member of the library uses.
    const std::vector<MEMBERID>& knownDispids() const { return dispids; }

private:
    void addMembers(ITypeInfo* info, InterfaceEntry& entry);
    ParamType typeOf(ITypeInfo* owner, const TYPEDESC& description);

    std::vector<InterfaceEntry> entries;
    std::vector<MEMBERID> dispids;
};
