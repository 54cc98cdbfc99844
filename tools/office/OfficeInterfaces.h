#pragma once

#include "OfficeIntegrationLib.h"

#include <array>

// The interfaces Office marshals when it shows presence and starts conversations.
struct OfficeInterface {
    const char* name;
    IID iid;
    // An event interface Office implements and the provider calls through IDispatch alone;
    // the others are dual, called through their vtables.
    bool dispinterface;
};

// The name as it is spelt in the type library, and its IID.
#define ORVEX_OFFICE_INTERFACE(name) OfficeInterface{#name, __uuidof(name), false}
#define ORVEX_OFFICE_DISPINTERFACE(name) OfficeInterface{#name, __uuidof(name), true}

inline const std::array kOfficeInterfaces{
    ORVEX_OFFICE_INTERFACE(IUCOfficeIntegration),
    ORVEX_OFFICE_DISPINTERFACE(_IUCOfficeIntegrationEvents),
    ORVEX_OFFICE_INTERFACE(IUCCLyncClient),
    ORVEX_OFFICE_DISPINTERFACE(_IUCCLyncClientEvents),
    ORVEX_OFFICE_INTERFACE(IUCCClientStateChangedEventData),
    ORVEX_OFFICE_INTERFACE(IUCCSelf),
    ORVEX_OFFICE_INTERFACE(IUCCContactManager),
    ORVEX_OFFICE_INTERFACE(IUCCContact),
    ORVEX_OFFICE_DISPINTERFACE(_IUCCContactEvents),
    ORVEX_OFFICE_INTERFACE(IUCCContactInformationChangedEventData),
    ORVEX_OFFICE_INTERFACE(IUCCContactSubscription),
    ORVEX_OFFICE_INTERFACE(IUCCAutomation),
};

#undef ORVEX_OFFICE_INTERFACE
#undef ORVEX_OFFICE_DISPINTERFACE
