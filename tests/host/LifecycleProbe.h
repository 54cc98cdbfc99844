#pragma once

#include <windows.h>

#include <string>

// What the tests of the integration's start and stop observe from outside: the
// provider's run-time registry values and whether COM reaches the class object.
namespace LifecycleProbe {

// HKCU "Software\IM Providers\Talvo Orvex" UpAndRunning, or -1 when absent.
long upAndRunning();
std::wstring defaultImApp();
// Sets UpAndRunning to a value the library never writes, to see that it writes one.
void markUpAndRunning(DWORD value);

// Whether CoGetClassObject finds the provider's class object as a local server.
HRESULT findClassObject(REFIID iid, void** classObject);

// The calling thread's apartment: APTTYPE_MTA, APTTYPE_STA..., or -1 without COM.
int apartmentType();

} // namespace LifecycleProbe
