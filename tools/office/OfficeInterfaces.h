#pragma once

#include "OfficeIntegrationLib.h"

#include <array>

// The interfaces Office marshals when it shows presence and starts conversations.
struct OfficeInterface {
    const char* name;
    IID iid;
};

// The name as it is spelt in the type library, and its IID.
#define ORVEX_OFFICE_INTERFACE(name) OfficeInterface{#name, __uuidof(name)}

inline const std::array kOfficeInterfaces{
    ORVEX_OFFICE_INTERFACE(IUCOfficeIntegration),
    ORVEX_OFFICE_INTERFACE(_IUCOfficeIntegrationEvents),
    ORVEX_OFFICE_INTERFACE(IUCCLyncClient),
    ORVEX_OFFICE_INTERFACE(_IUCCLyncClientEvents),
    ORVEX_OFFICE_INTERFACE(IUCCClientStateChangedEventData),
    ORVEX_OFFICE_INTERFACE(IUCCSelf),
    ORVEX_OFFICE_INTERFACE(IUCCContactManager),
    ORVEX_OFFICE_INTERFACE(IUCCContact),
    ORVEX_OFFICE_INTERFACE(_IUCCContactEvents),
    ORVEX_OFFICE_INTERFACE(IUCCContactInformationChangedEventData),
    ORVEX_OFFICE_INTERFACE(IUCCContactSubscription),
    ORVEX_OFFICE_INTERFACE(IUCCAutomation),
};

#undef ORVEX_OFFICE_INTERFACE
