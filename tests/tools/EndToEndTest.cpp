#include "tests/tools/EndToEndTest.h"

#include "client/com/Variant.h"
#include "tools/common/Patience.h"
#include "tools/common/ProductInstallation.h"
#include "tools/office/HResultText.h"

#include <objbase.h>

const std::chrono::milliseconds EndToEndTest::kPatience = Patience::scaled(std::chrono::seconds(20));

void EndToEndTest::SetUpTestSuite()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    installation = ProductInstallation::install();
}

void EndToEndTest::TearDownTestSuite()
{
    ProductInstallation::uninstall();
    CoUninitialize();
}

void EndToEndTest::SetUp()
{
    ASSERT_EQ(installation, S_OK) << "the product could not be installed: " << HResultText::meaning(installation);
    host = startHost();
    ASSERT_TRUE(host) << "the messenger stand-in did not come up";
}

void EndToEndTest::TearDown()
{
    if (office) {
        office->release();
        office.reset();
    }
    if (host) {
        const auto exitCode = host->stop();
        EXPECT_TRUE(exitCode.has_value()) << "the messenger stand-in did not stop; its last words:\n"
                                          << host->lastWords(30);
        EXPECT_EQ(exitCode.value_or(~0u), 0u) << "the messenger stand-in ended abnormally";
        EXPECT_EQ(host->countLines("error:"), 0u);
    }
}

std::unique_ptr<MessengerStandIn> EndToEndTest::startHost()
{
    auto process = std::make_unique<MessengerStandIn>(L"--no-script --log-level debug", kPatience);
    return process->waitUntilReady() ? std::move(process) : nullptr;
}

void EndToEndTest::command(const std::string& line, const std::string& reply)
{
    ASSERT_TRUE(host->command(line, reply)) << "no '" << reply << "' after '" << line << "'";
}

std::unique_ptr<OfficeConnection> EndToEndTest::newOffice(ConnectionReport& into,
                                                          std::chrono::milliseconds waitForUp) const
{
    OfficeConnection::Settings settings;
    settings.waitForUp = waitForUp;
    settings.watchRegistry = false;
    return std::make_unique<OfficeConnection>(into, settings);
}

void EndToEndTest::connectOffice()
{
    office = newOffice(report);
    const bool connected = office->connect();
    const auto failure = report.firstFailure();
    ASSERT_TRUE(connected) << (failure ? failure->name + " failed at the " + ConnectionReport::linkName(failure->link) +
                                             " link: " + HResultText::hex(failure->result) + " " +
                                             HResultText::meaning(failure->result)
                                       : std::string("no step recorded"));
}

IUCCContact* EndToEndTest::watch(const std::string& address)
{
    EXPECT_TRUE(office->watchContact(address)) << address;
    return office->contacts().empty() ? nullptr : office->contacts().back().object.Get();
}

LONG EndToEndTest::availabilityOf(IUCCContact* contact)
{
    orvex::com::Variant value;
    const HRESULT result = contact->GetContactInformation(ucPresenceAvailability, value.out());
    return SUCCEEDED(result) && value.type() == VT_I4 ? value.get().lVal : -1;
}

bool EndToEndTest::waitForChange(const std::string& address, LONG availability, std::size_t count) const
{
    return report.waitForEvents(
        [&](const ConnectionReport::Event& event) {
            return event.name == "OnContactInformationChanged" && event.field("contact") == address &&
                   event.field("availability") == std::to_string(availability);
        },
        count, kPatience);
}
