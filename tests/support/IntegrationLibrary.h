#pragma once

#include "host/IOfficeIntegration.h"

#include <windows.h>

#include <memory>

// The built DLL, loaded as the messenger loads it: by file name, reaching the entry
// point under its decorated name. Unloading it runs the library's static teardown, so
// each instance starts from a fresh singleton.
class IntegrationLibrary {
public:
    IntegrationLibrary();
    ~IntegrationLibrary();
    IntegrationLibrary(const IntegrationLibrary&) = delete;
    IntegrationLibrary& operator=(const IntegrationLibrary&) = delete;

    bool loaded() const { return module != nullptr && entry != nullptr; }
    HMODULE handle() const { return module; }
    std::shared_ptr<IOfficeIntegration> getOutlookIntegration(const std::shared_ptr<IOfficeAdapterPlatformHelper>& helper);

    static constexpr char kEntryPointName[] =
        "_Z21getOutlookIntegrationRKSt10shared_ptrI28IOfficeAdapterPlatformHelperE";

private:
    using EntryPoint = std::shared_ptr<IOfficeIntegration> (*)(const std::shared_ptr<IOfficeAdapterPlatformHelper>&);
    HMODULE module = nullptr;
    EntryPoint entry = nullptr;
};
