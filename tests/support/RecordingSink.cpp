#include "tests/support/RecordingSink.h"

#include "client/com/CAtlModule.h"
#include "client/com/SafeArray.h"

#include "OfficeIntegrationLib.h"

#include <ocidl.h>

using Microsoft::WRL::ComPtr;

namespace {

std::vector<LONG> changedTypes(IUnknown* eventData)
{
    ComPtr<IUCCContactInformationChangedEventData> data;
    SAFEARRAY* raw = nullptr;
    if (eventData == nullptr || FAILED(eventData->QueryInterface(IID_PPV_ARGS(&data))) ||
        FAILED(data->get_ChangedContactInformation(&raw))) {
        return {};
    }
    const auto array = orvex::com::SafeArray::attach(raw);
    return elementsOf<LONG>(array.get());
}

ComPtr<IConnectionPoint> connectionPoint(IUnknown* source, const IID& events)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&container)))) {
        container->FindConnectionPoint(events, &point);
    }
    return point;
}

} // namespace

void noteArguments(RecordedEvent& event, const DISPPARAMS* parameters)
{
    for (UINT index = 0; parameters != nullptr && index < parameters->cArgs; ++index) {
        const VARIANT& argument = parameters->rgvarg[index];
        const bool object = argument.vt == VT_UNKNOWN || argument.vt == VT_DISPATCH;
        event.types.push_back(argument.vt);
        event.objects.push_back(object ? identityOf(argument.punkVal) : nullptr);
        if (object && event.changed.empty()) {
            event.changed = changedTypes(argument.punkVal);
        }
    }
}

DWORD advise(IUnknown* source, const IID& events, IUnknown* sink)
{
    DWORD cookie = 0;
    if (const auto point = connectionPoint(source, events)) {
        point->Advise(sink, &cookie);
    }
    return cookie;
}

HRESULT unadvise(IUnknown* source, const IID& events, DWORD cookie)
{
    const auto point = connectionPoint(source, events);
    return point ? point->Unadvise(cookie) : E_NOINTERFACE;
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
