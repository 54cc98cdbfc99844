#pragma once

#include "client/com/Atl.h"
#include "tests/support/RecordingSink.h"

#include <windows.h>

#include <ocidl.h>

#include <array>

// The event interface of the tests' own event source, and a second one nobody fires.
struct ITestEvents : public IDispatch {};
__CRT_UUID_DECL(ITestEvents, 0x3b7a1f10, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)
struct ITestOtherEvents : public IDispatch {};
__CRT_UUID_DECL(ITestOtherEvents, 0x3b7a1f11, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)

using TestEventsSink = RecordingSink<ITestEvents>;

inline constexpr IID kTestEventsIid = __uuidof(ITestEvents);
inline constexpr IID kTestOtherEventsIid = __uuidof(ITestOtherEvents);

// The tests' event proxy: one event with the arguments (source, data).
template <class T>
class TestEventsProxy : public orvex::com::IConnectionPointImpl<T, &kTestEventsIid> {
public:
    static constexpr DISPID kChanged = 400;

    HRESULT fireChanged(IUnknown* source, IUnknown* data) noexcept
    {
        const std::array arguments{orvex::com::unknownArgument(source), orvex::com::dispatchArgument(data)};
        return this->fire(kChanged, arguments);
    }
};

template <class T>
class TestOtherEventsProxy : public orvex::com::IConnectionPointImpl<T, &kTestOtherEventsIid> {};

// An event source with two connection points. It implements IPersist without listing it,
// so QueryInterface must not answer it.
class EventSource : public orvex::com::CComObjectRootEx,
                    public orvex::com::IConnectionPointContainerImpl<EventSource>,
                    public orvex::com::Implements<IPersist>,
                    public TestEventsProxy<EventSource>,
                    public TestOtherEventsProxy<EventSource> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IConnectionPointContainer>;
    using ConnectionPointTable =
        orvex::com::ConnectionPointTable<TestEventsProxy<EventSource>, TestOtherEventsProxy<EventSource>>;

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* /*clsid*/) noexcept override { return E_NOTIMPL; }
};

inline Microsoft::WRL::ComPtr<orvex::com::CComObject<EventSource>> makeEventSource()
{
    Microsoft::WRL::ComPtr<orvex::com::CComObject<EventSource>> source;
    orvex::com::CComObject<EventSource>::CreateInstance(source);
    return source;
}
