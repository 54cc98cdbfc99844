// Starting conversations from Office, through the automation object's vtable as Office
// calls it, with a mock host.
#include "client/UCCAutomation.h"
#include "tests/client/ConversationArrays.h"
#include "tests/client/HostedClientTest.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

#include <climits>
#include <functional>
#include <memory>

using ::testing::_;
using ::testing::ElementsAre;
using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::SafeArray;
using orvex::com::Variant;
using Arrays = ConversationArrays;
using namespace std::string_literals;

namespace {

struct ConversationInput {
    SafeArray participants;
    SafeArray types;
    SafeArray datas;
    // A string that context data refer to, owned here so that it outlives the call.
    std::unique_ptr<BSTR> referenced;
};

ConversationInput input(SafeArray participants, SafeArray types = Arrays::int32s({}),
                        SafeArray datas = Arrays::variants({}))
{
    return {std::move(participants), std::move(types), std::move(datas)};
}

class UCCAutomationTest : public HostedClientTest {
protected:
    void SetUp() override
    {
        HostedClientTest::SetUp();
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCCAutomation>::CreateInstance(object));
        automation = object.Get();
        recorder().clear();
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

    void expectNoHostCall()
    {
        EXPECT_CALL(host(), startInstantMessage(_, _)).Times(0);
        EXPECT_CALL(host(), startCall(_)).Times(0);
    }

    ComPtr<CComObject<UCCAutomation>> object;
    ComPtr<IUCCAutomation> automation;
};

} // namespace

TEST_F(UCCAutomationTest, InstantMessagesGetEveryParticipantInOrderAndTheSubjectInUtf8)
{
    {
        ::testing::InSequence order;
        EXPECT_CALL(host(), startInstantMessage(ElementsAre("sip:j\xC3\xB6rg@example.org", "", "\xE6\xB5\x8B@x.cn"),
                                                "Caf\xC3\xA9 at noon"));
        EXPECT_CALL(host(), startInstantMessage(ElementsAre("a@example.org"), ""));
        EXPECT_CALL(host(), startInstantMessage(ElementsAre("a@example.org", "b@example.org"), ""));
    }
    EXPECT_CALL(host(), startCall(_)).Times(0);

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
    EXPECT_TRUE(recorder().records().empty()) << "a successful start logs nothing";
}

TEST_F(UCCAutomationTest, ACallToOnePersonRingsTheirEndpointWhenOfficeNamesOne)
{
    {
        ::testing::InSequence order;
        // Audio, one participant, an endpoint: only the endpoint is called.
        EXPECT_CALL(host(), startCall(ElementsAre("sip:desk\xC3\xA9@example.org")));
        // Video, two participants: the endpoint is not used.
        EXPECT_CALL(host(), startCall(ElementsAre("a@example.org", "b@example.org")));
        // An empty endpoint, and a null one, leave the participant in place.
        EXPECT_CALL(host(), startCall(ElementsAre("a@example.org"))).Times(2);
        // Audio without any context.
        EXPECT_CALL(host(), startCall(ElementsAre("a@example.org", "a@example.org")));
    }
    EXPECT_CALL(host(), startInstantMessage(_, _)).Times(0);

    const auto endpointContext = [](const Variant& endpoint) {
        return std::pair{Arrays::int32s({20}), Arrays::variants({endpoint})};
    };
    auto [types1, datas1] = endpointContext(Arrays::text(L"sip:desk\u00E9@example.org"));
    EXPECT_EQ(start(2, input(Arrays::strings({L"a@example.org"s}), std::move(types1), std::move(datas1))), S_OK);
    auto [types2, datas2] = endpointContext(Arrays::text(L"sip:desk@example.org"));
    EXPECT_EQ(start(4, input(Arrays::strings({L"a@example.org"s, L"b@example.org"s}), std::move(types2),
                             std::move(datas2))),
              S_OK);
    auto [types3, datas3] = endpointContext(Arrays::text(L""));
    EXPECT_EQ(start(2, input(Arrays::strings({L"a@example.org"s}), std::move(types3), std::move(datas3))), S_OK);
    auto [types4, datas4] = endpointContext(Arrays::nullText());
    EXPECT_EQ(start(4, input(Arrays::strings({L"a@example.org"s}), std::move(types4), std::move(datas4))), S_OK);
    // Participants are handed on as Office gives them, duplicates included.
    EXPECT_EQ(start(2, input(Arrays::strings({L"a@example.org"s, L"a@example.org"s}))), S_OK);
}

TEST_F(UCCAutomationTest, OtherModesAndModeCombinationsReachNoHost)
{
    expectNoHostCall();
    for (const LONG modes : {0, 3, 5, 6, 8, 16, 24, -1}) {
        EXPECT_EQ(start(modes, input(Arrays::strings({L"a@example.org"s}), Arrays::int32s({1}),
                                     Arrays::variants({Arrays::text(L"subject")}))),
                  S_OK)
            << "modes " << modes;
    }
    EXPECT_TRUE(recorder().records().empty());
}

TEST_F(UCCAutomationTest, AnEmptyParticipantListStillReachesTheHost)
{
    EXPECT_CALL(host(), startInstantMessage(::testing::IsEmpty(), ""));
    EXPECT_EQ(start(1, input(Arrays::strings({}))), S_OK);
}

TEST_F(UCCAutomationTest, AnExceptionFromTheHostDoesNotCrossIntoOffice)
{
    EXPECT_CALL(host(), startCall(_)).WillOnce(::testing::Throw(std::runtime_error("host failed")));
    EXPECT_EQ(start(2, input(Arrays::strings({L"a@example.org"s}))), E_FAIL);
}

namespace {

struct Refusal {
    const char* name;
    std::function<ConversationInput()> arguments;
    // The parser's record: its message and function.
    std::string message;
    std::string function;
};

constexpr char kCheckArrayType[] = "StartConversationInputParser::checkArrayType";
constexpr char kParseContext[] = "StartConversationInputParser::parseContext";
constexpr char kParser[] = "StartConversationInputParser::StartConversationInputParser";

SafeArray oneText() { return Arrays::strings({L"a@example.org"s}); }

// A VT_I4 array whose features claim BSTR elements, as a hand-made descriptor may. It
// is empty, so that its own destruction frees no integer as a string.
SafeArray int32sWithTextFeatures()
{
    SafeArray array = Arrays::int32s({});
    array.get()->fFeatures |= FADF_BSTR;
    return array;
}

Variant byReference(BSTR* text)
{
    Variant value;
    value.get().vt = VT_BYREF | VT_BSTR;
    value.get().pbstrVal = text;
    return value;
}

const std::vector<Refusal>& refusals()
{
    static const std::vector<Refusal> rows{
        {"NullParticipants", [] { return ConversationInput{SafeArray(), Arrays::int32s({}), Arrays::variants({})}; },
         "Array is nullptr", kCheckArrayType},
        {"NullContextTypes", [] { return ConversationInput{oneText(), SafeArray(), Arrays::variants({})}; },
         "Array is nullptr", kCheckArrayType},
        {"NullContextData", [] { return ConversationInput{oneText(), Arrays::int32s({}), SafeArray()}; },
         "Array is nullptr", kCheckArrayType},
        {"ParticipantsNotStrings", [] { return input(Arrays::int32s({1})); }, "Array is not of expected Type",
         kCheckArrayType},
        {"ContextTypesNotIntegers", [] { return input(oneText(), Arrays::strings({L"1"s}), Arrays::variants({})); },
         "Array is not of expected Type", kCheckArrayType},
        {"ContextDataNotVariants", [] { return input(oneText(), Arrays::int32s({}), Arrays::int32s({})); },
         "Array is not of expected Type", kCheckArrayType},
        // The participants are checked first: a null context array behind them goes unmentioned.
        {"FirstFailureWins", [] { return ConversationInput{Arrays::variants({}), SafeArray(), SafeArray()}; },
         "Array is not of expected Type", kCheckArrayType},
        {"ElementFeaturesContradictTheType", [] { return input(oneText(), int32sWithTextFeatures(), Arrays::variants({})); },
         "Array is not of expected Type", kCheckArrayType},
        {"ParticipantsTwoDimensional", [] { return input(Arrays::shaped(VT_BSTR, 2, 1)); },
         "Array is not one-dimensional", kCheckArrayType},
        {"ContextDataThreeDimensional",
         [] { return input(oneText(), Arrays::int32s({1}), Arrays::shaped(VT_VARIANT, 3, 1)); },
         "Array is not one-dimensional", kCheckArrayType},
        {"ParticipantBoundsWrapAround", [] { return input(Arrays::shaped(VT_BSTR, 1, 2, LONG_MAX)); },
         "Unable to get bounds of Participants URIs array", kParser},
        {"ParticipantsEndAtTheTopOfTheIndexRange", [] { return input(Arrays::shaped(VT_BSTR, 1, 2, LONG_MAX - 1)); },
         "Unable to get bounds of Participants URIs array", kParser},
        {"ContextBoundsWrapAround",
         [] { return input(oneText(), Arrays::shaped(VT_I4, 1, 2, LONG_MAX), Arrays::shaped(VT_VARIANT, 1, 2)); },
         "Unable to get bounds of context arrays", kParseContext},
        {"ContextSizesDiffer",
         [] {
             return input(oneText(), Arrays::int32s({1, 6}),
                          Arrays::variants({Arrays::text(L"s"), Variant(), Variant()}));
         },
         "ContextTypes and ContextData size do not match", kParseContext},
        {"ContextLowerBoundsDiffer",
         [] { return input(oneText(), Arrays::int32s({6, 1}, 0), Arrays::variants({Arrays::text(L"s"), Variant()}, 1)); },
         "ContextTypes and ContextData bounds do not match", kParseContext},
        {"SubjectNotText", [] { return input(oneText(), Arrays::int32s({1}), Arrays::variants({Variant::fromInt32(7)})); },
         "Unable to set Subject", kParseContext},
        {"EndpointNotText", [] { return input(oneText(), Arrays::int32s({20}), Arrays::variants({Variant()})); },
         "Unable to set Endpoint URI", kParseContext},
        // Entries are checked in index order and the first bad one ends the check.
        {"EntriesInIndexOrder",
         [] {
             return input(oneText(), Arrays::int32s({1, 20, 1}),
                          Arrays::variants({Arrays::text(L"fine"), Variant::fromInt32(1), Variant::fromInt32(2)}));
         },
         "Unable to set Endpoint URI", kParseContext},
        {"SubjectByReference",
         [] {
             auto text = std::make_unique<BSTR>(nullptr);
             ConversationInput arguments =
                 input(oneText(), Arrays::int32s({1}), Arrays::variants({byReference(text.get())}));
             arguments.referenced = std::move(text);
             return arguments;
         },
         "Unable to set Subject", kParseContext},
        {"SubjectAsArrayOfText",
         [] {
             return input(oneText(), Arrays::int32s({1}),
                          Arrays::variants({Variant::fromArray(Arrays::strings({L"subject"s}))}));
         },
         "Unable to set Subject", kParseContext},
        {"SubjectWithEmbeddedNul",
         [] { return input(oneText(), Arrays::int32s({1}), Arrays::variants({Arrays::text(L"hi\0there"s)})); },
         "Subject contains an embedded NUL", kParseContext},
        {"EndpointWithEmbeddedNul",
         [] { return input(oneText(), Arrays::int32s({20}), Arrays::variants({Arrays::text(L"sip:a@x\0"s)})); },
         "Endpoint URI contains an embedded NUL", kParseContext},
        {"ParticipantWithEmbeddedNul",
         [] { return input(Arrays::strings({L"a@example.org"s, L"b@example.org\0evil@example.org"s})); },
         "Participant URI contains an embedded NUL", kParser},
        {"ContextDataNeverAllocated",
         [] { return input(oneText(), Arrays::int32s({1}), Arrays::withoutData(VT_VARIANT, 1)); },
         "Unable to read context entry 0", kParseContext},
        {"ContextTypesNeverAllocated",
         [] { return input(oneText(), Arrays::withoutData(VT_I4, 1), Arrays::variants({Variant()})); },
         "Unable to read context entry 0", kParseContext},
        {"ParticipantsNeverAllocated", [] { return input(Arrays::withoutData(VT_BSTR, 2)); },
         "Unable to read Participants URIs entry 0", kParser},
    };
    return rows;
}

class UCCAutomationRefusalTest : public UCCAutomationTest, public ::testing::WithParamInterface<Refusal> {};

} // namespace

TEST_P(UCCAutomationRefusalTest, IsLoggedAsOneParserErrorThenTheCallsOwnAndReachesNoHost)
{
    expectNoHostCall();
    const Refusal& row = GetParam();
    for (const LONG modes : {1, 2}) {
        recorder().clear();
        EXPECT_EQ(start(modes, row.arguments()), E_INVALIDARG);

        const auto records = recorder().records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].message, row.message);
        EXPECT_EQ(records[0].function, row.function);
        EXPECT_EQ(records[0].file, "StartConversationInputParser");
        EXPECT_EQ(records[1].message, "Invalid arguments passed to StartConversation");
        EXPECT_EQ(records[1].function, "UCCAutomation::StartConversation");
        EXPECT_EQ(records[1].file, "UCCAutomation");
        for (const auto& record : records) {
            EXPECT_EQ(record.level, 6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRefusal, UCCAutomationRefusalTest, ::testing::ValuesIn(refusals()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UCCAutomationTest, DeclinesEveryOtherRequestWithoutTouchingItsOutArguments)
{
    auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0xD00D});
    IUCCConversationWindow* window = untouched;
    EXPECT_EQ(automation->LaunchAddContactWizard(nullptr), E_NOTIMPL);
    EXPECT_EQ(automation->JoinConference(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(automation->GetConversationWindow(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(window, untouched);
}

TEST_F(UCCAutomationTest, AnswersItsOwnInterfaceAndIDispatchOnly)
{
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(automation.As(&dispatch));
    EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(automation.Get()));
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(automation.As(&identity));
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(automation.Get()));

    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(automation.As(&container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
}
