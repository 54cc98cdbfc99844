#include "tools/fuzz/ResultChecker.h"

#include <oleauto.h>

#include <cstdio>
#include <cstring>

using Microsoft::WRL::ComPtr;

namespace {

std::string hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::size_t sizeOf(VARTYPE type)
{
    switch (type) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
        return 8;
    default:
        return 4;
    }
}

} // namespace

bool ResultChecker::readable(HRESULT result)
{
    if (SUCCEEDED(result)) {
        return result == S_OK || result == S_FALSE;
    }
    switch (HRESULT_FACILITY(result)) {
    case FACILITY_NULL:
    case FACILITY_RPC:
    case FACILITY_DISPATCH:
    case FACILITY_STORAGE:
    case FACILITY_ITF:
    case FACILITY_WIN32:
        return true;
    default:
        return false;
    }
}

void ResultChecker::checkResult(CallOutcome& outcome)
{
    if (!readable(outcome.result)) {
        outcome.faults.push_back("unreadable HRESULT " + hex(outcome.result));
    }
}

bool ResultChecker::holdsValue(const VARIANT& value)
{
    if ((value.vt & VT_ARRAY) != 0) {
        return value.parray != nullptr;
    }
    switch (value.vt) {
    case VT_EMPTY:
        return false;
    case VT_BSTR:
        return SysStringLen(value.bstrVal) > 0;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return value.punkVal != nullptr;
    default:
        return value.llVal != 0 || value.vt == VT_NULL;
    }
}

bool ResultChecker::poisoned(const void* slot, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(slot);
    for (std::size_t at = 0; at < size; ++at) {
        if (bytes[at] != kPoison) {
            return false;
        }
    }
    return true;
}

void ResultChecker::checkOut(const Param& param, void* slot, CallOutcome& outcome)
{
    const bool succeeded = SUCCEEDED(outcome.result);
    switch (param.type.kind) {
    case ParamType::Kind::Object: {
        IUnknown* object = *static_cast<IUnknown**>(slot);
        if (poisoned(slot, sizeof(IUnknown*))) {
            if (succeeded) {
                outcome.faults.push_back("succeeded without writing its [out] object");
            }
        } else if (object == nullptr) {
            if (succeeded && !param.optional) {
                outcome.faults.push_back("succeeded with a null object");
            }
        } else if (succeeded) {
            outcome.adopt(object);
        } else {
            // Possibly garbage: reported, never touched.
            outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote an object into its [out]");
        }
        break;
    }
    case ParamType::Kind::Text: {
        BSTR text = *static_cast<BSTR*>(slot);
        if (poisoned(slot, sizeof(BSTR))) {
            if (succeeded) {
                outcome.faults.push_back("succeeded without writing its [out] string");
            }
        } else if (text != nullptr) {
            if (!succeeded) {
                outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote a string into its [out]");
            }
            SysFreeString(text);
        }
        break;
    }
    case ParamType::Kind::Array: {
        SAFEARRAY* array = *static_cast<SAFEARRAY**>(slot);
        if (poisoned(slot, sizeof(SAFEARRAY*))) {
            if (succeeded) {
                outcome.faults.push_back("succeeded without writing its [out] array");
            }
        } else if (array != nullptr) {
            if (!succeeded) {
                outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote an array into its [out]");
            }
            harvest(array, outcome);
            SafeArrayDestroy(array);
        }
        break;
    }
    case ParamType::Kind::Variant: {
        auto* value = static_cast<VARIANT*>(slot);
        if (!succeeded && value->vt != VT_EMPTY) {
            outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote a VARIANT into its [out]");
        }
        harvest(*value, outcome);
        break;
    }
    default: {
        const std::size_t size = sizeOf(param.type.vt);
        if (succeeded && poisoned(slot, size)) {
            outcome.faults.push_back("succeeded without writing its [out] value");
        } else if (!succeeded && !poisoned(slot, size)) {
            unsigned char zero[8] = {};
            if (std::memcmp(slot, zero, size) != 0) {
                outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote into its [out] value");
            }
        }
        break;
    }
    }
}

void ResultChecker::checkInvokeResult(const Member* member, bool asDeclared, VARIANT& result, CallOutcome& outcome)
{
    // The system's dispatch code may leave a typed but empty result behind a failure: a
    // client finds nothing in it. A value in it would be garbage.
    if (FAILED(outcome.result) && holdsValue(result)) {
        outcome.faults.push_back("Invoke failed " + hex(outcome.result) + " yet set a result of type " +
                                 std::to_string(result.vt));
    }
    if (SUCCEEDED(outcome.result) && asDeclared && member != nullptr) {
        for (const Param& param : member->params) {
            const bool nullObject = result.vt == VT_EMPTY ||
                                    ((result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal == nullptr);
            if (param.retval && param.type.kind == ParamType::Kind::Object && !param.optional && nullObject) {
                outcome.faults.push_back("Invoke succeeded with a null object");
            }
        }
    }
    harvest(result, outcome);
}

void ResultChecker::harvest(VARIANT& value, CallOutcome& outcome)
{
    if ((value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal != nullptr) {
        outcome.objects.emplace_back(value.punkVal);
    } else if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0) {
        harvest(value.parray, outcome);
    }
    VariantClear(&value);
}

void ResultChecker::harvest(SAFEARRAY* array, CallOutcome& outcome)
{
    VARTYPE type = VT_EMPTY;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) ||
        (type != VT_DISPATCH && type != VT_UNKNOWN)) {
        return;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    for (LONG index = lower; index <= upper && index - lower < 64; ++index) {
        IUnknown* element = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(array, &index, &element)) && element != nullptr) {
            outcome.adopt(element);
        }
    }
}
