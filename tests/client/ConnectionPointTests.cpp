// The COM object machinery on a small event source of the tests' own: the interface
// table, connection points, the sink table and the fire loop.
#include "client/com/Atl.h"
#include "tests/support/RecordingSink.h"

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <array>
#include <vector>

#include <gtest/gtest.h>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

// The event interface of the tests' own event source, and a second one nobody fires.
struct ITestEvents : public IDispatch {};
__CRT_UUID_DECL(ITestEvents, 0x3b7a1f10, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)
struct ITestOtherEvents : public IDispatch {};
__CRT_UUID_DECL(ITestOtherEvents, 0x3b7a1f11, 0x52c4, 0x4d0e, 0x9a, 0x61, 0x0c, 0x2f, 0x47, 0x8e, 0x11, 0xd5)

namespace {

using TestEventsSink = RecordingSink<ITestEvents>;

constexpr IID kTestEventsIid = __uuidof(ITestEvents);
constexpr IID kTestOtherEventsIid = __uuidof(ITestOtherEvents);

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

class ConnectionPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveAtStart = liveObjects();
        ASSERT_EQ(CComObject<EventSource>::CreateInstance(source), S_OK);
        ASSERT_EQ(source->FindConnectionPoint(__uuidof(ITestEvents), &point), S_OK);
    }
    void TearDown() override
    {
        point.Reset();
        source.Reset();
        EXPECT_EQ(liveObjects(), liveAtStart) << "an object was left behind";
    }

    std::vector<ComPtr<CComObject<TestEventsSink>>> advised(int count, std::vector<DWORD>* cookies = nullptr)
    {
        std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
        for (int index = 0; index < count; ++index) {
            sinks.push_back(TestEventsSink::create());
            DWORD cookie = 0;
            EXPECT_EQ(point->Advise(sinks.back().Get(), &cookie), S_OK);
            if (cookies != nullptr) {
                cookies->push_back(cookie);
            }
        }
        return sinks;
    }

    LONG liveAtStart = 0;
    ComPtr<CComObject<EventSource>> source;
    ComPtr<IConnectionPoint> point;
};

} // namespace

TEST_F(ConnectionPoints, TheObjectAnswersItsTableOnlyAndItsPointsBelongToIt)
{
    ComPtr<IUnknown> unknown;
    ComPtr<IPersist> unlisted;
    EXPECT_EQ(source->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
    EXPECT_EQ(source->QueryInterface(IID_PPV_ARGS(&unlisted)), E_NOINTERFACE);
    EXPECT_EQ(unlisted, nullptr);
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(point->GetConnectionPointContainer(&container), S_OK);
    EXPECT_EQ(container.Get(), static_cast<IConnectionPointContainer*>(source.Get()));
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPoints, CookiesNameSlotsThatAreReusedAndUnknownCookiesNameNoConnection)
{
    std::vector<DWORD> cookies;
    auto sinks = advised(5, &cookies);
    EXPECT_EQ(cookies, (std::vector<DWORD>{1, 2, 3, 4, 5})) << "the fifth goes to the grown table";
    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(referenceCount(sinks[1].Get()), 1u) << "Unadvise releases the sink";
    for (const DWORD unknown : {0u, 2u, 6u, 99u}) {
        EXPECT_EQ(point->Unadvise(unknown), CONNECT_E_NOCONNECTION) << unknown;
    }
    // A sink refused is not kept (the fixture counts the objects left behind).
    DWORD refused = 0;
    EXPECT_EQ(point->Advise(nullptr, &refused), E_POINTER);
    ComPtr<IConnectionPoint> other;
    ASSERT_EQ(source->FindConnectionPoint(__uuidof(ITestOtherEvents), &other), S_OK);
    EXPECT_EQ(other->Advise(sinks[0].Get(), &refused), CONNECT_E_CANNOTCONNECT) << "not a sink of the other events";
    // The enumeration lists the advised sinks in their slots, and says when it ran short.
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA items[5] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(5, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 4u);
    const DWORD listed[] = {1, 3, 4, 5};
    for (ULONG index = 0; index < fetched; ++index) {
        EXPECT_EQ(items[index].dwCookie, listed[index]);
        EXPECT_EQ(identityOf(items[index].pUnk), identityOf(sinks[items[index].dwCookie - 1].Get()));
        items[index].pUnk->Release();
    }
    EXPECT_EQ(advised(1, &cookies).size(), 1u);
    EXPECT_EQ(cookies.back(), 2u) << "a released slot is used again";
}

TEST_F(ConnectionPoints, EverySinkHearsTheEventAsAMethodCallWithTheLastArgumentFirst)
{
    auto sinks = advised(8);
    auto eventSource = TestEventsSink::create();
    auto eventData = TestEventsSink::create();
    sinks[1]->onEvent = [] { return DISP_E_EXCEPTION; };

    EXPECT_EQ(source->fireChanged(eventSource.Get(), eventData.Get()), E_FAIL) << "one sink failed";

    for (const auto& sink : sinks) {
        ASSERT_EQ(sink->events().size(), 1u) << "a failing sink does not stop the others, and the last slot is reached";
    }
    const RecordedEvent event = sinks[7]->events()[0];
    EXPECT_EQ(event.member, 400);
    EXPECT_EQ(event.flags, DISPATCH_METHOD);
    EXPECT_EQ(event.types, (std::vector<VARTYPE>{VT_DISPATCH, VT_UNKNOWN}));
    EXPECT_EQ(event.objects, (std::vector<IUnknown*>{identityOf(eventData.Get()), identityOf(eventSource.Get())}));
    EXPECT_EQ(referenceCount(eventData.Get()), 1u) << "the arguments' references are dropped after the firing";
    sinks[1]->onEvent = nullptr;
    EXPECT_EQ(source->fireChanged(nullptr, nullptr), S_OK);
}
