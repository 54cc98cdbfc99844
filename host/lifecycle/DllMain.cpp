#include "host/lifecycle/OfficeIntegrationModule.h"

#include <windows.h>

// The library does nothing of its own at load; its module answers.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved)
{
    return COfficeIntegrationModule::instance().DllMain(reason, reserved);
}

// The C run-time's entry point, which runs the library's static destructors at detach and
// then calls DllMain.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The library's entry point (linked with -e), in front of the C run-time's. When the
// process ends, every other thread has already been terminated wherever it was, holding
// whatever locks it held; the run-time's teardown of the library (its static destructors,
// its frees, on 32-bit builds the unregistering of its unwind tables) may then wait on one
// of them for ever. The 32-bit messenger hung in this detach that way while Office was
// calling. So at the process's end the library leaves its run-time as it is: what it would
// release goes with the process.
extern "C" BOOL WINAPI OrvexDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        return TRUE;
    }
    return DllMainCRTStartup(instance, reason, reserved);
}
