#pragma once

#include <windows.h>

// What the local server may fire on the integration object when the messenger goes
// away.
class UCOfficeIntegrationEventsTriggers {
public:
    virtual HRESULT fireOnShuttingDown() noexcept = 0;

protected:
    ~UCOfficeIntegrationEventsTriggers() = default;
};
