// The sink table under threads that meet: an unadvise that meets a firing taking its
// sink's reference waits for it. Deterministic, where a stress run of advisers and firers
// met the window in a few runs of many.
#include "client/com/CComDynamicUnkArray.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <future>

using Microsoft::WRL::ComPtr;

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
