// Starting conversations from Office, through the automation object's vtable as Office
// calls it, with a mock host.
#include "client/UCCAutomation.h"
#include "tests/client/ConversationArrays.h"
#include "tests/support/RecordingHost.h"

#include <gmock/gmock.h>

#include <wrl/client.h>


using ::testing::_;
using ::testing::ElementsAre;
using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;
using orvex::com::SafeArray;
using orvex::com::Variant;
using Arrays = ConversationArrays;
using namespace std::string_literals;

namespace {

struct ConversationInput {
    SafeArray participants;
    SafeArray types;
    SafeArray datas;
};

ConversationInput input(SafeArray participants, SafeArray types = Arrays::int32s({}),
                        SafeArray datas = Arrays::variants({}))
{
    return {std::move(participants), std::move(types), std::move(datas)};
}

class UCCAutomationTest : public HostedTest {
protected:
    void SetUp() override
    {
        HostedTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCCAutomation>::CreateInstance(object));
        automation = object.Get();
        host.forgetRecords();
    }

    // Calls StartConversation as Office does and checks that the window it offers is
    // left as it was.
    HRESULT start(LONG modes, const ConversationInput& arguments)
    {
        auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0x5EED});
        IUCCConversationWindow* window = untouched;
        const HRESULT result = automation->StartConversation(static_cast<AutomationModalities>(modes),
                                                             arguments.participants.get(), arguments.types.get(),
                                                             arguments.datas.get(), &window);
        EXPECT_EQ(window, untouched) << "the conversation window is never written";
        return result;
    }

    ComPtr<CComObject<UCCAutomation>> object;
    ComPtr<IUCCAutomation> automation;
};

} // namespace

TEST_F(UCCAutomationTest, InstantMessagesGetEveryParticipantInOrderAndTheSubjectInUtf8)
{
    {
        ::testing::InSequence order;
        EXPECT_CALL(host.mock(), startInstantMessage(ElementsAre("sip:j\xC3\xB6rg@example.org", "", "\xE6\xB5\x8B@x.cn"),
                                                "Caf\xC3\xA9 at noon"));
        EXPECT_CALL(host.mock(), startInstantMessage(ElementsAre("a@example.org"), ""));
        EXPECT_CALL(host.mock(), startInstantMessage(ElementsAre("a@example.org", "b@example.org"), ""));
    }
    EXPECT_CALL(host.mock(), startCall(_)).Times(0);

    // Three participants, one of them null, from a non-zero lower bound; the last subject
    // wins, and types other than subject and endpoint are not read (6 with an integer,
    // 21 with nothing).
    EXPECT_EQ(start(1, input(Arrays::strings({L"sip:j\u00F6rg@example.org"s, std::nullopt, L"\u6D4B@x.cn"s}, -3),
                             Arrays::int32s({1, 6, 21, 1}, 7),
                             Arrays::variants({Arrays::text(L"first"), Variant::fromInt32(42), Variant(),
                                               Arrays::text(L"Caf\u00E9 at noon")},
                                              7))),
              S_OK);
    // No context at all; then an endpoint, which an instant message does not use.
    EXPECT_EQ(start(1, input(Arrays::strings({L"a@example.org"s}))), S_OK);
    EXPECT_EQ(start(1, input(Arrays::strings({L"a@example.org"s, L"b@example.org"s}), Arrays::int32s({20}),
                             Arrays::variants({Arrays::text(L"sip:desk@example.org")}))),
              S_OK);
    EXPECT_TRUE(host.records().empty()) << "a successful start logs nothing";
}

TEST_F(UCCAutomationTest, AnExceptionFromTheHostDoesNotCrossIntoOffice)
{
    EXPECT_CALL(host.mock(), startCall(_)).WillOnce(::testing::Throw(std::runtime_error("host failed")));
    EXPECT_EQ(start(2, input(Arrays::strings({L"a@example.org"s}))), E_FAIL);
}

TEST_F(UCCAutomationTest, DeclinesEveryOtherRequestWithoutTouchingItsOutArguments)
{
    auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0xD00D});
    IUCCConversationWindow* window = untouched;
    EXPECT_EQ(automation->LaunchAddContactWizard(nullptr), E_NOTIMPL);
    EXPECT_EQ(automation->JoinConference(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(automation->GetConversationWindow(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(window, untouched);
}
