// Connection points, the sink table and the fire loop, on a small event source.
#include "client/com/Atl.h"
#include "client/com/CAtlModule.h"
#include "tests/client/EventSource.h"
#include "tests/client/RecordingSink.h"

#include <gtest/gtest.h>

#include <olectl.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;

namespace {

ComPtr<CComObject<TestEventsSink>> makeSink()
{
    auto sink = makeObject<TestEventsSink>();
    EXPECT_NE(sink.Get(), nullptr);
    return sink;
}

class ConnectionPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CComObject<EventSource>::CreateInstance(source), S_OK);
        ASSERT_EQ(source->FindConnectionPoint(kTestEventsIid, &point), S_OK);
    }

    DWORD advise(IUnknown* sink)
    {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        return cookie;
    }

    ComPtr<CComObject<EventSource>> source;
    ComPtr<IConnectionPoint> point;
};

// Answers QueryInterface with a fixed failure.
class RefusingSink : public IUnknown {
public:
    explicit RefusingSink(HRESULT answer) : answer_(answer) {}
    virtual ~RefusingSink() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return answer_;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

private:
    HRESULT answer_;
};

} // namespace

TEST_F(ConnectionPoints, CookiesNameSlotsThatAreReusedAndTheTableGrowsFromFourToEight)
{
    std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
    for (int index = 0; index < 6; ++index) {
        sinks.push_back(makeSink());
    }
    EXPECT_EQ(advise(sinks[0].Get()), 1u);
    EXPECT_EQ(advise(sinks[1].Get()), 2u);
    EXPECT_EQ(advise(sinks[2].Get()), 3u);
    EXPECT_EQ(advise(sinks[3].Get()), 4u);
    EXPECT_EQ(advise(sinks[4].Get()), 5u) << "the fifth sink goes to the first slot of the grown table";

    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(advise(sinks[5].Get()), 2u) << "a released slot is used again";

    // Slots 6 to 8 exist and are empty: firing reaches the five sinks and reports them.
    ComPtr<CComObject<TestEventsSink>> argument = makeSink();
    EXPECT_EQ(source->fireChanged(argument.Get(), argument.Get()), E_FAIL);
    for (int index : {0, 2, 3, 4, 5}) {
        EXPECT_EQ(sinks[index]->callCount(), 1u) << "sink " << index;
    }
    EXPECT_EQ(sinks[1]->callCount(), 0u);
}

TEST_F(ConnectionPoints, UnadviseAnswersNoConnectionForCookiesThatNameNoSink)
{
    auto sink = makeSink();
    const DWORD cookie = advise(sink.Get());
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(5), CONNECT_E_NOCONNECTION) << "beyond the table";
    EXPECT_EQ(point->Unadvise(2), CONNECT_E_NOCONNECTION) << "an empty slot";
    EXPECT_EQ(referenceCount(sink.Get()), 2u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(referenceCount(sink.Get()), 1u) << "Unadvise releases the sink";
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION) << "a cookie already released";
}

TEST_F(ConnectionPoints, AdviseRefusesWhatIsNotASinkOfTheEventInterface)
{
    DWORD cookie = 77;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    auto sink = makeSink();
    EXPECT_EQ(point->Advise(sink.Get(), nullptr), E_POINTER);

    ComPtr<IConnectionPoint> other;
    ASSERT_EQ(source->FindConnectionPoint(kTestOtherEventsIid, &other), S_OK);
    cookie = 77;
    EXPECT_EQ(other->Advise(sink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(referenceCount(sink.Get()), 1u);

    RefusingSink unexpected(E_UNEXPECTED);
    EXPECT_EQ(point->Advise(&unexpected, &cookie), E_UNEXPECTED) << "other failures pass unchanged";
    RefusingSink noInterface(E_NOINTERFACE);
    EXPECT_EQ(point->Advise(&noInterface, &cookie), CONNECT_E_CANNOTCONNECT);
}

TEST_F(ConnectionPoints, EventsArriveAsMethodCallsWithTheLastArgumentFirst)
{
    auto sink = makeSink();
    advise(sink.Get());
    auto eventSource = makeSink();
    auto eventData = makeSink();

    source->fireChanged(eventSource.Get(), eventData.Get());

    const auto calls = sink->calls();
    ASSERT_EQ(calls.size(), 1u);
    const auto& call = calls[0];
    EXPECT_EQ(call.member, 400);
    EXPECT_TRUE(IsEqualIID(call.iid, GUID{}));
    EXPECT_EQ(call.locale, LCID{0x0400});
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    EXPECT_EQ(call.namedCount, 0u);
    EXPECT_FALSE(call.resultRequested || call.exceptionRequested || call.argumentErrorRequested);
    ASSERT_EQ(call.argumentTypes.size(), 2u);
    EXPECT_EQ(call.argumentTypes[0], VT_DISPATCH) << "the event data, declared last";
    EXPECT_EQ(call.argumentObjects[0], static_cast<IDispatch*>(eventData.Get()));
    EXPECT_EQ(call.argumentTypes[1], VT_UNKNOWN) << "the source, declared first";
    ComPtr<IUnknown> sourceIdentity;
    eventSource.As(&sourceIdentity);
    EXPECT_EQ(call.argumentObjects[1], sourceIdentity.Get());
    EXPECT_EQ(referenceCount(eventData.Get()), 1u) << "the arguments' references are dropped after the firing";
}

TEST_F(ConnectionPoints, AFullTableOfWillingSinksGivesSuccessAndAFailingSinkDoesNotStopTheOthers)
{
    std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
    for (int index = 0; index < 4; ++index) {
        sinks.push_back(makeSink());
        advise(sinks.back().Get());
    }
    EXPECT_EQ(source->fireChanged(nullptr, nullptr), S_OK);

    sinks[1]->onInvoke = [] { return DISP_E_EXCEPTION; };
    EXPECT_EQ(source->fireChanged(nullptr, nullptr), E_FAIL);
    for (const auto& sink : sinks) {
        EXPECT_EQ(sink->callCount(), 2u);
    }

    // A null object argument still travels, as a null pointer of its type.
    const auto call = sinks[0]->calls().back();
    EXPECT_EQ(call.argumentTypes, (std::vector<VARTYPE>{VT_DISPATCH, VT_UNKNOWN}));
    EXPECT_EQ(call.argumentObjects, (std::vector<IUnknown*>{nullptr, nullptr}));
}

TEST_F(ConnectionPoints, ASinkThatAdvisesDuringAFiringStopsItOnceTheTableGrew)
{
    std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
    for (int index = 0; index < 4; ++index) {
        sinks.push_back(makeSink());
        advise(sinks.back().Get());
    }
    auto late = makeSink();
    DWORD lateCookie = 0;
    sinks[0]->onInvoke = [&] { return point->Advise(late.Get(), &lateCookie); };

    EXPECT_EQ(source->fireChanged(nullptr, nullptr), E_FAIL);
    EXPECT_EQ(lateCookie, 5u);
    EXPECT_EQ(sinks[0]->callCount(), 1u);
    for (int index = 1; index < 4; ++index) {
        EXPECT_EQ(sinks[index]->callCount(), 0u) << "sink " << index << " comes after the growth";
    }
    EXPECT_EQ(late->callCount(), 0u);
}

TEST_F(ConnectionPoints, ASinkThatUnadvisesAnotherDuringAFiringLeavesItUnreached)
{
    std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
    std::vector<DWORD> cookies;
    for (int index = 0; index < 4; ++index) {
        sinks.push_back(makeSink());
        cookies.push_back(advise(sinks.back().Get()));
    }
    sinks[0]->onInvoke = [&] { return point->Unadvise(cookies[2]); };

    EXPECT_EQ(source->fireChanged(nullptr, nullptr), E_FAIL) << "the emptied slot counts as a failure";
    EXPECT_EQ(sinks[1]->callCount(), 1u);
    EXPECT_EQ(sinks[2]->callCount(), 0u);
    EXPECT_EQ(sinks[3]->callCount(), 1u);
    EXPECT_EQ(referenceCount(sinks[2].Get()), 1u);
}

TEST_F(ConnectionPoints, TheObjectReleasesEverySinkWhenItGoesAndUnlocksTheModule)
{
    const LONG locksBefore = orvex::atl::CAtlModule::current()->GetLockCount();
    auto first = makeSink();
    auto second = makeSink();
    advise(first.Get());
    advise(second.Get());
    advise(second.Get());
    EXPECT_EQ(referenceCount(second.Get()), 3u);

    point.Reset();
    source.Reset();
    EXPECT_EQ(referenceCount(first.Get()), 1u);
    EXPECT_EQ(referenceCount(second.Get()), 1u);
    EXPECT_EQ(orvex::atl::CAtlModule::current()->GetLockCount(), locksBefore + 2 - 1)
        << "the event source went; the two sinks still count";
}

TEST_F(ConnectionPoints, TheConnectionPointIsAPartOfItsOwner)
{
    const ULONG ownerReferences = referenceCount(static_cast<IConnectionPointContainer*>(source.Get()));
    ComPtr<IUnknown> asUnknown;
    ASSERT_EQ(point.As(&asUnknown), S_OK);
    EXPECT_EQ(asUnknown.Get(), static_cast<IUnknown*>(point.Get())) << "its own identity";
    EXPECT_EQ(referenceCount(static_cast<IConnectionPointContainer*>(source.Get())), ownerReferences + 1) << "counted on the owner";
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(point.As(&dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch.Get(), nullptr);

    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, kTestEventsIid));
    EXPECT_EQ(point->GetConnectionInterface(nullptr), E_POINTER);

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(point->GetConnectionPointContainer(&container), S_OK);
    EXPECT_EQ(container.Get(), static_cast<IConnectionPointContainer*>(source.Get()));
}

TEST_F(ConnectionPoints, TheContainerFindsAndListsItsPointsInTableOrder)
{
    ComPtr<IConnectionPoint> found = point;
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &found), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(found.Get(), nullptr) << "the out-pointer is cleared";
    EXPECT_EQ(source->FindConnectionPoint(kTestEventsIid, nullptr), E_POINTER);
    EXPECT_EQ(source->EnumConnectionPoints(nullptr), E_POINTER);

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(source->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(listed[0], point.Get());
    IID second{};
    listed[1]->GetConnectionInterface(&second);
    EXPECT_TRUE(IsEqualIID(second, kTestOtherEventsIid));
    listed[0]->Release();
    listed[1]->Release();

    ComPtr<IEnumConnections> wrongInterface;
    EXPECT_EQ(points.As(&wrongInterface), E_NOINTERFACE);
}

TEST_F(ConnectionPoints, EnumeratedConnectionsAreASnapshotWithEachSlotsOwnCookie)
{
    auto first = makeSink();
    auto second = makeSink();
    advise(first.Get());
    advise(second.Get());
    advise(first.Get());
    point->Unadvise(2);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    advise(second.Get());

    CONNECTDATA listed[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(4, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u) << "the sink advised afterwards is not in the snapshot";
    // The same sink advised twice is listed with the cookie of each of its slots, so that
    // either connection can be ended with the cookie listed for it.
    EXPECT_EQ(listed[0].dwCookie, 1u);
    EXPECT_EQ(listed[1].dwCookie, 3u);
    EXPECT_EQ(listed[0].pUnk, static_cast<IUnknown*>(static_cast<ITestEvents*>(first.Get())));
    EXPECT_EQ(referenceCount(first.Get()), 7u) << "the test, two slots, two in the snapshot, two handed out";
    listed[0].pUnk->Release();
    listed[1].pUnk->Release();
    EXPECT_EQ(point->EnumConnections(nullptr), E_POINTER);
}

TEST_F(ConnectionPoints, EnumeratorsStepSkipResetAndCloneAtTheirPosition)
{
    std::vector<ComPtr<CComObject<TestEventsSink>>> sinks;
    for (int index = 0; index < 5; ++index) {
        sinks.push_back(makeSink());
        advise(sinks.back().Get());
    }
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA item{};
    ULONG fetched = 9;

    EXPECT_EQ(connections->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(fetched, 0u);
    CONNECTDATA two[2] = {};
    EXPECT_EQ(connections->Next(2, two, nullptr), E_POINTER) << "more than one item needs the fetched count";

    EXPECT_EQ(connections->Skip(0), S_OK);
    EXPECT_EQ(connections->Next(1, &item, nullptr), S_OK) << "one item needs no fetched count";
    EXPECT_EQ(item.dwCookie, 1u) << "Skip(0) did not move";
    item.pUnk->Release();

    EXPECT_EQ(connections->Skip(2), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
    EXPECT_EQ(connections->Clone(nullptr), E_POINTER);

    EXPECT_EQ(connections->Skip(5), S_FALSE) << "only two were left";
    EXPECT_EQ(connections->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(clone->Next(1, &item, &fetched), S_OK);
    EXPECT_EQ(item.dwCookie, 4u) << "the clone starts where its original was";
    item.pUnk->Release();

    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Next(1, &item, &fetched), S_OK);
    EXPECT_EQ(item.dwCookie, 1u);
    item.pUnk->Release();

    // The snapshot outlives the enumerator that took it, for as long as a clone holds it.
    connections.Reset();
    EXPECT_EQ(clone->Next(1, &item, &fetched), S_OK);
    EXPECT_EQ(item.dwCookie, 5u);
    item.pUnk->Release();
    clone.Reset();
    point->Unadvise(1);
    EXPECT_EQ(referenceCount(sinks[0].Get()), 1u) << "the snapshot's references went with it";
}
