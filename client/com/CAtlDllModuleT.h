#pragma once

#include "client/com/CAtlModule.h"

namespace orvex::atl {

// The module base of a library: the DLL entry point asks it whether to attach.
template <class T>
class CAtlDllModuleT : public CAtlModule {
public:
    // Refuses to attach when the module could not initialise; everything else is allowed.
    // A detach with `reserved` set is the process's end, which the C++ run-time's
    // destructors that follow must know.
    BOOL DllMain(DWORD reason, LPVOID reserved) noexcept
    {
        if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
            markProcessEnding();
        }
        return reason == DLL_PROCESS_ATTACH && initialisationFailed() ? FALSE : TRUE;
    }

protected:
    using CAtlModule::CAtlModule;
};

} // namespace orvex::atl
