#pragma once

#include <windows.h>

// Whether COM can build a stub and a proxy for an interface on this machine, which is
// what Office needs to call the provider's objects from its own process. A stand-in object
// of this process is marshalled from the multithreaded apartment and unmarshalled in a
// single-threaded one, so the system marshaller builds both halves from the interface's
// registration and type library; no method of the interface is ever called.
class ProxyProbe {
public:
    static HRESULT buildProxy(const IID& iid);
};
