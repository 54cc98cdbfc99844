#pragma once

#include <windows.h>

#include <array>
#include <string>

// What the self-registration exports do: register the embedded type library and the
// provider's machine-wide keys, or remove them. The machine-wide type library paths are
// replaced by a placeholder at registration, so that Office marshals through the
// per-user registration, and put back at unregistration.
namespace Utils::Registry {

// Replaces the default value of an HKLM key by the placeholder path when it holds any
// text; an absent or empty value stays as it is.
void MaskMachineTypeLibPath(const std::wstring& path);

// Puts the per-user 32-bit type library path back into every HKLM platform value that
// holds the placeholder. Does nothing without a per-user path, and never overwrites a
// value other than the placeholder.
void RestoreMachineTypeLibPaths();

// The four HKLM platform value keys, in the order in which they are masked and restored.
const std::array<std::wstring, 4>& MachinePlatformValuePaths();

// The bodies of the exports, for the module whose type library they register.
HRESULT RegisterServer(HMODULE module);
HRESULT UnregisterServer(HMODULE module);
HRESULT Install(HMODULE module, BOOL install, const wchar_t* commandLine);

} // namespace Utils::Registry
