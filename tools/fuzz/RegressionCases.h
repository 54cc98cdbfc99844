#pragma once

#include "tools/fuzz/MemberCaller.h"
#include "tools/fuzz/TypeCatalog.h"

#include <vector>

// Calls that once found a fault in the provider, replayed by every short pass with the
// arguments written out, so that they stay what they were whatever the generator becomes.
struct RegressionCase {
    // What an argument is. Through the vtable, one for each declared parameter in order
    // (those left out and every [out] one: zero, null, or storage); through Invoke, in the
    // order of the dispatch arguments (named ones first, then the others last first).
    enum class Given { Zero, Null, Number, Text, Foreign, IntegersMarkedAsStrings };

    const char* member;
    MemberCaller::Path path;
    std::vector<Given> arguments;
    // Through Invoke, the DISPIDs the first arguments are named for.
    std::vector<DISPID> named;
};

class RegressionCases {
public:
    static const std::vector<RegressionCase>& all();
    // Makes the call; `foreign` is the caller's own object, for Given::Foreign.
    static CallOutcome replay(const RegressionCase& regression, const Member& member, IUnknown* face,
                              IUnknown* foreign);
};
