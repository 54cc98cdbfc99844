#pragma once

#include "tools/office/DiagnosisReport.h"

// The read-only diagnosis of an installation where presence does not show: the chain of
// links from Office to the provider, for an Office of each bitness, each judged only when
// the links it stands on are sound and otherwise skipped, naming the broken one.
//
// The chain: the registry (the user's default provider, the providers registered besides,
// the machine-wide provider key in each view), the provider's running process, its class
// object, the UpAndRunning state it announces, the type library, the interface keys, and
// the proxies Office builds from them.
class InstallationDoctor {
public:
    DiagnosisReport diagnose();
};
