#pragma once

#include <cstdint>

// A contact's presence as the messenger reports it: four ASCII characters, the first
// in the most significant byte, so that the raw value reads well in a debugger.
enum class OutlookContactStatus : std::uint32_t {
    OnlinePresent = 0x4E4C4E20,          // "NLN "
    OnlineAwayFromComputer = 0x41575920, // "AWY "
    OnlineDoNotDisturb = 0x444E4420,     // "DND "
    OfflineOOF = 0x4F4F4678,             // "OOFx"
    PresenceUnknown = 0x556E6B20,        // "Unk "
    ContactEvicted = 0x494E5620,         // "INV ": only through callbacks, the host dropped the contact
};
