#pragma once

#include "OfficeIntegrationLib.h"

#include <array>

// The interfaces Office marshals when it shows presence and starts conversations.
struct OfficeInterface {
    const char* name;
    IID iid;
};

inline const std::array kOfficeInterfaces{
    OfficeInterface{"IUCOfficeIntegration", __uuidof(IUCOfficeIntegration)},
    OfficeInterface{"_IUCOfficeIntegrationEvents", __uuidof(_IUCOfficeIntegrationEvents)},
    OfficeInterface{"IUCCLyncClient", __uuidof(IUCCLyncClient)},
    OfficeInterface{"_IUCCLyncClientEvents", __uuidof(_IUCCLyncClientEvents)},
    OfficeInterface{"IUCCClientStateChangedEventData", __uuidof(IUCCClientStateChangedEventData)},
    OfficeInterface{"IUCCSelf", __uuidof(IUCCSelf)},
    OfficeInterface{"IUCCContactManager", __uuidof(IUCCContactManager)},
    OfficeInterface{"IUCCContact", __uuidof(IUCCContact)},
    OfficeInterface{"_IUCCContactEvents", __uuidof(_IUCCContactEvents)},
    OfficeInterface{"IUCCContactInformationChangedEventData", __uuidof(IUCCContactInformationChangedEventData)},
    OfficeInterface{"IUCCContactSubscription", __uuidof(IUCCContactSubscription)},
    OfficeInterface{"IUCCAutomation", __uuidof(IUCCAutomation)},
};
