#pragma once

#include <cstdint>

// The keys through which Office finds its instant-messaging provider: the user's
// DefaultIMApp, the per-user UpAndRunning state, and the machine-wide provider keys that
// name the provider, its process and the class Office is to create. None of these
// operations reports a failure: a step that cannot be done is skipped and the next runs.
namespace Utils::Registry {

// UpAndRunning values as the integration's start and stop set them.
inline constexpr std::uint32_t ProviderNotServing = 0;
inline constexpr std::uint32_t ProviderStarting = 1;
inline constexpr std::uint32_t ProviderUpAndRunning = 2;

// Writes the per-user UpAndRunning state; once up and running, also makes this provider
// the user's default. Stopping leaves DefaultIMApp alone.
void SetUpAndRunning(std::uint32_t state);

// Makes this provider the user's default and writes the machine-wide provider keys.
// Without write access to HKLM only the per-user values are set.
void RegisterProvider();

// Removes the user's DefaultIMApp, whichever provider it names, and the machine-wide
// provider keys. The per-user UpAndRunning key stays.
void UnregisterProvider();

// True when either machine-wide provider key names this provider exactly. Runs the
// registration diagnostics as well, for the log.
bool IsProviderRegistered();

} // namespace Utils::Registry
