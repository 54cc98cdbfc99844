#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

// What a parameter of an interface member is, as far as building a value for it goes.
struct ParamType {
    enum class Kind { Integer, Boolean, Real, Date, Currency, Text, Variant, Array, Object, Unsupported };
    Kind kind = Kind::Unsupported;
    // How the value travels: VT_I4, VT_I2, VT_BOOL, VT_R8, VT_BSTR, VT_VARIANT, VT_UNKNOWN...
    VARTYPE vt = VT_EMPTY;
    // The values of an enumeration, empty for plain integers.
    std::vector<LONG> enumValues;
    // For arrays: the element's type (VT_BSTR, VT_I4, VT_VARIANT, VT_DISPATCH...) and
    // its enumeration values.
    VARTYPE elementVt = VT_EMPTY;
    std::vector<LONG> elementEnumValues;
    // For objects: the interface the parameter is declared with.
    IID iid = IID_IUnknown;
};

struct Param {
    ParamType type;
    bool out = false;
    bool retval = false;
    bool optional = false;
};

struct Member {
    std::wstring name;
    MEMBERID dispid = DISPID_UNKNOWN;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    // Byte offset of the member's slot in the interface's vtable.
    SHORT vtableOffset = 0;
    std::vector<Param> params;
    // False when a parameter has a type no value can be built for: the member is then
    // reached through IDispatch only.
    bool callableThroughVtable = true;
};

struct InterfaceEntry {
    std::wstring name;
    IID iid{};
    bool dual = false;
    // Members declared by the interface itself, not those it inherits from IDispatch.
    std::vector<Member> members;
};

// Every interface of the provider's embedded type library, read from the DLL file with
// ITypeInfo: no member list is written by hand.
class TypeCatalog {
public:
    // Loads the library from the resource of the DLL at `path`.
    HRESULT load(const std::wstring& path);

    const std::vector<InterfaceEntry>& interfaces() const { return entries; }
    // Every DISPID that some member of some interface uses.
    const std::vector<MEMBERID>& knownDispids() const { return dispids; }

    static std::string narrow(const std::wstring& text);

private:
    InterfaceEntry describe(ITypeInfo* info, const TYPEATTR& attributes, bool dual);
    void addMembers(ITypeInfo* info, const TYPEATTR& attributes, InterfaceEntry& entry);
    ParamType typeOf(ITypeInfo* owner, const TYPEDESC& description);
    std::vector<LONG> enumValuesOf(ITypeInfo* enumeration);

    Microsoft::WRL::ComPtr<ITypeLib> library;
    std::vector<InterfaceEntry> entries;
    std::vector<MEMBERID> dispids;
};
