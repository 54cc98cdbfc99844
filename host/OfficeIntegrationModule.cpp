#include "host/OfficeIntegrationModule.h"

namespace {

// Built first and so destroyed last among the library's static objects.
__attribute__((init_priority(101))) COfficeIntegrationModule officeIntegrationModule;

} // namespace

// LIBID_OfficeIntegrationLib {9D5662DE-96CC-471F-94F0-E00E05457627} version 1.0 and the
// application identifier {6C4694B4-5559-4280-B7E9-336329AB5F09}.
const orvex::atl::CAtlModule::Identity COfficeIntegrationModule::kIdentity = {
    {0x9D5662DE, 0x96CC, 0x471F, {0x94, 0xF0, 0xE0, 0x0E, 0x05, 0x45, 0x76, 0x27}},
    1,
    0,
    {0x6C4694B4, 0x5559, 0x4280, {0xB7, 0xE9, 0x33, 0x63, 0x29, 0xAB, 0x5F, 0x09}},
};

COfficeIntegrationModule::COfficeIntegrationModule() noexcept : CAtlDllModuleT(kIdentity) {}

COfficeIntegrationModule& COfficeIntegrationModule::instance() noexcept { return officeIntegrationModule; }
