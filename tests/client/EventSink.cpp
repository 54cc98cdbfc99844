#include "tests/client/EventSink.h"

#include <ocidl.h>

using Microsoft::WRL::ComPtr;

DWORD adviseSink(IUnknown* source, const IID& events, IUnknown* sink)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(events, &point))) {
        point->Advise(sink, &cookie);
    }
    return cookie;
}

ULONG referencesOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}
