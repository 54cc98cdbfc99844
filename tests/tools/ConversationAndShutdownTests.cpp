// Conversations started from Office reaching the messenger, and the end of the
// integration as Office lives through it: stop and restart.
#include "tests/tools/EndToEndTest.h"

TEST_F(EndToEndTest, ConversationsReachTheMessengerByModeWithTheEndpointRule)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    struct Case {
        LONG mode;
        std::vector<std::string> participants;
        std::string subject;
        std::string endpoint;
        std::string expected;
    };
    const Case cases[] = {
        {1, {"a@orvex.example", "b@orvex.example"}, "Lunch?", "",
         "startInstantMessage participants=[a@orvex.example, b@orvex.example] subject=\"Lunch?\""},
        {1, {"a@orvex.example"}, "", "sip:desk@orvex.example",
         "startInstantMessage participants=[a@orvex.example] subject=\"\""},
        {1, {}, "", "", "startInstantMessage participants=[] subject=\"\""},
        {2, {"a@orvex.example"}, "", "sip:desk@orvex.example", "startCall participants=[sip:desk@orvex.example]"},
        {4, {"a@orvex.example", "b@orvex.example"}, "", "sip:desk@orvex.example",
         "startCall participants=[a@orvex.example, b@orvex.example]"},
        {2, {"a@orvex.example"}, "", "", "startCall participants=[a@orvex.example]"},
    };
    for (const auto& conversation : cases) {
        const std::size_t from = host->lineCount();
        EXPECT_EQ(office->startConversation(conversation.mode, conversation.participants, conversation.subject,
                                            conversation.endpoint),
                  S_OK);
        const auto line = host->waitForLine("participants=", kPatience, from);
        ASSERT_TRUE(line) << conversation.expected;
        EXPECT_EQ(*line, conversation.expected);
    }

    // Modes that name no conversation the messenger starts reach nobody: the next request
    // the host sees is the one after them.
    const std::size_t from = host->lineCount();
    for (const LONG mode : {0, 3, 6, 8}) {
        EXPECT_EQ(office->startConversation(mode, {"x@orvex.example"}, "", ""), S_OK) << mode;
    }
    EXPECT_EQ(office->startConversation(2, {"marker@orvex.example"}, "", ""), S_OK);
    const auto next = host->waitForLine("participants=", kPatience, from);
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, "startCall participants=[marker@orvex.example]");
}

TEST_F(EndToEndTest, StoppingSignsTheClientOutThenShutsDownAndARestartServesANewObject)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    IUCCContact* contact = watch("alice@orvex.example");
    ASSERT_NE(contact, nullptr);
    const auto shutDown = [](const ConnectionReport::Event& event) { return event.name == "OnShuttingDown"; };

    command("stop", "host: integration stopped");
    ASSERT_TRUE(report.waitForEvents(shutDown, 1, kPatience));
    // Signed in (3) to signed out (1), status 0, then the shut-down.
    std::vector<std::string> order;
    for (const auto& event : report.events()) {
        if (event.name == "OnStateChanged" || event.name == "OnShuttingDown") {
            order.push_back(event.name + event.field("old") + event.field("new") + event.field("status"));
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"OnStateChanged310", "OnShuttingDown"}));

    // The objects Office holds still answer; a new Office finds no running provider.
    ClientState state{};
    EXPECT_EQ(office->client()->get_State(&state), S_OK);
    EXPECT_EQ(state, ucClientStateSignedOut);
    EXPECT_EQ(availabilityOf(contact), 3500);
    {
        ConnectionReport refused(false, nullptr);
        EXPECT_FALSE(newOffice(refused, std::chrono::milliseconds(500))->connect());
        ASSERT_TRUE(refused.firstFailure());
        EXPECT_EQ(refused.firstFailure()->link, Link::Registry);
    }

    command("start", "host: integration started");
    ConnectionReport again(false, nullptr);
    auto restarted = newOffice(again);
    ASSERT_TRUE(restarted->connect());
    EXPECT_EQ(restarted->client()->get_State(&state), S_OK);
    EXPECT_EQ(state, ucClientStateSignedIn);
    EXPECT_EQ(office->client()->get_State(&state), S_OK);
    EXPECT_EQ(state, ucClientStateSignedOut) << "the old client never signs in again";
    restarted->release();
}
