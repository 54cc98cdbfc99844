#pragma once

#include <windows.h>

#include <oaidl.h>

#include <vector>

// What the embedded type library must hold for the types the library implements or
// fires, and for the messenger's own group of types: the wire format Office relies on.
namespace ExpectedTypeLibraryContent {

enum class Kind {
    Dual,     // TKIND_DISPATCH with a dual vtable half
    Dispatch, // dispinterface
    Plain,    // TKIND_INTERFACE
};

struct Member {
    MEMBERID dispid;
    INVOKEKIND invoke;
    const wchar_t* name;
    // IDL spelling, "; " between parameters, empty for none.
    const wchar_t* parameters;
};

struct Interface {
    const wchar_t* name;
    const wchar_t* iid;
    // The IID constant that the C++ code is compiled against.
    const IID* declared;
    Kind kind;
    const wchar_t* base;
    // vtable slot of the first own member (IUnknown 0-2, IDispatch 3-6).
    int firstSlot;
    std::vector<Member> members;
};

struct ImplementedInterface {
    const wchar_t* name;
    int flags; // IMPLTYPEFLAG_*
};

struct Coclass {
    const wchar_t* name;
    const wchar_t* clsid;
    const CLSID* declared;
    std::vector<ImplementedInterface> interfaces;
    WORD typeFlags;
};

struct Value {
    const wchar_t* name;
    LONG value;
};

struct Enumeration {
    const wchar_t* name;
    // Null for an enumeration named only through its alias.
    const wchar_t* guid;
    std::vector<Value> values;
};

extern const std::vector<Interface> interfaces;
extern const std::vector<Coclass> coclasses;
extern const std::vector<Enumeration> enumerations;
extern const std::vector<Value> moduleConstants;

} // namespace ExpectedTypeLibraryContent
