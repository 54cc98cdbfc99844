#include "tests/contacts/ContactTestFixture.h"

#include "client/com/Bstr.h"
#include "contacts/ContactResolver.h"
#include "host/TextConversion.h"

using ::testing::_;

void ContactTestFixture::SetUp()
{
    HostedTest::SetUp();
    liveAtStart = liveObjects();
    ASSERT_EQ(orvex::com::CComObject<UCCContactManager>::CreateInstance(manager), S_OK);
    manager->setResolver(std::make_shared<ContactResolver>());
}

void ContactTestFixture::TearDown()
{
    manager.Reset();
    HostedTest::TearDown();
    EXPECT_EQ(liveObjects(), liveAtStart) << "a COM object was left behind";
}

ContactTestFixture::WatchedContact ContactTestFixture::contactFor(const std::wstring& address)
{
    WatchedContact watched;
    EXPECT_CALL(host.mock(), getContactPresence(TextConversion::toUtf8(address), _))
        .WillOnce(RecordingHost::keepCallback(&watched.hostSide));
    const orvex::com::Bstr text(address);
    EXPECT_EQ(manager->GetContactByUri(text.get(), &watched.contact), S_OK);
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());
    return watched;
}
