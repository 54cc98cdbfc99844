#pragma once

#include <windows.h>

#include <string>

// Tells the host's log how completely Office can marshal the provider's interfaces on
// this machine. Nothing acts on the verdict and nothing in the registry changes.
namespace Utils::Registry {

// Checks every expected interface in the per-user and machine-wide registrations, both
// views, logs what is missing, the counts and the type library paths, and returns
// whether some location holds every interface while some type library path exists.
bool CheckAllInterfaces();

// True when the key's default value names the provider's type library exactly; a
// missing key or value, or the identifier in another letter case, does not.
bool PointsToTypeLib(HKEY root, const std::wstring& path);

} // namespace Utils::Registry
