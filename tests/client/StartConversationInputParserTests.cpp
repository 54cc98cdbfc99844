// What the parser takes from Office's arrays when they are sound. Its refusals are
// tested at the automation object's edge, where Office meets them.
#include "client/StartConversationInputParser.h"
#include "tests/client/ConversationArrays.h"
#include "tests/client/HostedClientTest.h"

#include <gtest/gtest.h>

using orvex::com::SafeArray;
using orvex::com::Variant;
using Arrays = ConversationArrays;
using namespace std::string_literals;

namespace {

using StartConversationInputParserTest = HostedClientTest;

} // namespace

TEST_F(StartConversationInputParserTest, ParticipantsComeInArrayOrderAsUtf8AndNullEntriesAsEmptyText)
{
    const SafeArray participants =
        Arrays::strings({L"sip:j\u00F6rg@example.org"s, std::nullopt, L"\u6D4B\u8BD5@example.cn"s}, -3);
    const SafeArray types = Arrays::int32s({});
    const SafeArray datas = Arrays::variants({});

    const StartConversationInputParser parser(participants.get(), types.get(), datas.get());

    EXPECT_TRUE(parser.valid);
    EXPECT_EQ(parser.participantCount, 3);
    EXPECT_EQ(parser.participantUris,
              (std::vector<std::string>{"sip:j\xC3\xB6rg@example.org", "", "\xE6\xB5\x8B\xE8\xAF\x95@example.cn"}));
    EXPECT_FALSE(parser.subjectSet);
    EXPECT_FALSE(parser.endpointUriSet);
    EXPECT_TRUE(parser.subject.isNull());
    EXPECT_TRUE(parser.endpointUri.isNull());
    EXPECT_TRUE(recorder().records().empty());
}

TEST_F(StartConversationInputParserTest, TheLastSubjectAndEndpointWinAndOtherContextTypesAreNotLookedAt)
{
    const SafeArray participants = Arrays::strings({L"a@example.org"s});
    // Type 6 (a first instant message) carries an integer and type 21 nothing at all:
    // neither is read. The second endpoint is a null string (which the system's copy
    // may turn into an empty one): it still replaces the first.
    const SafeArray types = Arrays::int32s({1, 20, 6, 1, 21, 20}, 7);
    const SafeArray datas = Arrays::variants(
        {Arrays::text(L"first"), Arrays::text(L"sip:old@example.org"), Variant::fromInt32(5),
         Arrays::text(L"Zw\u00F6lf Uhr"), Variant(), Arrays::nullText()},
        7);

    const StartConversationInputParser parser(participants.get(), types.get(), datas.get());

    EXPECT_TRUE(parser.valid);
    EXPECT_TRUE(parser.subjectSet);
    EXPECT_EQ(parser.subject.view(), L"Zw\u00F6lf Uhr");
    EXPECT_TRUE(parser.endpointUriSet);
    EXPECT_TRUE(parser.endpointUri.empty());
    EXPECT_TRUE(recorder().records().empty());
}

TEST_F(StartConversationInputParserTest, EmptyAndVectorArraysAreOrdinaryInput)
{
    const SafeArray participants = Arrays::strings({}, 4);
    const SafeArray types = SafeArray::attach(SafeArrayCreateVector(VT_I4, 0, 0));
    const SafeArray datas = SafeArray::attach(SafeArrayCreateVector(VT_VARIANT, 0, 0));

    const StartConversationInputParser parser(participants.get(), types.get(), datas.get());

    EXPECT_TRUE(parser.valid);
    EXPECT_EQ(parser.participantCount, 0);
    EXPECT_TRUE(parser.participantUris.empty());
}

TEST_F(StartConversationInputParserTest, TheParticipantCountIsKnownEvenWhenALaterCheckFails)
{
    const SafeArray participants = Arrays::strings({L"a@x"s, L"b@x"s});
    const SafeArray types = Arrays::int32s({1});
    const SafeArray datas = Arrays::variants({Variant::fromInt32(1)});

    const StartConversationInputParser parser(participants.get(), types.get(), datas.get());

    EXPECT_FALSE(parser.valid);
    EXPECT_EQ(parser.participantCount, 2);
    EXPECT_TRUE(parser.participantUris.empty()) << "nothing of a refused call is handed on";
    EXPECT_EQ(recorder().messages(6), std::vector<std::string>{"Unable to set Subject"});
}
