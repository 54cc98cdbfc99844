#pragma once

#include "client/UCOfficeIntegrationEventsTriggers.h"
#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

// The integration object's one event: OnShuttingDown, without arguments.
template <class T>
class UCOfficeIntegrationEventsProxy
    : public orvex::com::IConnectionPointImpl<T, &DIID__IUCOfficeIntegrationEvents>,
      public UCOfficeIntegrationEventsTriggers {
public:
    static constexpr DISPID kOnShuttingDown = 50;

    HRESULT fireOnShuttingDown() noexcept override { return this->fire(kOnShuttingDown); }

protected:
    ~UCOfficeIntegrationEventsProxy() = default;
};
