#pragma once

#include <cstdint>
#include <vector>

// Calls that once found a fault in the provider, replayed by every short pass: the member,
// the path it was called by, and the seed of its values.
struct RegressionCase {
    const char* member;
    const char* path; // "Invoke", "vtable" or "direct"
    std::uint64_t seed;
};

class RegressionCases {
public:
    static const std::vector<RegressionCase>& all();
};
