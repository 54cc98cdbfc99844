#include "tools/fuzz/MemberCaller.h"

#include <oleauto.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// What an [out] slot of a direct call holds before the call: a callee that succeeds
// without writing it, or fails after writing into it, is caught by it.
constexpr unsigned char kPoison = 0x5A;

// One [out] slot of a direct call: large enough for a VARIANT, aligned for one.
struct alignas(16) OutSlot {
    unsigned char bytes[sizeof(VARIANT)];
};

std::string hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::size_t sizeOf(VARTYPE type)
{
    if (type == VT_I1 || type == VT_UI1) {
        return 1;
    }
    if (type == VT_I2 || type == VT_UI2 || type == VT_BOOL) {
        return 2;
    }
    return type == VT_I8 || type == VT_UI8 || type == VT_R8 || type == VT_DATE || type == VT_CY ? 8 : 4;
}

// How DispCallFunc is to pass an argument of this type.
VARTYPE passingType(const ParamType& type)
{
    if (type.kind != ParamType::Kind::Scalar) {
        return type.kind == ParamType::Kind::Variant ? VT_VARIANT : VT_UNKNOWN; // VT_UNKNOWN: pointer-sized
    }
    if (type.vt == VT_R4 || type.vt == VT_R8 || type.vt == VT_DATE) {
        return type.vt; // in floating-point registers
    }
    return sizeOf(type.vt) == 8 ? VT_I8 : VT_I4;
}

// INVOKEKIND's values are the DISPATCH_ flags of the same kind of call.
static_assert(INVOKE_FUNC == DISPATCH_METHOD && INVOKE_PROPERTYGET == DISPATCH_PROPERTYGET &&
              INVOKE_PROPERTYPUT == DISPATCH_PROPERTYPUT && INVOKE_PROPERTYPUTREF == DISPATCH_PROPERTYPUTREF);
WORD declaredFlags(INVOKEKIND kind) { return static_cast<WORD>(kind); }

bool poisoned(const void* slot, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(slot);
    return std::all_of(bytes, bytes + size, [](unsigned char byte) { return byte == kPoison; });
}

void harvest(SAFEARRAY* array, CallOutcome& outcome)
{
    VARTYPE type = VT_EMPTY;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) ||
        (type != VT_DISPATCH && type != VT_UNKNOWN) || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return;
    }
    for (LONG index = lower; index <= upper && index - lower < 64; ++index) {
        IUnknown* element = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(array, &index, &element)) && element != nullptr) {
            outcome.adopt(element);
        }
    }
}

// Keeps every object inside a VARIANT the callee handed out (arrays included) and clears it.
void harvest(VARIANT& value, CallOutcome& outcome)
{
    if ((value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal != nullptr) {
        outcome.objects.emplace_back(value.punkVal);
    } else if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0) {
        harvest(value.parray, outcome);
    }
    VariantClear(&value);
}

// An [out] slot of a direct call, holding whatever the callee left there.
void checkOut(const Param& param, void* slot, CallOutcome& outcome)
{
    const bool succeeded = SUCCEEDED(outcome.result);
    const ParamType::Kind kind = param.type.kind;
    if (kind == ParamType::Kind::Variant) {
        auto* value = static_cast<VARIANT*>(slot);
        if (!succeeded && value->vt != VT_EMPTY) {
            outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote a VARIANT into its [out]");
        }
        harvest(*value, outcome);
        return;
    }
    const bool scalar = kind == ParamType::Kind::Scalar;
    const std::size_t size = scalar ? sizeOf(param.type.vt) : sizeof(void*);
    const std::string noun = kind == ParamType::Kind::Object ? "object"
                             : kind == ParamType::Kind::Text ? "string"
                             : kind == ParamType::Kind::Array ? "array"
                                                              : "value";
    if (poisoned(slot, size)) {
        if (succeeded) {
            outcome.faults.push_back("succeeded without writing its [out] " + noun);
        }
        return;
    }
    void* written = nullptr;
    if (scalar) {
        const unsigned char zero[8] = {};
        written = std::memcmp(slot, zero, size) == 0 ? nullptr : slot;
    } else {
        std::memcpy(&written, slot, sizeof(written));
    }
    if (written == nullptr) {
        if (succeeded && kind == ParamType::Kind::Object && !param.optional) {
            outcome.faults.push_back("succeeded with a null object");
        }
        return;
    }
    if (!succeeded) {
        outcome.faults.push_back("failed " + hex(outcome.result) + " yet wrote into its [out] " + noun);
        if (kind == ParamType::Kind::Object) {
            return; // possibly garbage: never touched
        }
    }
    if (kind == ParamType::Kind::Object) {
        outcome.adopt(static_cast<IUnknown*>(written));
    } else if (kind == ParamType::Kind::Text) {
        SysFreeString(static_cast<BSTR>(written));
    } else if (kind == ParamType::Kind::Array) {
        harvest(static_cast<SAFEARRAY*>(written), outcome);
        SafeArrayDestroy(static_cast<SAFEARRAY*>(written));
    }
}

} // namespace

bool MemberCaller::readable(HRESULT result)
{
    const int facility = HRESULT_FACILITY(result);
    return SUCCEEDED(result) ? result == S_OK || result == S_FALSE
                             : facility == FACILITY_NULL || facility == FACILITY_RPC || facility == FACILITY_DISPATCH ||
                                   facility == FACILITY_STORAGE || facility == FACILITY_ITF || facility == FACILITY_WIN32;
}

std::vector<VARIANT> MemberCaller::planVtable(const Member& member, HostileValues& values, bool crossProcess)
{
    std::vector<VARIANT> arguments(member.params.size());
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const Param& param = member.params[at];
        if (!param.out) {
            values.valueOf(param.type, arguments[at]);
            continue;
        }
        // A null [out] pointer: a direct caller may pass one. Across processes the provider's
        // stub always hands it storage of its own, so a null pointer there would test only
        // the proxy, and Wine's makes the call and unmarshals the answer into storage it
        // never frees: an object in it is held for good.
        VariantInit(&arguments[at]);
        arguments[at].vt = values.percent(8) && !crossProcess ? VT_NULL : VT_EMPTY;
    }
    return arguments;
}

CallOutcome MemberCaller::throughVtable(IUnknown* face, const Member& member, std::vector<VARIANT>& arguments)
{
    const std::size_t count = member.params.size();
    std::vector<VARIANT*> pointers(count);
    std::vector<VARTYPE> types(count);
    std::vector<OutSlot> slots(count);
    std::vector<VARIANT> outs(count);
    for (std::size_t at = 0; at < count; ++at) {
        const Param& param = member.params[at];
        pointers[at] = &arguments[at];
        types[at] = passingType(param.type);
        if (!param.out) {
            continue;
        }
        if (param.type.kind == ParamType::Kind::Variant) {
            VariantInit(reinterpret_cast<VARIANT*>(slots[at].bytes));
        } else {
            std::memset(slots[at].bytes, kPoison, sizeof(OutSlot));
        }
        VariantInit(&outs[at]);
        outs[at].vt = VT_BYREF | VT_UI1;
        outs[at].byref = arguments[at].vt == VT_NULL ? nullptr : slots[at].bytes;
        pointers[at] = &outs[at];
        types[at] = VT_UNKNOWN;
    }
    VARIANT returned;
    VariantInit(&returned);
    CallOutcome outcome;
    const HRESULT called = DispCallFunc(face, static_cast<ULONG_PTR>(member.vtableOffset), CC_STDCALL, VT_ERROR,
                                        static_cast<UINT>(count), types.data(), pointers.data(), &returned);
    if (FAILED(called)) {
        outcome.result = called;
        outcome.faults.push_back("DispCallFunc could not make the call");
        return outcome;
    }
    outcome.result = returned.scode;
    for (std::size_t at = 0; at < count; ++at) {
        if (member.params[at].out && outs[at].byref != nullptr) {
            checkOut(member.params[at], slots[at].bytes, outcome);
        }
    }
    return outcome;
}

InvokeCall MemberCaller::declared(const Member& member)
{
    InvokeCall call;
    call.dispid = member.dispid;
    call.flags = declaredFlags(member.invokeKind);
    return call;
}

std::size_t MemberCaller::argumentCount(const Member& member)
{
    return static_cast<std::size_t>(
        std::count_if(member.params.begin(), member.params.end(), [](const Param& param) { return !param.retval; }));
}

InvokeCall MemberCaller::planInvoke(const Member& member, HostileValues& values, const std::vector<MEMBERID>& dispids,
                                    bool crossProcess)
{
    InvokeCall call = declared(member);
    // Which member: its own DISPID mostly, else one nobody has, DISPID_UNKNOWN, or another's.
    const std::uint32_t which = values.below(100);
    if (which >= 75 && which < 82) {
        call.dispid = DISPID_UNKNOWN;
    } else if (which >= 82 && which < 90) {
        constexpr std::array<DISPID, 4> unused = {0x7FFF1234, INT_MIN, 0x60FFFFFF, 12345};
        call.dispid = unused[values.below(unused.size())];
    } else if (which >= 90 && !dispids.empty()) {
        call.dispid = dispids[values.below(dispids.size())];
    }
    // How: as declared mostly, else any kind, puts on read-only properties and method
    // calls on properties included.
    if (values.percent(30)) {
        constexpr std::array<WORD, 7> kinds = {DISPATCH_METHOD,        DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                               DISPATCH_PROPERTYPUTREF, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                               0,                       DISPATCH_METHOD | 0x10};
        call.flags = kinds[values.below(kinds.size())];
    }
    // With what: the declared arguments, or one fewer, one more, or any number.
    std::vector<const Param*> declared;
    for (const Param& param : member.params) {
        if (!param.retval) {
            declared.push_back(&param);
        }
    }
    std::size_t count = declared.size();
    const std::uint32_t shape = values.below(100);
    if (shape >= 70 && shape < 80 && count > 0) {
        --count;
    } else if (shape >= 80 && shape < 90) {
        ++count;
    } else if (shape >= 90) {
        count = values.below(5);
    }
    call.arguments.resize(count);
    for (std::size_t position = 0; position < count; ++position) {
        VARIANT& argument = call.arguments[count - 1 - position];
        const Param* param = position < declared.size() ? declared[position] : nullptr;
        if (param != nullptr && values.percent(70)) {
            if (param->out) {
                values.byReference(param->type, argument);
            } else {
                values.valueOf(param->type, argument);
            }
        } else {
            values.anyVariant(argument);
        }
    }
    call.asDeclared = call.dispid == member.dispid && call.flags == declaredFlags(member.invokeKind) &&
                      count == declared.size();
    if ((call.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 && count > 0 && values.percent(80)) {
        call.named.push_back(DISPID_PROPERTYPUT);
    } else if (count > 0 && values.percent(10)) {
        constexpr std::array<DISPID, 5> names = {0, 1, 2, DISPID_UNKNOWN, DISPID_PROPERTYPUT};
        call.named.resize(1 + values.below(count));
        for (DISPID& name : call.named) {
            name = names[values.below(names.size())];
        }
        call.asDeclared = false;
    }
    call.iid = values.percent(90) ? GUID_NULL : values.guid({});
    constexpr std::array<LCID, 3> locales = {0, 0x0409, 0x7FFFFFFF};
    call.locale = locales[values.below(locales.size())];
    // Across processes the provider's stub always passes a result of its own, so leaving it
    // out would test only the proxy; and Wine's proxy, given none, unmarshals the result
    // into a VARIANT of its own that it never clears, holding an object in it for good.
    call.wantResult = values.percent(85) || crossProcess;
    call.wantException = values.percent(85);
    call.wantArgumentError = values.percent(85);
    call.asDeclared = call.asDeclared && call.wantResult;
    return call;
}

CallOutcome MemberCaller::throughInvoke(IDispatch* face, const Member& member, InvokeCall& call)
{
    DISPPARAMS parameters{call.arguments.empty() ? nullptr : call.arguments.data(),
                          call.named.empty() ? nullptr : call.named.data(), static_cast<UINT>(call.arguments.size()),
                          static_cast<UINT>(call.named.size())};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argumentError = 0;
    CallOutcome outcome;
    outcome.result = face->Invoke(call.dispid, call.iid, call.locale, call.flags, &parameters,
                                  call.wantResult ? &result : nullptr, call.wantException ? &exception : nullptr,
                                  call.wantArgumentError ? &argumentError : nullptr);
    // The system's dispatch code may leave a typed but empty result behind a failure: a
    // client finds nothing in it. A value in it would be garbage.
    const bool holdsValue = (result.vt & VT_ARRAY) != 0 ? result.parray != nullptr
                            : result.vt == VT_BSTR      ? SysStringLen(result.bstrVal) > 0
                            : result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN
                                ? result.punkVal != nullptr
                                : result.vt != VT_EMPTY && (result.llVal != 0 || result.vt == VT_NULL);
    if (FAILED(outcome.result) && holdsValue) {
        outcome.faults.push_back("Invoke failed " + hex(outcome.result) + " yet set a result of type " +
                                 std::to_string(result.vt));
    }
    for (const Param& param : member.params) {
        if (SUCCEEDED(outcome.result) && call.asDeclared && param.retval &&
            param.type.kind == ParamType::Kind::Object && !param.optional && !holdsValue) {
            outcome.faults.push_back("Invoke succeeded with a null object");
        }
    }
    harvest(result, outcome);
    if (exception.pfnDeferredFillIn != nullptr) {
        exception.pfnDeferredFillIn(&exception);
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}
