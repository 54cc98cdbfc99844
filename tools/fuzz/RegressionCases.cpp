#include "tools/fuzz/RegressionCases.h"

// Each found a fault that is fixed in the library; the comment says which.
const std::vector<RegressionCase>& RegressionCases::all()
{
    static const std::vector<RegressionCase> cases = {
        // A null DISPID array (and null names) went straight to the system's lookup: crash.
        {"IDispatch::GetIDsOfNames", "direct", 0x7cb5dc15cf5e776aull},
        // An I4 array whose features say BSTR was copied as strings: crash.
        {"IUCCContact::BatchGetContactInformation", "vtable", 0xb7a3946bd7a3b8f8ull},
        // Succeeded without writing the out argument.
        {"IUCCLyncClient::DelegatorClients", "vtable", 0x36a806e367359a94ull},
        {"IUCCLyncClient::InSuppressedMode", "vtable", 0xf1c9a6a5ab9275baull},
        {"IUCCLyncClient::Initialize", "vtable", 0x87ace3f21e7c71f3ull},
        {"IUCCLyncClient::Shutdown", "vtable", 0xe4bf071d003be0faull},
        // Succeeded with a null object (there is none to hand out).
        {"IUCCLyncClient::Utilities", "vtable", 0x484909297642b953ull},
        {"IUCCLyncClient::Utilities", "Invoke", 0x485ece1919f23f68ull},
        {"IUCCLyncClient::CreateApplicationRegistration", "vtable", 0x6a24842fb5f6fd57ull},
        // An object named for a parameter beyond the argument count (here the optional
        // state VARIANT, with the callback between left out) stayed referenced for good:
        // the system's dispatch code does not release its copy of such an argument.
        {"IUCCContactManager::RemoveContactFromAllGroups", "Invoke", 0x13861c67edfc95afull},
        // A string given by value for the [out] VARIANT: the system's dispatch code wrote the
        // answer back over it and freed the caller's string, which the caller freed again.
        {"IUCCContactInformationDictionary::TryGetValue", "Invoke", 0x88909d4d366e2783ull},
    };
    return cases;
}
