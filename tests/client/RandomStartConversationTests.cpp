// StartConversation fed with many generated array shapes, through the vtable as Office
// calls it: no crash, no exception into the caller, and only S_OK or E_INVALIDARG, as
// the generator judged each sample.
#include "client/UCCAutomation.h"
#include "tests/client/RandomConversationArrays.h"
#include "tests/support/RecordingHost.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

using ::testing::_;
using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

using RandomStartConversationTest = HostedTest;

constexpr LONG kModes[] = {0, 1, 2, 3, 4, 6, 8, 16};

} // namespace

TEST_F(RandomStartConversationTest, EveryGeneratedShapeIsAcceptedOrRefusedAsItShouldBe)
{
    ComPtr<CComObject<UCCAutomation>> object;
    ASSERT_HRESULT_SUCCEEDED(CComObject<UCCAutomation>::CreateInstance(object));
    const ComPtr<IUCCAutomation> automation = object.Get();

    // Expectations, not default actions: they go with the test and so do the lists.
    std::vector<std::size_t> instantMessages;
    std::vector<std::size_t> calls;
    EXPECT_CALL(host.mock(), startInstantMessage(_, _))
        .Times(::testing::AnyNumber())
        .WillRepeatedly([&](const std::vector<std::string>& uris, const std::string&) {
            instantMessages.push_back(uris.size());
        });
    EXPECT_CALL(host.mock(), startCall(_)).Times(::testing::AnyNumber()).WillRepeatedly([&](const std::vector<std::string>& uris) {
        calls.push_back(uris.size());
    });

    constexpr std::uint32_t kSeed = 20240601;
    constexpr int kSamples = 3000;
    RandomConversationArrays generator(kSeed);
    std::mt19937 modePicker(kSeed);
    int accepted = 0;
    for (int iteration = 0; iteration < kSamples && !HasFailure(); ++iteration) {
        const RandomConversationArrays::Sample sample = generator.next();
        const LONG modes = kModes[std::uniform_int_distribution<std::size_t>(0, std::size(kModes) - 1)(modePicker)];
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", sample " + std::to_string(iteration) + ", modes " +
                     std::to_string(modes) + ": " + sample.description);
        host.forgetRecords();
        instantMessages.clear();
        calls.clear();

        auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0xF00D});
        IUCCConversationWindow* window = untouched;
        const HRESULT result =
            automation->StartConversation(static_cast<AutomationModalities>(modes), sample.participants.get(),
                                          sample.types.get(), sample.datas.get(), &window);
        EXPECT_EQ(window, untouched);

        if (!sample.acceptable) {
            EXPECT_EQ(result, E_INVALIDARG);
            EXPECT_TRUE(instantMessages.empty() && calls.empty()) << "a refused call reaches no host";
            const auto errors = host.messages(6);
            EXPECT_EQ(errors.size(), 2u) << "one record of the check that failed, one of the call";
            EXPECT_EQ(host.messages().size(), errors.size());
            if (!errors.empty()) {
                EXPECT_EQ(errors.back(), "Invalid arguments passed to StartConversation");
            }
            continue;
        }
        ++accepted;
        EXPECT_EQ(result, S_OK);
        EXPECT_TRUE(host.records().empty());
        if (modes == 1) {
            EXPECT_EQ(instantMessages, std::vector<std::size_t>{sample.participantCount});
            EXPECT_TRUE(calls.empty());
        } else if (modes == 2 || modes == 4) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0], sample.participantCount);
            EXPECT_TRUE(instantMessages.empty());
        } else {
            EXPECT_TRUE(instantMessages.empty() && calls.empty());
        }
    }
    // The generator must reach both outcomes often enough to mean something.
    EXPECT_GT(accepted, kSamples / 10);
    EXPECT_LT(accepted, kSamples * 9 / 10);
}
