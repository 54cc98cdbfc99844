#include "tools/fuzz/MemberCaller.h"

#include "tools/fuzz/ResultChecker.h"

#include <oleauto.h>

#include <array>
#include <climits>
#include <cstring>

namespace {

// One [out] slot of a direct call: large enough for a VARIANT, aligned for one.
struct alignas(16) OutSlot {
    unsigned char bytes[sizeof(VARIANT)];
};

// How DispCallFunc is to pass an argument of this type.
VARTYPE passingType(const ParamType& type)
{
    switch (type.kind) {
    case ParamType::Kind::Variant:
        return VT_VARIANT;
    case ParamType::Kind::Boolean:
        return VT_BOOL;
    case ParamType::Kind::Integer:
        return type.vt == VT_I8 || type.vt == VT_UI8 ? VT_I8 : VT_I4;
    case ParamType::Kind::Real:
        return type.vt;
    case ParamType::Kind::Date:
        return VT_DATE;
    case ParamType::Kind::Currency:
        return VT_CY;
    default:
        return VT_UNKNOWN; // anything pointer-sized
    }
}

WORD declaredFlags(INVOKEKIND kind)
{
    switch (kind) {
    case INVOKE_PROPERTYGET:
        return DISPATCH_PROPERTYGET;
    case INVOKE_PROPERTYPUT:
        return DISPATCH_PROPERTYPUT;
    case INVOKE_PROPERTYPUTREF:
        return DISPATCH_PROPERTYPUTREF;
    default:
        return DISPATCH_METHOD;
    }
}

} // namespace

CallOutcome MemberCaller::throughVtable(IUnknown* face, const Member& member, HostileValues& values, bool crossProcess)
{
    const std::size_t count = member.params.size();
    std::vector<VARIANT> arguments(count);
    std::vector<VARIANT*> pointers(count);
    std::vector<VARTYPE> types(count);
    std::vector<OutSlot> slots(count);
    std::vector<bool> passedNull(count, false);
    for (std::size_t at = 0; at < count; ++at) {
        const Param& param = member.params[at];
        VARIANT& argument = arguments[at];
        std::memset(&argument, 0, sizeof(argument));
        if (param.out) {
            void* slot = slots[at].bytes;
            if (param.type.kind == ParamType::Kind::Variant) {
                VariantInit(static_cast<VARIANT*>(slot));
            } else {
                std::memset(slot, ResultChecker::kPoison, sizeof(OutSlot));
            }
            // A null [out] pointer: a direct caller may pass one. Across processes the
            // provider's stub always hands it storage of its own, so a null pointer there
            // would test only the proxy, and Wine's makes the call and unmarshals the
            // answer into storage it never frees: an object in it is held for good.
            passedNull[at] = values.percent(8) && !crossProcess;
            argument.vt = VT_BYREF | VT_UI1;
            argument.byref = passedNull[at] ? nullptr : slot;
            types[at] = VT_UNKNOWN;
        } else {
            values.valueOf(param.type, argument);
            types[at] = passingType(param.type);
        }
        pointers[at] = &argument;
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
    ResultChecker::checkResult(outcome);
    for (std::size_t at = 0; at < count; ++at) {
        if (member.params[at].out && !passedNull[at]) {
            ResultChecker::checkOut(member.params[at], slots[at].bytes, outcome);
        }
    }
    return outcome;
}

CallOutcome MemberCaller::throughInvoke(IDispatch* face, const Member& member, HostileValues& values,
                                        const std::vector<MEMBERID>& knownDispids, bool crossProcess,
                                        bool& asDeclared)
{
    // Which member: its own DISPID mostly, else one nobody has, DISPID_UNKNOWN, or another's.
    DISPID dispid = member.dispid;
    const std::uint32_t which = values.below(100);
    if (which >= 75 && which < 82) {
        dispid = DISPID_UNKNOWN;
    } else if (which >= 82 && which < 90) {
        constexpr std::array<DISPID, 4> unused = {0x7FFF1234, INT_MIN, 0x60FFFFFF, 12345};
        dispid = unused[values.below(unused.size())];
    } else if (which >= 90 && !knownDispids.empty()) {
        dispid = knownDispids[values.below(static_cast<std::uint32_t>(knownDispids.size()))];
    }
    // How: as declared mostly, else any kind, including puts on read-only properties and
    // method calls on properties.
    WORD flags = declaredFlags(member.invokeKind);
    if (values.percent(30)) {
        constexpr std::array<WORD, 7> kinds = {DISPATCH_METHOD,
                                               DISPATCH_PROPERTYGET,
                                               DISPATCH_PROPERTYPUT,
                                               DISPATCH_PROPERTYPUTREF,
                                               DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                               0,
                                               DISPATCH_METHOD | 0x10};
        flags = kinds[values.below(kinds.size())];
    }
    // With what: the declared arguments (the return value is not one), or one fewer,
    // one more, or any number.
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
    asDeclared = dispid == member.dispid && flags == declaredFlags(member.invokeKind) && count == declared.size();

    std::vector<VARIANT> arguments(count);
    for (std::size_t position = 0; position < count; ++position) {
        // Dispatch arguments come last first.
        VARIANT& argument = arguments[count - 1 - position];
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
    std::vector<DISPID> named;
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 && count > 0 && values.percent(80)) {
        named.push_back(DISPID_PROPERTYPUT);
    } else if (count > 0 && values.percent(10)) {
        constexpr std::array<DISPID, 5> names = {0, 1, 2, DISPID_UNKNOWN, DISPID_PROPERTYPUT};
        named.resize(1 + values.below(static_cast<std::uint32_t>(count)));
        for (DISPID& name : named) {
            name = names[values.below(names.size())];
        }
        asDeclared = false;
    }
    DISPPARAMS parameters{arguments.data(), named.empty() ? nullptr : named.data(), static_cast<UINT>(count),
                          static_cast<UINT>(named.size())};
    if (count == 0) {
        parameters.rgvarg = nullptr;
    }
    const GUID iid = values.percent(90) ? GUID_NULL : values.guid({});
    constexpr std::array<LCID, 3> locales = {0, 0x0409, 0x7FFFFFFF};
    const LCID locale = locales[values.below(locales.size())];
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argumentError = 0;
    // Across processes the provider's stub always passes a result of its own, so leaving
    // it out would test only the proxy; and Wine's proxy, given none, unmarshals the result
    // into a VARIANT of its own that it never clears, holding an object in it for good.
    const bool wantResult = values.percent(85) || crossProcess;
    const bool wantException = values.percent(85);
    const bool wantArgumentError = values.percent(85);

    CallOutcome outcome;
    outcome.result = face->Invoke(dispid, iid, locale, flags, &parameters, wantResult ? &result : nullptr,
                                  wantException ? &exception : nullptr, wantArgumentError ? &argumentError : nullptr);
    ResultChecker::checkResult(outcome);
    ResultChecker::checkInvokeResult(&member, asDeclared && wantResult, result, outcome);
    if (exception.pfnDeferredFillIn != nullptr) {
        exception.pfnDeferredFillIn(&exception);
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}
