#include "host/lifecycle/OfficeIntegrationModule.h"

#include "OfficeIntegrationLib.h"

namespace {

// Built first and so destroyed last among the library's static objects.
__attribute__((init_priority(101))) COfficeIntegrationModule officeIntegrationModule;

} // namespace

// The type library the library carries, at the version its IDL declares. Read in the
// constructor: the module is built before the library's other static objects.
COfficeIntegrationModule::COfficeIntegrationModule() noexcept : CAtlDllModuleT(Identity{LIBID_OfficeIntegrationLib, 1, 0})
{
}

COfficeIntegrationModule& COfficeIntegrationModule::instance() noexcept { return officeIntegrationModule; }
