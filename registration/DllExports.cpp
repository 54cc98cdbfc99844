// The standard self-registration entry points, run by installers and regsvr32. No
// exception may leave them: the caller only understands an HRESULT.
#include "client/com/ComError.h"
#include "registration/SelfRegistration.h"

#include <olectl.h>
#include <shlwapi.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HMODULE thisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

} // namespace

STDAPI DllRegisterServer()
{
    return orvex::com::guardComCall([] { return Utils::Registry::RegisterServer(thisModule()); });
}

STDAPI DllUnregisterServer()
{
    return orvex::com::guardComCall([] { return Utils::Registry::UnregisterServer(thisModule()); });
}

STDAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    return orvex::com::guardComCall([&] { return Utils::Registry::Install(thisModule(), install, commandLine); });
}
