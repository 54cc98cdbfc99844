// The stand-ins' own logic that the end-to-end runs lean on: the presence table's watch
// bookkeeping, the host's options and the Office report's failure naming and JSON.
#include "tools/host/HostOptions.h"
#include "tools/host/PresenceTable.h"
#include "tools/office/ConnectionReport.h"
#include "tools/office/OfficeOptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

PresenceTable::Callback counting(int& calls)
{
    return [&calls](OutlookContactStatus) { ++calls; };
}

} // namespace

TEST(PresenceTable, ReadsATableFileAndNamesTheFirstBadLine)
{
    PresenceTable table;
    std::string error;
    EXPECT_TRUE(table.load("# people\nann@x.example present\r\n\nben@x.example oof\n", error)) << error;
    EXPECT_EQ(table.watch("ben@x.example", {}), OutlookContactStatus::OfflineOOF);
    EXPECT_EQ(table.watch("nobody@x.example", {}), OutlookContactStatus::PresenceUnknown);

    PresenceTable broken;
    EXPECT_FALSE(broken.load("ann@x.example present\nben@x.example sleepy\n", error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(broken.load("ann@x.example evicted\n", error)) << "eviction is an event, not a status";
    EXPECT_FALSE(broken.load("ann@x.example present extra\n", error));
}

TEST(PresenceTable, KeepsCallbacksUntilTheLastWatchOfTheAddressEnds)
{
    PresenceTable table;
    table.loadBuiltIn();
    int first = 0;
    int second = 0;
    EXPECT_EQ(table.watch("bob@orvex.example", counting(first)), OutlookContactStatus::OnlineAwayFromComputer);
    table.watch("bob@orvex.example", counting(second));
    for (const auto& callback : table.update("bob@orvex.example", OutlookContactStatus::OnlinePresent)) {
        callback(OutlookContactStatus::OnlinePresent);
    }
    EXPECT_EQ(first + second, 2);
    EXPECT_EQ(table.watch("bob@orvex.example", {}), OutlookContactStatus::OnlinePresent);

    table.unwatch("bob@orvex.example");
    EXPECT_EQ(table.update("bob@orvex.example", OutlookContactStatus::OfflineOOF).size(), 2u);
    table.unwatch("bob@orvex.example");
    EXPECT_TRUE(table.update("bob@orvex.example", OutlookContactStatus::OfflineOOF).empty());
    table.unwatch("bob@orvex.example");
    EXPECT_EQ(table.watchCount(), 0u) << "more stops than watches must not wrap around";
}

TEST(PresenceTable, EvictionHandsTheCallbacksOutOnceAndForgetsThem)
{
    PresenceTable table;
    int calls = 0;
    table.watch("dave@orvex.example", counting(calls));
    EXPECT_EQ(table.evict("dave@orvex.example").size(), 1u);
    EXPECT_TRUE(table.evict("dave@orvex.example").empty());
    EXPECT_EQ(table.watchCount(), 0u);
    table.watch("dave@orvex.example", counting(calls));
    EXPECT_EQ(table.callbackCount(), 1u);
    table.forgetCallbacks();
    EXPECT_EQ(table.callbackCount(), 0u);
}

TEST(HostOptions, DefaultsRunWithoutOptionsAndTheLevelFilterRanksTracingBelowDebug)
{
    const HostOptions defaults = HostOptions::parse({});
    EXPECT_TRUE(defaults.error.empty());
    EXPECT_EQ(defaults.identity, "me@orvex.example");
    EXPECT_TRUE(defaults.runScript);
    EXPECT_EQ(defaults.runFor.count(), 0);

    const HostOptions debug = HostOptions::parse({"--log-level", "debug", "--seconds", "5", "--no-script"});
    EXPECT_TRUE(debug.error.empty()) << debug.error;
    EXPECT_EQ(debug.runFor, std::chrono::seconds(5));
    EXPECT_FALSE(debug.runScript);
    EXPECT_GE(HostOptions::rankOfLevel(3), debug.minimumLogRank);
    EXPECT_LT(HostOptions::rankOfLevel(7), debug.minimumLogRank) << "presence tracing is noisier than debug";
    EXPECT_LT(HostOptions::rankOfLevel(1), debug.minimumLogRank);
    EXPECT_GE(HostOptions::rankOfLevel(42), debug.minimumLogRank) << "unknown levels are shown";

    EXPECT_FALSE(HostOptions::parse({"--log-level", "loud"}).error.empty());
    EXPECT_FALSE(HostOptions::parse({"--seconds", "-1"}).error.empty());
    EXPECT_FALSE(HostOptions::parse({"--identity"}).error.empty());
}

TEST(ConnectionReport, NamesTheFirstFailingLinkAndWritesValidJsonText)
{
    const std::string path = "connection-report-test.jsonl";
    {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        ConnectionReport report(true, file);
        EXPECT_TRUE(report.call("read \"DefaultIMApp\"", Link::Registry, S_OK, "C:\\path\n"));
        EXPECT_FALSE(report.call("CoGetClassObject", Link::ClassObject, REGDB_E_CLASSNOTREG));
        EXPECT_FALSE(report.call("later", Link::Call, E_FAIL));
        const auto failure = report.firstFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->number, 2);
        EXPECT_EQ(failure->link, Link::ClassObject);
        report.summary();
        std::fclose(file);
    }
    std::ifstream file(path);
    std::string first;
    std::getline(file, first);
    EXPECT_NE(first.find(R"("name":"read \"DefaultIMApp\"")"), std::string::npos) << first;
    EXPECT_NE(first.find(R"("detail":"C:\\path\n")"), std::string::npos) << first;
    std::string line;
    std::string last;
    while (std::getline(file, line)) {
        last = line;
    }
    EXPECT_NE(last.find(R"("link":"class object","step":"CoGetClassObject","hr":"0x80040154")"), std::string::npos)
        << last;
    std::remove(path.c_str());
}

TEST(OfficeOptions, ListsAreSplitAndTheDefaultPeopleAreTheHostsTable)
{
    const OfficeOptions defaults = OfficeOptions::parse({});
    EXPECT_EQ(defaults.addresses.size(), 5u);
    const OfficeOptions chosen = OfficeOptions::parse({"--address", "a@x,b@x", "--chat", "c@x,,d@x", "--json"});
    EXPECT_EQ(chosen.addresses, (std::vector<std::string>{"a@x", "b@x"}));
    EXPECT_EQ(chosen.chat, (std::vector<std::string>{"c@x", "d@x"}));
    EXPECT_TRUE(chosen.json);
    EXPECT_FALSE(OfficeOptions::parse({"--listen", "soon"}).error.empty());
}
