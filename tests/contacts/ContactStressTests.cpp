// Many host threads report presence while Office's threads create and release contacts
// and advise and unadvise sinks. Nothing may crash or hang, every contact created must
// stop its watch exactly once, and no COM object may be left when all is released.
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "contacts/ContactResolver.h"
#include "contacts/UCCContactManager.h"
#include "host/IOfficeIntegration.h"
#include "host/lifecycle/OfficeIntegrationModule.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/MockPlatformHelper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using ::testing::_;

namespace {

// The host's side: every watch it was asked for, reported on from its own threads.
class StressHost {
public:
    StressHost() : helper(std::make_shared<::testing::NiceMock<MockPlatformHelper>>())
    {
        ::testing::Mock::AllowLeak(helper.get());
        ON_CALL(*helper, getContactPresence(_, _))
            .WillByDefault([this](const std::string&, IOfficeAdapterPlatformHelper::PresenceCallback callback) {
                if (callback) {
                    std::lock_guard lock(mutex);
                    watches.push_back(std::move(callback));
                }
                return OutlookContactStatus::OnlinePresent;
            });
        ON_CALL(*helper, stopContactPresence(_)).WillByDefault([this](const std::string&) { ++stops; });
        getOutlookIntegration(helper);
    }

    // Reports a status for some watch, as a host thread would.
    void reportSome(std::mt19937& random)
    {
        IOfficeAdapterPlatformHelper::PresenceCallback callback;
        {
            std::lock_guard lock(mutex);
            if (watches.empty()) {
                return;
            }
            // Recent watches belong to live contacts more often.
            const auto span = std::min<std::size_t>(watches.size(), 64);
            callback = watches[watches.size() - 1 - random() % span];
        }
        static constexpr OutlookContactStatus kStatuses[] = {
            OutlookContactStatus::OnlinePresent, OutlookContactStatus::OnlineAwayFromComputer,
            OutlookContactStatus::OnlineDoNotDisturb, OutlookContactStatus::ContactEvicted};
        callback(kStatuses[random() % std::size(kStatuses)]);
    }

    void forgetWatches()
    {
        std::lock_guard lock(mutex);
        watches.clear();
    }

    std::shared_ptr<::testing::NiceMock<MockPlatformHelper>> helper;
    std::atomic<int> stops{0};

private:
    std::mutex mutex;
    std::vector<IOfficeAdapterPlatformHelper::PresenceCallback> watches;
};

struct LiveContact {
    ComPtr<IUCCContact> contact;
    ComPtr<orvex::com::CComObject<RecordingSink<_IUCCContactEvents>>> sink;
    DWORD cookie = 0;
};

} // namespace

TEST(ContactStress, HostReportsRaceOfficeCreatingAndReleasingContacts)
{
    StressHost host;
    const LONG liveAtStart = COfficeIntegrationModule::instance().GetLockCount();
    ComPtr<orvex::com::CComObject<UCCContactManager>> manager;
    ASSERT_EQ(orvex::com::CComObject<UCCContactManager>::CreateInstance(manager), S_OK);
    manager->setResolver(std::make_shared<ContactResolver>());

    constexpr int kOfficeThreads = 2;
    constexpr int kRoundsPerOfficeThread = 4000;
    constexpr int kHostThreads = 3;
    std::atomic<bool> officeDone{false};
    std::atomic<int> created{0};
    std::atomic<std::size_t> eventsSeen{0};
    std::atomic<int> reports{0};

    std::vector<std::thread> hostThreads;
    for (int index = 0; index < kHostThreads; ++index) {
        hostThreads.emplace_back([&, index] {
            std::mt19937 random(1000 + index);
            while (!officeDone) {
                host.reportSome(random);
                ++reports;
            }
        });
    }

    std::vector<std::thread> officeThreads;
    for (int index = 0; index < kOfficeThreads; ++index) {
        officeThreads.emplace_back([&, index] {
            std::mt19937 random(2000 + index);
            std::vector<LiveContact> live;
            for (int round = 0; round < kRoundsPerOfficeThread; ++round) {
                const orvex::com::Bstr address(L"user" + std::to_wstring(random() % 40) + L"@example.org");
                LiveContact next;
                if (manager->GetContactByUri(address.get(), &next.contact) != S_OK) {
                    ADD_FAILURE() << "GetContactByUri failed";
                    return;
                }
                ++created;
                next.sink = RecordingSink<_IUCCContactEvents>::create();
                next.cookie = advise(next.contact.Get(), DIID__IUCCContactEvents, next.sink.Get());
                EXPECT_NE(next.cookie, 0u);
                orvex::com::Variant availability;
                EXPECT_EQ(next.contact->GetContactInformation(ucPresenceAvailability, availability.out()), S_OK);
                live.push_back(std::move(next));

                // Unadvise some sinks, release some contacts, keep a few alive.
                auto& some = live[random() % live.size()];
                if (some.cookie != 0 && random() % 3 == 0) {
                    EXPECT_EQ(unadvise(some.contact.Get(), DIID__IUCCContactEvents, some.cookie), S_OK);
                    some.cookie = 0;
                }
                if (live.size() > 12) {
                    const auto gone = live.begin() + static_cast<std::ptrdiff_t>(random() % live.size());
                    eventsSeen += gone->sink->count();
                    live.erase(gone);
                }
            }
            for (auto& remaining : live) {
                eventsSeen += remaining.sink->count();
            }
        });
    }
    for (auto& thread : officeThreads) {
        thread.join();
    }
    officeDone = true;
    for (auto& thread : hostThreads) {
        thread.join();
    }

    // Late reports for contacts that are all gone reach nobody.
    std::mt19937 random(3000);
    for (int index = 0; index < 100; ++index) {
        host.reportSome(random);
    }
    host.forgetWatches();
    manager.Reset();

    EXPECT_EQ(created, kOfficeThreads * kRoundsPerOfficeThread);
    EXPECT_EQ(host.stops, created.load()) << "every contact stops its watch exactly once";
    EXPECT_GT(eventsSeen, 0u) << "the host's reports reached Office's sinks";
    EXPECT_EQ(COfficeIntegrationModule::instance().GetLockCount(), liveAtStart) << "COM objects were left behind";
    EXPECT_TRUE(::testing::Mock::VerifyAndClearExpectations(host.helper.get()));
    std::printf("stress: %d contacts, %d host reports, %zu events delivered\n", created.load(), reports.load(),
                eventsSeen.load());
}
