#pragma once

#include "host/IOfficeIntegration.h"
#include "tests/client/LogRecorder.h"

#include <memory>

// The host as the registration code of this test process sees it: one mock helper for
// the life of the process (the library keeps the first one it is given), whose log
// records are kept.
class RegistrationHost {
public:
    static RegistrationHost& instance();

    LogRecorder& log() { return recorder; }
    IOfficeIntegration& integration() { return *server; }

private:
    RegistrationHost();

    std::shared_ptr<MockPlatformHelper> helper;
    LogRecorder recorder;
    std::shared_ptr<IOfficeIntegration> server;
};
