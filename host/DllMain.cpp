#include "host/OfficeIntegrationModule.h"

#include <windows.h>

// The library does nothing at load; it only refuses to attach when its module could not
// initialise.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved)
{
    return COfficeIntegrationModule::instance().DllMain(reason, reserved);
}
