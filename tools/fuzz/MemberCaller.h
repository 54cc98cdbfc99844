#pragma once

#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/TypeCatalog.h"

#include <ocidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

// What one call gave back: its HRESULT, what was wrong with the answer, and the objects
// it handed out (for the walk to call next).
struct CallOutcome {
    HRESULT result = S_OK;
    std::vector<std::string> faults;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;

    // Takes over the reference that came with `object`. (This toolchain's ComPtr::Attach
    // adds a reference of its own, so it cannot be used for that.)
    void adopt(IUnknown* object) { *objects.emplace_back().GetAddressOf() = object; }
};

// Sinks advised on connection points, with their cookies.
using Advised = std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>>;
// Takes back every sink of `advised` and forgets them.
void unadviseAll(Advised& advised);

// One call through IDispatch::Invoke, decided before it is made (from a seed, or by a
// regression case). Its VARIANTs are views of values owned elsewhere.
struct InvokeCall {
    DISPID dispid = DISPID_UNKNOWN;
    WORD flags = DISPATCH_METHOD;
    std::vector<VARIANT> arguments{}; // the last first, as dispatch arguments go
    std::vector<DISPID> named{};
    LCID locale = 0;
    GUID iid = GUID_NULL;
    bool wantResult = true;
    bool wantException = true;
    bool wantArgumentError = true;
    // The member's own call as declared, asking for the result: its answer can be judged.
    bool asDeclared = false;
};

// Calls one member of one of the provider's objects and judges the answer: a success that
// wrote every [out] it should, a failure that wrote none. The library's members go through
// their vtable slot or through IDispatch::Invoke; those of the system interfaces its objects
// answer (IUnknown, IDispatch, connection points and their enumerators, service provider,
// class factory), which no type library describes, are called as the system declares them,
// with hostile values where a caller could pass them.
class MemberCaller {
public:
    // "direct": the members of system interfaces.
    enum Path { Invoke, Vtable, Direct };
    static const char* pathName(Path path) { return path == Invoke ? "Invoke" : path == Vtable ? "vtable" : "direct"; }

    explicit MemberCaller(const TypeCatalog& catalog);
    ~MemberCaller();
    MemberCaller(const MemberCaller&) = delete;
    MemberCaller& operator=(const MemberCaller&) = delete;

    CallOutcome call(const InterfaceEntry& described, std::size_t member, Path path, IUnknown* face,
                     HostileValues& values, bool crossProcess);
    // One argument for each declared parameter; for an [out] one, VT_NULL passes a null
    // pointer and anything else storage that the call judges afterwards.
    static CallOutcome throughVtable(IUnknown* face, const Member& member, std::vector<VARIANT>& arguments);
    // The arguments a call through Invoke declares: the return value is not one.
    static std::size_t argumentCount(const Member& member);
    static CallOutcome throughInvoke(IDispatch* face, const Member& member, InvokeCall& call);
    // Takes back every sink that calls of Advise left advised.
    void unadviseAll() { ::unadviseAll(advised); }
    // Enumerator answers whose fetched count and HRESULT Wine's proxy misread (across
    // processes, whenever items came back); judged by the items instead.
    std::size_t misreadAnswers() const { return misread; }

private:
    // The member's DISPID or another, any invoke kind, missing, extra and named arguments.
    InvokeCall planInvoke(const Member& member, HostileValues& values, bool crossProcess);
    CallOutcome system(const IID& iid, std::size_t member, IUnknown* face, HostileValues& values, bool crossProcess);

    const std::vector<MEMBERID>& dispids;
    std::vector<GUID> iids;
    std::vector<std::wstring> names;
    Advised advised;
    std::size_t misread = 0;
};
