// A presence report that is running on a host thread while Office lets the contact go:
// it either completes before the contact goes or is dropped, and never reaches a
// contact that is being destroyed.
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "contacts/IContactDetails.h"
#include "contacts/UCCContact.h"
#include "host/HostLog.h"
#include "tests/contacts/ContactTestFixture.h"
#include "tests/support/Deadline.h"

#include <atomic>
#include <sstream>
#include <thread>

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

namespace {

// A watcher that delivers one more change call from inside stopWatchingContact, the way
// a host thread would if it got there at the moment the contact's last reference went.
class LateReportingDetails final : public IContactDetails {
public:
    void startWatchingContact(ChangeCallback changed) override { onChanged = std::move(changed); }
    void stopWatchingContact() override
    {
        report();
        stopped = true;
    }
    void report()
    {
        auto changes = orvex::com::Variant::fromArray(orvex::com::SafeArray::ofInt32(std::vector<LONG>{4}));
        DISPPARAMS params{&changes.get(), nullptr, 1, 0};
        onChanged(&params);
    }
    HRESULT getAddress(BSTR* address) override
    {
        *address = SysAllocString(L"late@example.org");
        return S_OK;
    }
    HRESULT getActivity(BSTR*) override { return E_NOTIMPL; }
    HRESULT getDisplayName(BSTR*) override { return E_NOTIMPL; }
    LONG getPresenceState() override { return 0; }

    ChangeCallback onChanged;
    bool stopped = false;
};

} // namespace

using ContactLifetimeTest = ContactTestFixture;

TEST_F(ContactLifetimeTest, AReportInProgressCompletesBeforeTheContactGoes)
{
    auto kit = contactFor(L"kit@example.org");
    const auto sink = ContactSink::create();
    ASSERT_NE(advise(kit.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    std::ostringstream address;
    address << LogAddress{static_cast<UCCContact*>(kit.contact.Get())};
    const std::string finalRelease = "Final mContactDetails: " + address.str();
    std::atomic<bool> inEvent{false};
    std::atomic<bool> releasedDuringEvent{false};
    sink->onEvent = [&] {
        inEvent = true;
        std::this_thread::sleep_for(200ms);
        releasedDuringEvent = host.said(finalRelease);
        return S_OK;
    };

    auto hostThread = std::async(std::launch::async, [&] { kit.hostSide(OutlookContactStatus::OnlinePresent); });
    while (!inEvent) {
        std::this_thread::yield();
    }
    // Office's last release, while the event is being delivered on the host's thread.
    kit.contact.Reset();
    waitWithin(hostThread, 10s, "a report while the contact goes");
    EXPECT_FALSE(releasedDuringEvent) << "the contact went while its event was still running";
    EXPECT_EQ(sink->events().size(), 1u);
    EXPECT_TRUE(host.said(finalRelease));
    EXPECT_TRUE(host.said("Stop watching contact."));

}

TEST_F(ContactLifetimeTest, TheLastReferenceMayGoOnTheHostsThreadDuringTheEvent)
{
    auto lee = contactFor(L"lee@example.org");
    const auto sink = ContactSink::create();
    ASSERT_NE(advise(lee.contact.Get(), DIID__IUCCContactEvents, sink.Get()), 0u);
    // Office's only reference is dropped by its own sink, on the host's thread, while
    // the change call holds the watcher's lock.
    ComPtr<IUCCContact> officesReference = std::move(lee.contact);
    sink->onEvent = [&] {
        officesReference.Reset();
        return S_OK;
    };
    EXPECT_CALL(host.mock(), stopContactPresence("lee@example.org"));

    finishesWithin(10s, "the last release inside the event", [&] { lee.hostSide(OutlookContactStatus::OnlineAwayFromComputer); });
    EXPECT_EQ(sink->events().size(), 1u);
    EXPECT_EQ(officesReference, nullptr);
    ::testing::Mock::VerifyAndClearExpectations(&host.mock());

    // The stop took effect once the call returned: nothing further is delivered.
    finishesWithin(10s, "a report after the stop", [&] { lee.hostSide(OutlookContactStatus::OnlinePresent); });
    EXPECT_EQ(sink->events().size(), 1u);
}

TEST_F(ContactLifetimeTest, AReportArrivingDuringTheFinalReleaseIsDropped)
{
    auto details = std::make_shared<LateReportingDetails>();
    const auto sink = ContactSink::create();
    {
        ComPtr<orvex::com::CComObject<UCCContact>> contact;
        ASSERT_EQ(orvex::com::CComObject<UCCContact>::CreateInstance(contact), S_OK);
        contact->attach(static_cast<IUCCContactManager*>(manager.Get()), details);
        UCCContact* plain = contact.Get();
        details->startWatchingContact(
            [plain](DISPPARAMS* params) { UCCContact::onContactChangedDelegator(plain, params); });
        ASSERT_NE(advise(static_cast<IUCCContact*>(contact.Get()), DIID__IUCCContactEvents, sink.Get()), 0u);

        // While the contact lives, a report is an event.
        details->report();
        ASSERT_EQ(sink->events().size(), 1u);
    }
    EXPECT_TRUE(details->stopped);
    EXPECT_EQ(sink->events().size(), 1u) << "a contact being destroyed was handed to Office as an event source";
}

TEST_F(ContactLifetimeTest, AReportArrivingAfterTheLastReleaseBeforeTheTeardownDoesNotReviveTheContact)
{
    // Between the last release and the teardown's first step the count is 0. A new object
    // has that count until its first reference, which holds the moment open.
    auto details = std::make_shared<LateReportingDetails>();
    orvex::com::CComObject<UCCContact>* contact = nullptr;
    ASSERT_EQ(orvex::com::CComObject<UCCContact>::CreateInstance(&contact), S_OK);
    contact->attach(static_cast<IUCCContactManager*>(manager.Get()), details);
    details->startWatchingContact(
        [contact](DISPPARAMS* params) { UCCContact::onContactChangedDelegator(contact, params); });
    host.forgetRecords();

    details->report();

    // A revived contact is destroyed when the report lets it go, and its teardown stops
    // the watch: then the object is gone and must not be touched again.
    ASSERT_FALSE(details->stopped) << "the report revived the contact and destroyed it";
    EXPECT_FALSE(host.said("Contact data changed"));
    ComPtr<IUCCContact> first(contact);
    first.Reset();
    EXPECT_TRUE(details->stopped);
}
