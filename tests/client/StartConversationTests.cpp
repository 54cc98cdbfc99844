// Starting conversations from Office, through the automation object's vtable as Office
// calls it, with a mock host: chosen conversations, then one of every kind of argument
// shape the parser tells apart, each accepted or refused as it should be. (Which mode
// starts what, and the endpoint rule, are the end-to-end tests', through the messenger.)
#include "client/UCCAutomation.h"
#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "tests/support/RecordingHost.h"

#include <wrl/client.h>

#include <climits>
#include <cstdint>
#include <optional>

using ::testing::_;
using ::testing::ElementsAre;
using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::CComObject;
using orvex::com::SafeArray;
using orvex::com::Variant;
using namespace std::string_literals;

namespace {

// The arrays Office hands to StartConversation; an empty optional is a null entry.
SafeArray strings(const std::vector<std::optional<std::wstring>>& values, LONG lowerBound = 0)
{
    SafeArray array = SafeArray::create(VT_BSTR, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        if (values[index]) {
            array.putElement(lowerBound + static_cast<LONG>(index), Bstr(*values[index]).get());
        }
    }
    return array;
}

SafeArray int32s(std::vector<LONG> values, LONG lowerBound = 0)
{
    SafeArray array = SafeArray::create(VT_I4, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        array.putElement(lowerBound + static_cast<LONG>(index), &values[index]);
    }
    return array;
}

SafeArray variants(std::vector<Variant> values, LONG lowerBound = 0)
{
    SafeArray array = SafeArray::create(VT_VARIANT, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        array.putElement(lowerBound + static_cast<LONG>(index), &values[index].get());
    }
    return array;
}

Variant text(const std::wstring& value) { return Variant::fromBstr(Bstr(value)); }

// `dimensions` dimensions of `count` cleared elements each.
SafeArray shaped(VARTYPE elementType, UINT dimensions, ULONG count, LONG lowerBound = 0)
{
    std::vector<SAFEARRAYBOUND> bounds(dimensions, SAFEARRAYBOUND{count, lowerBound});
    SAFEARRAY* array = SafeArrayCreate(elementType, dimensions, bounds.data());
    if (array == nullptr) {
        throw orvex::com::ComError(E_OUTOFMEMORY);
    }
    return SafeArray::attach(array);
}

// A descriptor claiming `count` elements whose data was never allocated.
SafeArray withoutData(VARTYPE elementType, ULONG count)
{
    SAFEARRAY* array = nullptr;
    orvex::com::throwIfFailed(SafeArrayAllocDescriptorEx(elementType, 1, &array));
    array->rgsabound[0] = SAFEARRAYBOUND{count, 0};
    // Not every system marks how the elements are copied on a bare descriptor; mark it as
    // an allocated array of the type would be.
    array->fFeatures |= elementType == VT_BSTR ? FADF_BSTR : elementType == VT_VARIANT ? FADF_VARIANT : 0;
    return SafeArray::attach(array);
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
    HRESULT start(LONG modes, const SafeArray& participants, const SafeArray& types = int32s({}),
                  const SafeArray& datas = variants({}))
    {
        auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0x5EED});
        IUCCConversationWindow* window = untouched;
        const HRESULT result = automation->StartConversation(static_cast<AutomationModalities>(modes),
                                                             participants.get(), types.get(), datas.get(), &window);
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
    EXPECT_EQ(start(1, strings({L"sip:j\u00F6rg@example.org"s, std::nullopt, L"\u6D4B@x.cn"s}, -3), int32s({1, 6, 21, 1}, 7),
                    variants({text(L"first"), Variant::fromInt32(42), Variant(), text(L"Caf\u00E9 at noon")}, 7)),
              S_OK);
    // No context at all; then an endpoint, which an instant message does not use.
    EXPECT_EQ(start(1, strings({L"a@example.org"s})), S_OK);
    EXPECT_EQ(start(1, strings({L"a@example.org"s, L"b@example.org"s}), int32s({20}), variants({text(L"sip:desk@example.org")})),
              S_OK);
    EXPECT_TRUE(host.records().empty()) << "a successful start logs nothing";

    // An exception from the host does not cross into Office.
    EXPECT_CALL(host.mock(), startCall(_)).WillOnce(::testing::Throw(std::runtime_error("host failed")));
    EXPECT_EQ(start(2, strings({L"a@example.org"s})), E_FAIL);
}

// Each kind of shape the parser tells apart, once. A refused call reaches no host and
// leaves two error records: the check that failed and the call's. An accepted one brings
// every participant to the host.
TEST_F(UCCAutomationTest, EachArgumentShapeIsAcceptedOrRefusedAsItShouldBe)
{
    constexpr int kRefused = -1;
    std::optional<std::size_t> reached;
    EXPECT_CALL(host.mock(), startInstantMessage(_, _))
        .Times(::testing::AnyNumber())
        .WillRepeatedly([&](const std::vector<std::string>& uris, const std::string&) { reached = uris.size(); });
    Bstr referenced(L"by reference");
    BSTR referencedSlot = referenced.get();
    Variant byReference;
    byReference.get().vt = VT_BYREF | VT_BSTR;
    byReference.get().pbstrVal = &referencedSlot;
    Variant null;
    null.get().vt = VT_NULL;
    const auto one = [] { return strings({L"a@example.org"s}); };
    struct Row {
        const char* what;
        SafeArray participants;
        SafeArray types;
        SafeArray datas;
        int participantsReached;
    };
    const Row rows[] = {
        {"null participants", {}, int32s({}), variants({}), kRefused},
        {"participants of integers", int32s({1}), int32s({}), variants({}), kRefused},
        {"participants of variants", variants({text(L"a@example.org")}), int32s({}), variants({}), kRefused},
        {"two-dimensional participants", shaped(VT_BSTR, 2, 1), int32s({}), variants({}), kRefused},
        {"unallocated participants", withoutData(VT_BSTR, 1), int32s({}), variants({}), kRefused},
        {"no unallocated participants", withoutData(VT_BSTR, 0), int32s({}), variants({}), 0},
        {"participants ending past the index range", shaped(VT_BSTR, 1, 1, LONG_MAX), int32s({}), variants({}),
         kRefused},
        {"participants ending at its top", strings({L"a@example.org"s}, LONG_MAX - 1), int32s({}), variants({}), 1},
        {"participants starting at its bottom", strings({L"a"s, L"b"s}, LONG_MIN), int32s({}), variants({}), 2},
        {"no participants wrapping below it", shaped(VT_BSTR, 1, 0, LONG_MIN), int32s({}), variants({}), kRefused},
        {"a participant with an embedded NUL", strings({L"a@example.org\0b@example.org"s}), int32s({}), variants({}),
         kRefused},
        {"null types", one(), {}, variants({}), kRefused},
        {"types of shorts", one(), shaped(VT_I2, 1, 0), variants({}), kRefused},
        {"two-dimensional data", one(), int32s({}), shaped(VT_VARIANT, 2, 1), kRefused},
        {"more types than data", one(), int32s({6, 6}), variants({Variant()}), kRefused},
        {"types and data from different bounds", one(), int32s({6}, 1), variants({Variant()}, 0), kRefused},
        {"empty context from different bounds", one(), int32s({}, 3), variants({}, -2), 1},
        {"unallocated types", one(), withoutData(VT_I4, 1), variants({Variant()}), kRefused},
        {"unallocated context of none", one(), withoutData(VT_I4, 0), withoutData(VT_VARIANT, 0), 1},
        {"unallocated data nobody reads", one(), int32s({6}), withoutData(VT_VARIANT, 1), 1},
        {"unallocated data of a subject", one(), int32s({1}), withoutData(VT_VARIANT, 1), kRefused},
        {"a null subject", one(), int32s({1}), variants({Variant::fromBstr(Bstr())}), 1},
        {"a subject of an integer", one(), int32s({1}), variants({Variant::fromInt32(5)}), kRefused},
        {"a subject by reference", one(), int32s({1}), variants({byReference}), kRefused},
        {"a null subject object", one(), int32s({1}), variants({Variant::fromUnknown(nullptr)}), kRefused},
        {"an endpoint of nothing", one(), int32s({20}), variants({null}), kRefused},
        {"an endpoint with an embedded NUL", one(), int32s({20}), variants({text(L"sip:desk\0"s)}), kRefused},
        {"an endpoint of an array", one(), int32s({20}), variants({Variant::fromArray(strings({L"a"s}))}), kRefused},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        host.forgetRecords();
        reached.reset();
        const HRESULT result = start(1, row.participants, row.types, row.datas);
        if (row.participantsReached == kRefused) {
            EXPECT_EQ(result, E_INVALIDARG);
            EXPECT_FALSE(reached) << "a refused call reaches no host";
            EXPECT_THAT(host.messages(6), ElementsAre(_, "Invalid arguments passed to StartConversation"));
            EXPECT_EQ(host.records().size(), 2u);
        } else {
            EXPECT_EQ(result, S_OK);
            EXPECT_EQ(reached, static_cast<std::size_t>(row.participantsReached));
            EXPECT_TRUE(host.records().empty());
        }
    }
}
