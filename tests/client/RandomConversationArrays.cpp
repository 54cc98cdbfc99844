#include "tests/client/RandomConversationArrays.h"

#include "tests/client/ConversationArrays.h"

#include <climits>
#include <optional>

using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;
using Arrays = ConversationArrays;

namespace {

// Kinds of context data; only clean text is a subject or an endpoint.
enum DataKind : int {
    CleanText,
    NullText,
    TextWithNul,
    Integer,
    Empty,
    Null,
    TextByReference,
    ArrayOfText,
    NullObject,
    KindCount
};

constexpr VARTYPE kWrongTypes[] = {VT_I2, VT_I4, VT_UI4, VT_INT, VT_R8, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH, VT_DECIMAL};

} // namespace

bool RandomConversationArrays::chance(int percent) { return std::uniform_int_distribution(0, 99)(random) < percent; }

RandomConversationArrays::Shape RandomConversationArrays::shape()
{
    const int roll = std::uniform_int_distribution(0, 99)(random);
    return roll < 5 ? Shape::Null : roll < 10 ? Shape::WrongType : roll < 15 ? Shape::WrongDimensions
                                  : roll < 18 ? Shape::NoData
                                              : Shape::Sound;
}

LONG RandomConversationArrays::lowerBound()
{
    switch (std::uniform_int_distribution(0, 5)(random)) {
    case 0:
    case 1:
        return 0;
    case 2:
        return 1;
    case 3:
        return std::uniform_int_distribution<LONG>(-1000, 1000)(random);
    case 4:
        return LONG_MAX - std::uniform_int_distribution<LONG>(0, 3)(random);
    default:
        return LONG_MIN + std::uniform_int_distribution<LONG>(0, 1)(random);
    }
}

std::wstring RandomConversationArrays::text()
{
    static const std::wstring pieces[] = {L"a", L"@", L"example.org", L"sip:", L"\u00F6", L"\u6D4B", L"\U0001F600",
                                          L" ", L"tel:+1"};
    std::wstring result;
    const int count = std::uniform_int_distribution(0, 5)(random);
    for (int index = 0; index < count; ++index) {
        result += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    }
    return result;
}

SafeArray RandomConversationArrays::malformed(Shape kind, VARTYPE expected, ULONG size, Sample& sample,
                                              const char* what)
{
    sample.description += what;
    switch (kind) {
    case Shape::Null:
        sample.description += ":null ";
        sample.acceptable = false;
        return {};
    case Shape::WrongType: {
        VARTYPE type = expected;
        while (type == expected) {
            type = kWrongTypes[std::uniform_int_distribution<std::size_t>(0, std::size(kWrongTypes) - 1)(random)];
        }
        sample.description += ":type" + std::to_string(type) + " ";
        sample.acceptable = false;
        return Arrays::shaped(type, 1, size);
    }
    default: {
        const UINT dimensions = std::uniform_int_distribution<UINT>(2, 3)(random);
        sample.description += ":dims" + std::to_string(dimensions) + " ";
        sample.acceptable = false;
        return Arrays::shaped(expected, dimensions, size);
    }
    }
}

void RandomConversationArrays::participants(Sample& sample)
{
    const ULONG size = std::uniform_int_distribution<ULONG>(0, 4)(random);
    const Shape kind = shape();
    if (kind == Shape::NoData) {
        // A descriptor whose elements were never allocated: harmless only when empty.
        sample.description += "participants:nodata" + std::to_string(size) + " ";
        sample.acceptable = sample.acceptable && size == 0;
        sample.participants = Arrays::withoutData(VT_BSTR, size);
        return;
    }
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
        sample.participants = Arrays::shaped(VT_BSTR, 1, size, lower);
        return;
    }
    std::vector<std::optional<std::wstring>> values;
    for (ULONG index = 0; index < size; ++index) {
        if (chance(15)) {
            values.emplace_back();
        } else if (chance(5)) {
            values.emplace_back(text() + std::wstring(1, L'\0') + text());
            sample.acceptable = false;
        } else {
            values.emplace_back(text());
        }
    }
    sample.participantCount = size;
    sample.participants = Arrays::strings(values, lower);
}

Variant RandomConversationArrays::data(int kind)
{
    switch (kind) {
    case CleanText:
        return Arrays::text(text());
    case NullText:
        return Arrays::nullText();
    case TextWithNul:
        return Arrays::text(text() + std::wstring(1, L'\0'));
    case Integer:
        return Variant::fromInt32(std::uniform_int_distribution<LONG>(-5, 25)(random));
    case Null: {
        Variant value;
        value.get().vt = VT_NULL;
        return value;
    }
    case TextByReference: {
        referenced.emplace_back(text());
        referencedSlots.push_back(referenced.back().get());
        Variant value;
        value.get().vt = VT_BYREF | VT_BSTR;
        value.get().pbstrVal = &referencedSlots.back();
        return value;
    }
    case ArrayOfText:
        return Variant::fromArray(Arrays::strings({text()}));
    case NullObject:
        return Variant::fromUnknown(nullptr);
    default:
        return {};
    }
}

void RandomConversationArrays::contextArrays(Sample& sample)
{
    const ULONG typeCount = std::uniform_int_distribution<ULONG>(0, 5)(random);
    const LONG typeLower = chance(70) ? 0 : std::uniform_int_distribution<LONG>(-3, 3)(random);
    // Mostly matching context arrays, so that the entries are reached.
    const bool matching = chance(80);
    const ULONG dataCount = matching ? typeCount : std::uniform_int_distribution<ULONG>(0, 5)(random);
    const LONG dataLower = matching ? typeLower : std::uniform_int_distribution<LONG>(-3, 3)(random);

    std::vector<LONG> types;
    for (ULONG index = 0; index < typeCount; ++index) {
        const int roll = std::uniform_int_distribution(0, 9)(random);
        types.push_back(roll < 3   ? 1
                        : roll < 6 ? 20
                        : roll < 9 ? std::uniform_int_distribution<LONG>(0, 21)(random)
                                   : std::uniform_int_distribution<LONG>(LONG_MIN, LONG_MAX)(random));
    }
    std::vector<int> dataKinds;
    std::vector<Variant> datas;
    for (ULONG index = 0; index < dataCount; ++index) {
        dataKinds.push_back(chance(50) ? CleanText : std::uniform_int_distribution(0, KindCount - 1)(random));
        datas.push_back(data(dataKinds.back()));
    }

    // A descriptor without data starts at index 0.
    const Shape typeShape = shape();
    const Shape dataShape = shape();
    const LONG typeStart = typeShape == Shape::NoData ? 0 : typeLower;
    const LONG dataStart = dataShape == Shape::NoData ? 0 : dataLower;
    sample.description += "context:" + std::to_string(typeCount) + "@" + std::to_string(typeStart) + "/" +
                          std::to_string(dataCount) + "@" + std::to_string(dataStart) + " ";
    if (typeShape == Shape::NoData) {
        sample.description += "types:nodata ";
        sample.types = Arrays::withoutData(VT_I4, typeCount);
    } else if (typeShape == Shape::Sound) {
        sample.types = Arrays::int32s(types, typeLower);
    } else {
        sample.types = malformed(typeShape, VT_I4, typeCount, sample, "types");
    }
    if (dataShape == Shape::NoData) {
        sample.description += "datas:nodata ";
        sample.datas = Arrays::withoutData(VT_VARIANT, dataCount);
    } else if (dataShape == Shape::Sound) {
        sample.datas = Arrays::variants(datas, dataLower);
    } else {
        sample.datas = malformed(dataShape, VT_VARIANT, dataCount, sample, "datas");
    }

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
        if (types[index] == 1 || types[index] == 20) {
            const bool text = dataKinds[index] == CleanText || dataKinds[index] == NullText;
            if (!text || dataShape == Shape::NoData) {
                sample.acceptable = false;
            }
        }
    }
}

RandomConversationArrays::Sample RandomConversationArrays::next()
{
    Sample sample;
    participants(sample);
    contextArrays(sample);
    return sample;
}
