#include "tests/support/RecordingSink.h"

#include "client/com/CAtlModule.h"

#include <ocidl.h>

using Microsoft::WRL::ComPtr;

DWORD advise(IUnknown* source, const IID& events, IUnknown* sink)
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

IUnknown* identityOf(IUnknown* object)
{
    ComPtr<IUnknown> identity;
    if (object == nullptr || FAILED(object->QueryInterface(IID_PPV_ARGS(&identity)))) {
        return nullptr;
    }
    return identity.Get();
}

ULONG referenceCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

LONG liveObjects() { return orvex::com::CAtlModule::current()->GetLockCount(); }
