// Starting conversations from Office, through the automation object's vtable as Office
// calls it, with a mock host: chosen cases, then many generated array shapes.
#include "client/UCCAutomation.h"
#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "tests/support/RecordingHost.h"

#include <gmock/gmock.h>

#include <wrl/client.h>

#include <climits>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>

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

// Generates StartConversation arguments of many shapes: element types, dimension counts,
// lower bounds (near both ends of the index range too), sizes, null arrays and null
// entries, and context data of every kind. Each sample says whether the library should
// accept it, judged from what was generated rather than from the library's code.
class RandomConversationArrays {
public:
    struct Sample {
        SafeArray participants;
        SafeArray types;
        SafeArray datas;
        bool acceptable = true;
        // How many participants reach the host when the call is accepted.
        std::size_t participantCount = 0;
        std::string description;
    };

    explicit RandomConversationArrays(std::uint32_t seed) : random(seed) {}

    Sample next()
    {
        Sample sample;
        participants(sample);
        contextArrays(sample);
        return sample;
    }

private:
    enum class Shape { Null, WrongType, WrongDimensions, NoData, Sound };
    // Kinds of context data; only clean text is a subject or an endpoint.
    enum Kind : int { CleanText, NullText, TextWithNul, Integer, Empty, Null, TextByReference, ArrayOfText, NullObject, KindCount };

    template <class T>
    T between(T low, T high)
    {
        return std::uniform_int_distribution<T>(low, high)(random);
    }
    bool chance(int percent) { return between(0, 99) < percent; }

    Shape shape()
    {
        const int roll = between(0, 99);
        return roll < 5 ? Shape::Null : roll < 10 ? Shape::WrongType : roll < 15 ? Shape::WrongDimensions
                                      : roll < 18 ? Shape::NoData
                                                  : Shape::Sound;
    }

    LONG lowerBound()
    {
        switch (between(0, 5)) {
        case 0:
        case 1:
            return 0;
        case 2:
            return 1;
        case 3:
            return between<LONG>(-1000, 1000);
        case 4:
            return LONG_MAX - between<LONG>(0, 3);
        default:
            return LONG_MIN + between<LONG>(0, 1);
        }
    }

    std::wstring randomText()
    {
        static const std::wstring pieces[] = {L"a", L"@", L"example.org", L"sip:", L"\u00F6", L"\u6D4B", L"\U0001F600",
                                              L" ", L"tel:+1"};
        std::wstring result;
        for (int count = between(0, 5); count > 0; --count) {
            result += pieces[between<std::size_t>(0, std::size(pieces) - 1)];
        }
        return result;
    }

    // A null, mistyped, many-dimensional or unallocated array where one of `expected`
    // elements belongs. All but the unallocated one are refused.
    SafeArray malformed(Shape kind, VARTYPE expected, ULONG size, Sample& sample, const char* what)
    {
        sample.description += what;
        if (kind == Shape::NoData) {
            sample.description += ":nodata ";
            return withoutData(expected, size);
        }
        static constexpr VARTYPE kWrongTypes[] = {VT_I2,      VT_I4,      VT_UI4,      VT_INT,     VT_R8,
                                                  VT_BSTR,    VT_VARIANT, VT_UNKNOWN,  VT_DISPATCH, VT_DECIMAL};
        sample.acceptable = false;
        if (kind == Shape::Null) {
            sample.description += ":null ";
            return {};
        }
        if (kind == Shape::WrongType) {
            VARTYPE type = expected;
            while (type == expected) {
                type = kWrongTypes[between<std::size_t>(0, std::size(kWrongTypes) - 1)];
            }
            sample.description += ":type" + std::to_string(type) + " ";
            return shaped(type, 1, size);
        }
        const UINT dimensions = between<UINT>(2, 3);
        sample.description += ":dims" + std::to_string(dimensions) + " ";
        return shaped(expected, dimensions, size);
    }

    void participants(Sample& sample)
    {
        const ULONG size = between<ULONG>(0, 4);
        const Shape kind = shape();
        // Unallocated participants are harmless only when there are none.
        sample.acceptable = sample.acceptable && (kind != Shape::NoData || size == 0);
        if (kind != Shape::Sound) {
            sample.participants = malformed(kind, VT_BSTR, size, sample, "participants");
            return;
        }
        const LONG lower = lowerBound();
        sample.description += "participants:" + std::to_string(size) + "@" + std::to_string(lower) + " ";
        // Bounds that leave the 32-bit index range, or end at its very top, cannot be
        // walked (nor filled).
        const std::int64_t end = std::int64_t{lower} + size;
        if (end > LONG_MAX || end - 1 < LONG_MIN) {
            sample.acceptable = false;
            sample.participants = shaped(VT_BSTR, 1, size, lower);
            return;
        }
        std::vector<std::optional<std::wstring>> values;
        for (ULONG index = 0; index < size; ++index) {
            if (chance(15)) {
                values.emplace_back();
            } else if (chance(5)) {
                values.emplace_back(randomText() + std::wstring(1, L'\0') + randomText());
                sample.acceptable = false;
            } else {
                values.emplace_back(randomText());
            }
        }
        sample.participantCount = size;
        sample.participants = strings(values, lower);
    }

    Variant data(int kind)
    {
        Variant value;
        switch (kind) {
        case CleanText:
            return text(randomText());
        case NullText:
            return Variant::fromBstr(Bstr());
        case TextWithNul:
            return text(randomText() + std::wstring(1, L'\0'));
        case Integer:
            return Variant::fromInt32(between<LONG>(-5, 25));
        case Null:
            value.get().vt = VT_NULL;
            return value;
        case TextByReference:
            referenced.emplace_back(randomText());
            referencedSlots.push_back(referenced.back().get());
            value.get().vt = VT_BYREF | VT_BSTR;
            value.get().pbstrVal = &referencedSlots.back();
            return value;
        case ArrayOfText:
            return Variant::fromArray(strings({randomText()}));
        case NullObject:
            return Variant::fromUnknown(nullptr);
        default:
            return value;
        }
    }

    // The context arrays, with the description and verdict of both.
    void contextArrays(Sample& sample)
    {
        const ULONG typeCount = between<ULONG>(0, 5);
        const LONG typeLower = chance(70) ? 0 : between<LONG>(-3, 3);
        // Mostly matching context arrays, so that the entries are reached.
        const bool matching = chance(80);
        const ULONG dataCount = matching ? typeCount : between<ULONG>(0, 5);
        const LONG dataLower = matching ? typeLower : between<LONG>(-3, 3);

        std::vector<LONG> types;
        for (ULONG index = 0; index < typeCount; ++index) {
            const int roll = between(0, 9);
            types.push_back(roll < 3   ? 1
                            : roll < 6 ? 20
                            : roll < 9 ? between<LONG>(0, 21)
                                       : between<LONG>(LONG_MIN, LONG_MAX));
        }
        std::vector<int> dataKinds;
        std::vector<Variant> datas;
        for (ULONG index = 0; index < dataCount; ++index) {
            dataKinds.push_back(chance(50) ? CleanText : between(0, KindCount - 1));
            datas.push_back(data(dataKinds.back()));
        }

        // A descriptor without data starts at index 0.
        const Shape typeShape = shape();
        const Shape dataShape = shape();
        const LONG typeStart = typeShape == Shape::NoData ? 0 : typeLower;
        const LONG dataStart = dataShape == Shape::NoData ? 0 : dataLower;
        sample.description += "context:" + std::to_string(typeCount) + "@" + std::to_string(typeStart) + "/" +
                              std::to_string(dataCount) + "@" + std::to_string(dataStart) + " ";
        sample.types = typeShape == Shape::Sound ? int32s(types, typeLower)
                                                 : malformed(typeShape, VT_I4, typeCount, sample, "types");
        sample.datas = dataShape == Shape::Sound ? variants(datas, dataLower)
                                                 : malformed(dataShape, VT_VARIANT, dataCount, sample, "datas");

        const auto usable = [](Shape kind) { return kind == Shape::Sound || kind == Shape::NoData; };
        if (!usable(typeShape) || !usable(dataShape)) {
            return;
        }
        if (typeCount != dataCount || (typeCount > 0 && typeStart != dataStart) ||
            (typeShape == Shape::NoData && typeCount > 0)) {
            sample.acceptable = false;
            return;
        }
        // Entries pair up by index; each subject or endpoint entry must be readable, clean text.
        for (std::size_t index = 0; index < types.size(); ++index) {
            const bool clean = dataKinds[index] == CleanText || dataKinds[index] == NullText;
            if ((types[index] == 1 || types[index] == 20) && (!clean || dataShape == Shape::NoData)) {
                sample.acceptable = false;
            }
        }
    }

    std::mt19937 random;
    // Strings that by-reference context data point to; they outlive every sample.
    std::vector<Bstr> referenced;
    std::deque<BSTR> referencedSlots;
};

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

using RandomStartConversationTest = UCCAutomationTest;

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

TEST_F(UCCAutomationTest, DeclinesEveryOtherRequestWithoutTouchingItsOutArguments)
{
    auto* const untouched = reinterpret_cast<IUCCConversationWindow*>(std::uintptr_t{0xD00D});
    IUCCConversationWindow* window = untouched;
    EXPECT_EQ(automation->LaunchAddContactWizard(nullptr), E_NOTIMPL);
    EXPECT_EQ(automation->JoinConference(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(automation->GetConversationWindow(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(window, untouched);
}

// No crash, no exception into the caller, and only S_OK or E_INVALIDARG, as the generator
// judged each sample.
TEST_F(RandomStartConversationTest, EveryGeneratedShapeIsAcceptedOrRefusedAsItShouldBe)
{
    // Expectations, not default actions: they go with the test and so do the lists.
    std::vector<std::size_t> instantMessages;
    std::vector<std::size_t> calls;
    EXPECT_CALL(host.mock(), startInstantMessage(_, _))
        .Times(::testing::AnyNumber())
        .WillRepeatedly([&](const std::vector<std::string>& uris, const std::string&) {
            instantMessages.push_back(uris.size());
        });
    EXPECT_CALL(host.mock(), startCall(_)).Times(::testing::AnyNumber()).WillRepeatedly([&](const std::vector<std::string>& uris) {
        calls.push_back(uris.size());
    });

    constexpr std::uint32_t kSeed = 20240601;
    constexpr int kSamples = 3000;
    constexpr LONG kModes[] = {0, 1, 2, 3, 4, 6, 8, 16};
    RandomConversationArrays generator(kSeed);
    std::mt19937 modePicker(kSeed);
    int accepted = 0;
    for (int iteration = 0; iteration < kSamples && !HasFailure(); ++iteration) {
        const RandomConversationArrays::Sample sample = generator.next();
        const LONG modes = kModes[std::uniform_int_distribution<std::size_t>(0, std::size(kModes) - 1)(modePicker)];
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", sample " + std::to_string(iteration) + ", modes " +
                     std::to_string(modes) + ": " + sample.description);
        host.forgetRecords();
        instantMessages.clear();
        calls.clear();

        const HRESULT result = start(modes, sample.participants, sample.types, sample.datas);
        if (!sample.acceptable) {
            EXPECT_EQ(result, E_INVALIDARG);
            EXPECT_TRUE(instantMessages.empty() && calls.empty()) << "a refused call reaches no host";
            const auto errors = host.messages(6);
            EXPECT_EQ(errors.size(), 2u) << "one record of the check that failed, one of the call";
            EXPECT_EQ(host.messages().size(), errors.size());
            if (!errors.empty()) {
                EXPECT_EQ(errors.back(), "Invalid arguments passed to StartConversation");
            }
            continue;
        }
        ++accepted;
        EXPECT_EQ(result, S_OK);
        EXPECT_TRUE(host.records().empty());
        const std::vector<std::size_t> one{sample.participantCount};
        EXPECT_EQ(instantMessages, modes == 1 ? one : std::vector<std::size_t>{});
        EXPECT_EQ(calls, modes == 2 || modes == 4 ? one : std::vector<std::size_t>{});
    }
    // The generator must reach both outcomes often enough to mean something.
    EXPECT_GT(accepted, kSamples / 10);
    EXPECT_LT(accepted, kSamples * 9 / 10);
}
