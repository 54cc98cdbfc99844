#pragma once

#include "client/com/CAtlDllModuleT.h"

// The module object of the library: its type library (version 1.0), the count of live COM objects, and what runs at unload. Its object map is
// empty: the only class object is registered at run time, when the integration starts.
//
// The one instance is built during static initialisation before any other static object
// of the library and so is destroyed after all of them, once the local server has
// released the COM objects it held.
class COfficeIntegrationModule final : public orvex::com::CAtlDllModuleT<COfficeIntegrationModule> {
public:
    COfficeIntegrationModule() noexcept;

    static COfficeIntegrationModule& instance() noexcept;
};
