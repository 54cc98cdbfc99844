#include "tests/support/IntegrationLibrary.h"

IntegrationLibrary::IntegrationLibrary() : module(LoadLibraryW(L"orvex-windows-office-integration.dll"))
{
    if (module != nullptr) {
        entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, kEntryPointName)));
    }
}

IntegrationLibrary::~IntegrationLibrary()
{
    if (module != nullptr) {
        FreeLibrary(module);
    }
}

std::shared_ptr<IOfficeIntegration>
IntegrationLibrary::getOutlookIntegration(const std::shared_ptr<IOfficeAdapterPlatformHelper>& helper)
{
    return entry(helper);
}
