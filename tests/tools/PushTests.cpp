// The presence push as Office holds on to it: every presence change of a contact arrives
// in one event-data object that COM already knows, and that object goes when Office lets
// the contact go. (The changed types it lists are the presence test's.)
#include "client/com/Bstr.h"
#include "tests/tools/EndToEndTest.h"

#include <mutex>
#include <thread>

using Microsoft::WRL::ComPtr;

namespace {

using PushTest = EndToEndTest;

TEST_F(PushTest, PresencePushesOfAContactShareOneEventDataThatGoesWithTheContact)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    const long long before = host->stats().live;
    {
        ComPtr<IUCCContact> contact;
        ASSERT_EQ(office->contactManager()->GetContactByUri(orvex::com::Bstr(L"pushed@orvex.example").get(), &contact),
                  S_OK);
        std::mutex mutex;
        std::vector<ComPtr<IDispatch>> received;
        const auto sink = EventSink::create(__uuidof(_IUCCContactEvents), [&](DISPID member, const DISPPARAMS& args) {
            if (member == 400 && args.cArgs == 2 && args.rgvarg[0].vt == VT_DISPATCH) {
                std::lock_guard lock(mutex);
                received.emplace_back(args.rgvarg[0].pdispVal);
            }
        });
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        ASSERT_EQ(contact.As(&container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(__uuidof(_IUCCContactEvents), &point), S_OK);
        ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);

        for (const char* status : {"away", "present", "dnd"}) {
            command(std::string("set pushed@orvex.example ") + status, std::string("push pushed@orvex.example ") + status);
        }
        const auto count = [&] {
            std::lock_guard lock(mutex);
            return received.size();
        };
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (count() < 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard lock(mutex);
        ASSERT_EQ(received.size(), 3u);
        ComPtr<IUnknown> first;
        ASSERT_EQ(received[0].As(&first), S_OK);
        for (const auto& eventData : received) {
            ComPtr<IUnknown> identity;
            ASSERT_EQ(eventData.As(&identity), S_OK);
            EXPECT_EQ(identity.Get(), first.Get()) << "a presence push built a new event-data object";
        }
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
        received.clear();
    }
    // The contact, its watcher's objects and its event data are gone with Office's last reference.
    long long after = host->stats().live;
    for (int attempt = 0; attempt < 50 && after != before; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = host->stats().live;
    }
    EXPECT_EQ(after, before);
}

} // namespace
