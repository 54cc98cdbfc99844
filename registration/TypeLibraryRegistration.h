#pragma once

#include <windows.h>

// Registers and unregisters the type library embedded in a module, with the system or,
// where the system offers it, for the current user only.
namespace Utils::Registry {

// The IID that the type library shares with a standard system interface. Registering
// the library would repoint that interface's registration here, and unregistering it
// would remove the registration; both leave those keys as they found them.
inline constexpr wchar_t SharedSystemInterfaceId[] = L"{56A868B4-0AD4-11CE-B03A-0020AF0BA770}";

// Loads the type library from the module's file (or, failing that, from the .tlb beside
// it) and registers it; per user when asked and the system exports the per-user variant.
HRESULT RegisterTypeLibrary(HMODULE module, bool perUser);

// Loads the type library as RegisterTypeLibrary does and removes its registration.
HRESULT UnregisterTypeLibrary(HMODULE module, bool perUser);

} // namespace Utils::Registry
