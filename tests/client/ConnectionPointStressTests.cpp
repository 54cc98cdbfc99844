// Advising, unadvising, enumerating and firing on one object from several threads at
// once: cookies stay unique, every sink is released as often as it was added, and an
// unadvise that meets a firing taking its sink's reference waits for it.
#include "client/com/Atl.h"
#include "client/com/CAtlModule.h"
#include "client/com/CComDynamicUnkArray.h"
#include "tests/client/EventSource.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

using Sink = ComPtr<CComObject<TestEventsSink>>;

constexpr auto kDuration = std::chrono::seconds(3);
constexpr int kAdvisers = 3;
constexpr int kSinksPerAdviser = 5;
constexpr int kFirers = 2;

struct Tally {
    std::atomic<long> advised{0};
    std::atomic<long> unadvised{0};
    std::atomic<long> fired{0};
    std::atomic<long> enumerated{0};
    std::atomic<long> faults{0};
};

} // namespace

TEST(ConnectionPointStress, ConcurrentAdviseUnadviseAndFiringKeepCookiesAndReferencesStraight)
{
    const LONG locksBefore = orvex::com::CAtlModule::current()->GetLockCount();
    auto source = makeEventSource();
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(source->FindConnectionPoint(kTestEventsIid, &point), S_OK);

    std::vector<std::vector<Sink>> sinks(kAdvisers);
    for (auto& own : sinks) {
        for (int index = 0; index < kSinksPerAdviser; ++index) {
            own.push_back(TestEventsSink::create());
        }
    }
    // One sink stays advised throughout and is released only with the object.
    auto resident = TestEventsSink::create();
    DWORD residentCookie = 0;
    ASSERT_EQ(point->Advise(static_cast<ITestEvents*>(resident.Get()), &residentCookie), S_OK);

    Tally tally;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;

    for (auto& own : sinks) {
        threads.emplace_back([&, &own = own] {
            std::vector<DWORD> cookies(own.size());
            while (!stop) {
                for (std::size_t index = 0; index < own.size(); ++index) {
                    if (point->Advise(static_cast<ITestEvents*>(own[index].Get()), &cookies[index]) != S_OK ||
                        cookies[index] == 0) {
                        ++tally.faults;
                    }
                    ++tally.advised;
                }
                // A cookie handed to this thread names this thread's sink until it is
                // given back, whatever the other threads do meanwhile.
                for (auto cookie = cookies.rbegin(); cookie != cookies.rend(); ++cookie) {
                    if (point->Unadvise(*cookie) != S_OK) {
                        ++tally.faults;
                    }
                    ++tally.unadvised;
                }
            }
        });
    }
    for (int firer = 0; firer < kFirers; ++firer) {
        threads.emplace_back([&] {
            while (!stop) {
                const HRESULT result = source->fireChanged(nullptr, nullptr);
                if (result != S_OK && result != E_FAIL) {
                    ++tally.faults;
                }
                ++tally.fired;
            }
        });
    }
    threads.emplace_back([&] {
        while (!stop) {
            ComPtr<IEnumConnections> connections;
            if (point->EnumConnections(&connections) != S_OK) {
                ++tally.faults;
                continue;
            }
            CONNECTDATA item{};
            while (connections->Next(1, &item, nullptr) == S_OK) {
                if (item.dwCookie == 0 || item.pUnk == nullptr) {
                    ++tally.faults;
                }
                item.pUnk->Release();
                ++tally.enumerated;
            }
        }
    });

    std::this_thread::sleep_for(kDuration);
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(tally.faults, 0);
    EXPECT_EQ(tally.advised, tally.unadvised);
    EXPECT_GT(tally.fired, 0);
    EXPECT_GT(tally.advised, 0);
    std::size_t delivered = resident->count();
    for (const auto& own : sinks) {
        for (const auto& sink : own) {
            EXPECT_EQ(referenceCount(sink.Get()), 1u) << "a sink released as often as it was added";
            delivered += sink->count();
        }
    }
    // The table grows twice at most (4, 8, then 16 slots for 16 sinks), and a growth stops
    // only the firings under way; every other firing reaches the resident sink.
    EXPECT_GE(resident->count() + 2 * kFirers, static_cast<std::size_t>(tally.fired.load()));
    EXPECT_GT(delivered, resident->count());

    // Only the resident sink is left, in its slot.
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA items[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(2, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(items[0].dwCookie, residentCookie);
    items[0].pUnk->Release();
    connections.Reset();

    point.Reset();
    source.Reset();
    EXPECT_EQ(referenceCount(resident.Get()), 1u) << "the object released the sink it still held";
    resident.Reset();
    sinks.clear();
    EXPECT_EQ(orvex::com::CAtlModule::current()->GetLockCount(), locksBefore);
}

namespace {

// A sink that can hold back its next AddRef, to keep a firing thread in the middle of
// taking its reference. It is never deleted: it counts the references taken when it had
// none left, each of which would have revived a released object.
class HeldBackSink final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        if (holdUntil.valid()) {
            auto until = std::move(holdUntil);
            holding.set_value();
            until.wait_for(std::chrono::seconds(1));
        }
        const ULONG count = ++references;
        revived += count == 1 ? 1 : 0;
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    std::atomic<ULONG> references{1};
    std::atomic<int> revived{0};
    std::future<void> holdUntil;
    std::promise<void> holding;
};

} // namespace

TEST(ConnectionPointStress, ASinkUnadvisedWhileAFiringTakesItsReferenceIsReleasedOnlyAfterIt)
{
    // The table holds the sink's last reference. A firing that has read its slot is
    // taking a reference while another thread unadvises it: the unadvise must wait, or
    // it releases the sink first and the firing gets a released object.
    HeldBackSink sink;
    orvex::com::CComDynamicUnkArray table;
    const DWORD cookie = table.add(ComPtr<IUnknown>(&sink));
    sink.Release();
    std::promise<void> removed;
    sink.holdUntil = removed.get_future();
    auto firing = std::async(std::launch::async, [&] {
        ComPtr<IUnknown> reference;
        table.readSlot(cookie - 1, table.size(), reference);
        return reference;
    });
    sink.holding.get_future().wait();

    auto unadvise = std::async(std::launch::async, [&] {
        table.remove(cookie);
        removed.set_value();
    });
    ComPtr<IUnknown> reference = firing.get();
    unadvise.get();

    EXPECT_EQ(sink.revived, 0) << "the firing took a reference to a sink already released";
    EXPECT_EQ(reference.Get(), &sink);
    reference.Reset();
    EXPECT_EQ(sink.references, 0u);
}
