#include "tests/contacts/ContactEventSink.h"

#include "client/com/SafeArray.h"

using Microsoft::WRL::ComPtr;

ComPtr<orvex::atl::CComObject<ContactEventSink>> ContactEventSink::create()
{
    ComPtr<orvex::atl::CComObject<ContactEventSink>> sink;
    orvex::atl::CComObject<ContactEventSink>::CreateInstance(sink);
    return sink;
}

std::vector<ContactEventSink::Event> ContactEventSink::events() const
{
    std::lock_guard lock(mutex);
    return received;
}

std::size_t ContactEventSink::count() const
{
    std::lock_guard lock(mutex);
    return received.size();
}

HRESULT ContactEventSink::GetTypeInfoCount(UINT*) noexcept { return E_NOTIMPL; }

HRESULT ContactEventSink::GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept { return E_NOTIMPL; }

HRESULT ContactEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept { return E_NOTIMPL; }

HRESULT ContactEventSink::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT*,
                                 EXCEPINFO*, UINT*) noexcept
{
    Event event{member, flags, {}, nullptr, {}};
    for (UINT index = 0; parameters != nullptr && index < parameters->cArgs; ++index) {
        event.types.push_back(parameters->rgvarg[index].vt);
    }
    if (event.types == std::vector<VARTYPE>{VT_DISPATCH, VT_DISPATCH}) {
        event.changed = changedTypes(parameters->rgvarg[0].pdispVal);
        event.source = identityOf(parameters->rgvarg[1].pdispVal);
    }
    {
        std::lock_guard lock(mutex);
        received.push_back(std::move(event));
    }
    return onEvent ? onEvent() : S_OK;
}

std::vector<LONG> changedTypes(IUnknown* eventData)
{
    ComPtr<IUCCContactInformationChangedEventData> data;
    if (eventData == nullptr || FAILED(eventData->QueryInterface(IID_PPV_ARGS(&data)))) {
        return {};
    }
    SAFEARRAY* raw = nullptr;
    if (FAILED(data->get_ChangedContactInformation(&raw))) {
        return {};
    }
    const auto array = orvex::com::SafeArray::attach(raw);
    std::vector<LONG> types(array.count());
    for (LONG index = 0; index < static_cast<LONG>(types.size()); ++index) {
        array.getElement(index + array.lowerBound(), &types[static_cast<std::size_t>(index)]);
    }
    return types;
}

IUnknown* identityOf(IUnknown* object)
{
    ComPtr<IUnknown> identity;
    if (object == nullptr || FAILED(object->QueryInterface(IID_PPV_ARGS(&identity)))) {
        return nullptr;
    }
    return identity.Get();
}

namespace {

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
