#include "host/TextConversion.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(TextConversion, RoundTripsNonAsciiTextIncludingSupplementaryCharacters)
{
    const std::wstring wide = L"J\u00F6rg \u0442\u0435\u0441\u0442 \U0001F600@example.org";
    const std::string utf8 = TextConversion::toUtf8(wide);
    EXPECT_EQ(utf8, "J\xC3\xB6rg \xD1\x82\xD0\xB5\xD1\x81\xD1\x82 \xF0\x9F\x98\x80@example.org");
    EXPECT_EQ(TextConversion::toWide(utf8), wide);
}

TEST(TextConversion, KeepsEmbeddedNulsAndEmptyText)
{
    EXPECT_EQ(TextConversion::toUtf8(L"a\0b"s), "a\0b"s);
    EXPECT_EQ(TextConversion::toWide("a\0b"s), L"a\0b"s);
    EXPECT_EQ(TextConversion::toUtf8(L""), "");
    EXPECT_EQ(TextConversion::toWide(""), L"");
}

TEST(TextConversion, ReplacesUnpairedSurrogatesAndInvalidBytes)
{
    const std::wstring unpaired{L'a', wchar_t(0xD800), L'b', wchar_t(0xDC00)};
    EXPECT_EQ(TextConversion::toUtf8(unpaired), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    const std::wstring fromInvalid = TextConversion::toWide("a\xFF" "b");
    EXPECT_EQ(fromInvalid.front(), L'a');
    EXPECT_EQ(fromInvalid.back(), L'b');
    EXPECT_NE(fromInvalid.find(wchar_t(0xFFFD)), std::wstring::npos);
}
