// The COM object machinery as a contact carries it: a connection point, its sink table and
// the fire loop. (Refused sinks, and that none is kept, are the fuzzer's.)
#include "client/com/Atl.h"
#include "contacts/UCCContact.h"
#include "tests/support/RecordingSink.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include <gtest/gtest.h>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

using TestEventsSink = RecordingSink<_IUCCContactEvents>;

class ConnectionPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveAtStart = liveObjects();
        ASSERT_EQ(CComObject<UCCContact>::CreateInstance(source), S_OK);
        ASSERT_EQ(source->FindConnectionPoint(DIID__IUCCContactEvents, &point), S_OK);
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
    ComPtr<CComObject<UCCContact>> source;
    ComPtr<IConnectionPoint> point;
};

} // namespace

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

    EXPECT_EQ(source->fireOnContactInformationChanged(eventSource.Get(), eventData.Get()), E_FAIL) << "one sink failed";

    for (const auto& sink : sinks) {
        ASSERT_EQ(sink->events().size(), 1u) << "a failing sink does not stop the others, and the last slot is reached";
    }
    const RecordedEvent event = sinks[7]->events()[0];
    EXPECT_EQ(event.member, 400);
    EXPECT_EQ(event.flags, DISPATCH_METHOD);
    EXPECT_EQ(event.types, (std::vector<VARTYPE>{VT_DISPATCH, VT_DISPATCH}));
    EXPECT_EQ(event.objects, (std::vector<IUnknown*>{identityOf(eventData.Get()), identityOf(eventSource.Get())}));
    EXPECT_EQ(referenceCount(eventData.Get()), 1u) << "the arguments' references are dropped after the firing";
    sinks[1]->onEvent = nullptr;
    EXPECT_EQ(source->fireOnContactInformationChanged(nullptr, nullptr), S_OK);
}
