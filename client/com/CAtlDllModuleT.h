#pragma once

#include "client/com/CAtlModule.h"

namespace orvex::com {

// The module base of a library, which its DLL entry point answers through.
template <class T>
class CAtlDllModuleT : public CAtlModule {
public:
    // The library does nothing of its own at load or detach: everything is allowed.
    BOOL DllMain(DWORD /*reason*/, LPVOID /*reserved*/) noexcept { return TRUE; }

protected:
    using CAtlModule::CAtlModule;
};

} // namespace orvex::com
