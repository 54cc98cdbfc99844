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
// SetUpAndRunning's two halves, for a caller that orders the write under a lock of its
// own: the log records (a call into the host), and the write, which calls no one.
void AnnounceUpAndRunning(std::uint32_t state);
void WriteUpAndRunning(std::uint32_t state);

// Makes this provider the user's default and writes the machine-wide provider keys.
// Without write access to HKLM only the per-user values are set.
void RegisterProvider();

// Removes the user's DefaultIMApp where it names this provider (in any letter case, as
// Office reads it) and the machine-wide provider keys. A default naming another provider,
// or an empty one, belongs to someone else and stays; so does the per-user UpAndRunning key.
void UnregisterProvider();

// True when either machine-wide provider key names this provider exactly. Runs the
// registration diagnostics as well, for the log.
bool IsProviderRegistered();

} // namespace Utils::Registry
