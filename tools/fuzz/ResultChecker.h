#pragma once

#include "tools/fuzz/CallOutcome.h"
#include "tools/fuzz/TypeCatalog.h"

#include <oaidl.h>

// Whether an answer is one a COM client can read: a success code it knows, a failure code
// of a known facility, out values written on success and left alone (or cleared) on
// failure. Out values are released here, their objects kept for the walk.
class ResultChecker {
public:
    // The pattern an [out] slot holds before a direct call: a callee that succeeds without
    // writing it, or fails after writing garbage into it, is caught by it.
    static constexpr unsigned char kPoison = 0x5A;

    static bool readable(HRESULT result);
    static void checkResult(CallOutcome& outcome);
    // An [out] slot of a direct call, holding whatever the callee left there.
    static void checkOut(const Param& param, void* slot, CallOutcome& outcome);
    // The result VARIANT of IDispatch::Invoke; `asDeclared`: the call was the member's
    // own, as declared, and asked for the result.
    static void checkInvokeResult(const Member* member, bool asDeclared, VARIANT& result, CallOutcome& outcome);
    // Keeps every object inside a VARIANT (arrays included) and clears it.
    static void harvest(VARIANT& value, CallOutcome& outcome);
    static void harvest(SAFEARRAY* array, CallOutcome& outcome);

private:
    static bool holdsValue(const VARIANT& value);
    static bool poisoned(const void* slot, std::size_t size);
};
