#include "tests/registration/RegistrationHost.h"

using ::testing::NiceMock;

RegistrationHost& RegistrationHost::instance()
{
    static RegistrationHost host;
    return host;
}

RegistrationHost::RegistrationHost() : helper(std::make_shared<NiceMock<MockPlatformHelper>>())
{
    recorder.attachTo(*helper);
    server = getOutlookIntegration(helper);
}
