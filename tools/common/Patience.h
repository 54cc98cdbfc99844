#pragma once

#include <chrono>

// How long to wait on another process before calling it stuck. The times in the code are
// those of a machine of ordinary speed; where everything runs slower (the 32-bit test
// machine emulates its processor) ORVEX_TEST_PATIENCE_SECONDS says how long a step of the
// other process may take in place of the ordinary 20 s, and every wait stretches in the
// same proportion.
class Patience {
public:
    static std::chrono::milliseconds scaled(std::chrono::milliseconds ordinary);
};
