#include "client/com/CAtlModule.h"
#include "host/OfficeIntegrationModule.h"

#include <windows.h>

// The library does nothing at load; it only refuses to attach when its module could not
// initialise.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved)
{
    return COfficeIntegrationModule::instance().DllMain(reason, reserved);
}

// The C run-time's entry point, which runs the library's static destructors at detach and
// then calls DllMain.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The library's entry point (linked with -e), in front of the C run-time's. When the
// process ends, every other thread has already been terminated wherever it was, holding
// whatever locks it held: a thread of COM's that was throwing holds the unwinder's lock,
// which unregistering the library's unwind tables (32-bit builds) then waits on for ever,
// and one in the middle of an allocation holds the heap. The messenger hung on its way out
// that way while Office was calling. So at the process's end the library leaves its
// run-time as it is: what it would release goes with the process.
extern "C" BOOL WINAPI OrvexDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        orvex::atl::CAtlModule::markProcessEnding();
        return TRUE;
    }
    return DllMainCRTStartup(instance, reason, reserved);
}
