#pragma once

#include <chrono>

// The system's RPC service carries every call between Office and the messenger. Windows
// always runs it; Wine starts it on the first call between processes, gives up if that
// takes long on a busy machine, and stops it again when no program runs. The stand-in
// and the end-to-end tests therefore start it themselves and wait for it.
class RpcService {
public:
    static bool ensureRunning(std::chrono::milliseconds patience);
};
