#pragma once

#include "tools/fuzz/CallOutcome.h"
#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/TypeCatalog.h"

#include <oaidl.h>

#include <vector>

// Calls one member of a provider interface with values from a HostileValues, either
// through IDispatch::Invoke or straight through its vtable slot, and checks the answer.
class MemberCaller {
public:
    // Through the vtable, with the declared parameter types and hostile values in them.
    static CallOutcome throughVtable(IUnknown* face, const Member& member, HostileValues& values, bool crossProcess);
    // Through IDispatch::Invoke: the member's DISPID or another, any invoke kind, missing,
    // extra and named arguments. `asDeclared` says whether the call was the member's own.
    static CallOutcome throughInvoke(IDispatch* face, const Member& member, HostileValues& values,
                                     const std::vector<MEMBERID>& knownDispids, bool crossProcess, bool& asDeclared);
};
