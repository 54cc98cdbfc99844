#include "tools/fuzz/RegressionCases.h"

#include <oleauto.h>

using Given = RegressionCase::Given;

// Each found a fault that is fixed in the library; the comment says which.
const std::vector<RegressionCase>& RegressionCases::all()
{
    static const std::vector<RegressionCase> cases = {
        // A null DISPID array (and null names) went straight to the system's lookup: crash.
        {"IDispatch::GetIDsOfNames", MemberCaller::Direct, {Given::Null, Given::Null}, {}},
        // An integer array whose features say strings was copied as strings: crash. (Such a
        // descriptor is a caller's own, built by hand, as a compiler builds a static array.)
        {"IUCCContact::BatchGetContactInformation", MemberCaller::Vtable, {Given::IntegersMarkedAsStrings}, {}},
        // Succeeded without writing the [out] argument.
        {"IUCCLyncClient::DelegatorClients", MemberCaller::Vtable, {}, {}},
        {"IUCCLyncClient::InSuppressedMode", MemberCaller::Vtable, {}, {}},
        {"IUCCLyncClient::Initialize", MemberCaller::Vtable, {}, {}},
        {"IUCCLyncClient::Shutdown", MemberCaller::Vtable, {}, {}},
        // Succeeded with a null object (there is none to hand out).
        {"IUCCLyncClient::Utilities", MemberCaller::Vtable, {}, {}},
        {"IUCCLyncClient::Utilities", MemberCaller::Invoke, {}, {}},
        {"IUCCLyncClient::CreateApplicationRegistration", MemberCaller::Vtable, {}, {}},
        // An object named for a parameter beyond the argument count (the optional state,
        // with the callback between left out) stayed referenced for good: the system's
        // dispatch code does not release its copy of such an argument.
        {"IUCCContactManager::RemoveContactFromAllGroups", MemberCaller::Invoke, {Given::Foreign, Given::Null}, {2}},
        // A string given by value for the [out] VARIANT: the system's dispatch code wrote the
        // answer back over it and freed the caller's string, which the caller freed again.
        {"IUCCContactInformationDictionary::TryGetValue", MemberCaller::Invoke, {Given::Text, Given::Number}, {}},
    };
    return cases;
}

CallOutcome RegressionCases::replay(const RegressionCase& regression, const Member& member, IUnknown* face,
                                    IUnknown* foreign)
{
    HostileValues values(0, {}); // owns what the arguments hold
    SAFEARRAY* marked = nullptr;
    USHORT features = 0;
    const auto fill = [&](Given given, VARIANT& into) {
        VariantInit(&into);
        if (given == Given::Number) {
            into.vt = VT_I4;
            into.lVal = 1;
        } else if (given == Given::Text) {
            VARIANT& text = values.storage();
            text.vt = VT_BSTR;
            text.bstrVal = SysAllocString(L"alice@orvex.example");
            into = text;
        } else if (given == Given::Foreign || given == Given::Null) {
            into.vt = given == Given::Foreign ? VT_UNKNOWN : VT_DISPATCH;
            into.punkVal = given == Given::Foreign ? foreign : nullptr;
        } else if (given == Given::IntegersMarkedAsStrings) {
            SAFEARRAYBOUND bound{2, 0};
            marked = SafeArrayCreate(VT_I4, 1, &bound);
            if (marked != nullptr) {
                features = marked->fFeatures;
                marked->fFeatures = static_cast<USHORT>(features | FADF_BSTR);
                static_cast<LONG*>(marked->pvData)[0] = 1;
                static_cast<LONG*>(marked->pvData)[1] = 2;
            }
            into.vt = VT_ARRAY | VT_I4;
            into.parray = marked;
        }
    };
    std::vector<VARIANT> arguments(regression.path == MemberCaller::Vtable ? member.params.size()
                                                                          : regression.arguments.size());
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        fill(at < regression.arguments.size() ? regression.arguments[at] : Given::Zero, arguments[at]);
    }
    CallOutcome outcome;
    if (regression.path == MemberCaller::Direct) {
        // IDispatch::GetIDsOfNames, the one member of a system interface here.
        LPOLESTR name = const_cast<LPOLESTR>(L"Uri");
        DISPID dispid = 0;
        outcome.result = static_cast<IDispatch*>(face)->GetIDsOfNames(
            GUID_NULL, arguments[0].vt == VT_DISPATCH ? nullptr : &name, 1, 0,
            arguments[1].vt == VT_DISPATCH ? nullptr : &dispid);
    } else if (regression.path == MemberCaller::Vtable) {
        outcome = MemberCaller::throughVtable(face, member, arguments);
    } else {
        InvokeCall call{.dispid = member.dispid, .flags = static_cast<WORD>(member.invokeKind),
                        .arguments = arguments, .named = regression.named};
        call.asDeclared = call.named.empty() && call.arguments.size() == MemberCaller::argumentCount(member);
        outcome = MemberCaller::throughInvoke(static_cast<IDispatch*>(face), member, call);
    }
    if (marked != nullptr) {
        marked->fFeatures = features;
        SafeArrayDestroy(marked);
    }
    return outcome;
}
