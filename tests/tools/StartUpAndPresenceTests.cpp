// Start-up as Office sees it, and presence both ways: pulled by Office, pushed by the
// messenger. (An eviction and the renewal ten seconds later are the watcher's tests', on a
// clock they move by hand.)
#include "client/com/Bstr.h"
#include "tests/tools/EndToEndTest.h"


using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;

namespace {

const std::wstring kProviderKey = L"Software\\IM Providers\\Talvo Orvex";
const std::wstring kProviderKey32 = L"Software\\WOW6432Node\\IM Providers\\Talvo Orvex";

class UnstartedHostTest : public EndToEndTest {
protected:
    UnstartedHostTest() { hostOptions = L"--no-start"; }
};

} // namespace

TEST_F(UnstartedHostTest, TheProviderIsAnnouncedOnlyAfterItsClassObjectIsRegistered)
{
    const std::size_t before = host->lineCount();
    command("start", "host: integration started");
    const auto starting = host->indexOf("LocalServer::startIntegration: starting", before);
    const auto one = host->indexOf("Setting UpAndRunning to 1", before);
    const auto registered = host->indexOf("classFactoryRegistered hr=0x00000000", before);
    const auto up = host->indexOf("Up and running", before);
    ASSERT_TRUE(starting && one && registered && up);
    EXPECT_LT(*starting, *one);
    EXPECT_LT(*one, *registered);
    EXPECT_LT(*registered, *up);

    EXPECT_EQ(readUpAndRunning(), 2u);
    EXPECT_EQ(readText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp"), L"Talvo Orvex");
    EXPECT_EQ(readText(HKEY_CURRENT_USER, L"Software\\WOW6432Node\\IM Providers", L"DefaultIMApp"), L"Talvo Orvex");
    for (const auto& key : {kProviderKey, kProviderKey32}) {
        EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, key, L"FriendlyName"), L"Talvo Orvex");
        EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, key, L"ProcessName"), L"OrvexWindows.exe");
        EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, key, L"GUID"), L"{EF7DF969-CE84-41FD-AE70-4F563C30BE2F}");
    }

    ASSERT_NO_FATAL_FAILURE(connectOffice());
    for (const auto& step : report.steps()) {
        EXPECT_TRUE(step.ok) << step.name;
    }
    Bstr uri;
    EXPECT_EQ(office->client()->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"me@orvex.example");
}

TEST_F(EndToEndTest, OfficePullsTheAvailabilityOfEveryStatus)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    const std::pair<const char*, LONG> expected[] = {
        {"alice@orvex.example", 3500}, {"bob@orvex.example", 15500}, {"carol@orvex.example", 9500},
        {"dave@orvex.example", 18500}, {"erin@orvex.example", 0},    {"zoe@elsewhere.example", 0},
    };
    for (const auto& [address, availability] : expected) {
        IUCCContact* contact = watch(address);
        ASSERT_NE(contact, nullptr) << address;
        EXPECT_EQ(availabilityOf(contact), availability) << address;
        Bstr uri;
        EXPECT_EQ(contact->get_Uri(uri.out()), S_OK);
        EXPECT_EQ(uri.toUtf8(), std::string("sip:") + address);
    }
    // Every contact watches its person in the messenger until Office lets it go.
    ASSERT_TRUE(host->waitForLine("getContactPresence zoe@elsewhere.example -> unknown (watching)", kPatience));
    EXPECT_EQ(host->countLines("(watching)"), std::size(expected) + 1);
    const std::size_t released = host->countLines("stopContactPresence");
    office->release();
    office.reset();
    ASSERT_TRUE(host->waitForLine("stopContactPresence zoe@elsewhere.example", kPatience));
    EXPECT_GT(host->countLines("stopContactPresence"), released);
}

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

TEST_F(EndToEndTest, AddressesWithoutAnAtSignAreRefused)
{
    ASSERT_NO_FATAL_FAILURE(connectOffice());
    IUCCContactManager* manager = office->contactManager();
    for (const wchar_t* refused : {L"alice", L"", L"sip:alice"}) {
        ComPtr<IUCCContact> contact;
        EXPECT_EQ(manager->GetContactByUri(Bstr(refused).get(), &contact), E_FAIL);
        EXPECT_FALSE(contact);
    }
    ComPtr<IUCCContact> contact;
    EXPECT_EQ(manager->GetContactByUri(nullptr, &contact), E_INVALIDARG);
    EXPECT_EQ(manager->GetContactByUri(Bstr(L"@").get(), &contact), S_OK);
    ASSERT_TRUE(contact);
    Bstr uri;
    EXPECT_EQ(contact->get_Uri(uri.out()), S_OK);
    EXPECT_EQ(uri.view(), L"sip:@");
    EXPECT_TRUE(host->waitForLine("Contact URI is not an email address, not supported", kPatience));
}
