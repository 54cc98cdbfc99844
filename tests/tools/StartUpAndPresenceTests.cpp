// Presence as Office holds it across processes: pushed by the messenger to every contact of
// the person, and read back by Office. (Start-up's order and each status's availability are
// the host boundary's tests; an eviction and the renewal ten seconds later are the watcher's,
// on a clock they move by hand.)
#include "tests/tools/EndToEndTest.h"

TEST_F(EndToEndTest, PushedPresenceReachesEveryContactOfThePersonWithTheChangedTypes)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    IUCCContact* first = watch("bob@orvex.example");
    IUCCContact* second = watch("bob@orvex.example");
    ASSERT_TRUE(first && second);
    command("set bob@orvex.example present", "push bob@orvex.example present to 2 watch(es)");
    ASSERT_TRUE(waitForChange("bob@orvex.example", 3500, 2));
    for (const auto& event : report.events()) {
        if (event.name == "OnContactInformationChanged") {
            EXPECT_EQ(event.field("changed"), "[0,1,8,7]");
            EXPECT_EQ(event.field("source"), "contact");
        }
    }
    EXPECT_EQ(availabilityOf(first), 3500);
    EXPECT_EQ(availabilityOf(second), 3500);

    command("set bob@orvex.example dnd", "push bob@orvex.example dnd");
    EXPECT_TRUE(waitForChange("bob@orvex.example", 9500, 2));
}
