// The RAII owners of BSTR, VARIANT and SAFEARRAY and the exception-to-HRESULT edge.
#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdexcept>

using namespace orvex::com;
using namespace std::string_literals;

TEST(Bstr, EmptyUtf8GivesNullAndNullGivesEmptyText)
{
    EXPECT_TRUE(Bstr::fromUtf8("").isNull());
    EXPECT_EQ(Bstr().toUtf8(), "");
    EXPECT_FALSE(Bstr(L"").isNull()) << "an explicit empty text stays a zero-length string";

    const Bstr text = Bstr::fromUtf8("J\xC3\xB6rg@example.org");
    EXPECT_EQ(text.view(), L"J\u00F6rg@example.org");
    EXPECT_EQ(text.toUtf8(), "J\xC3\xB6rg@example.org");
}

TEST(Bstr, CopiesAreByteExactIncludingEmbeddedNulsAndOddLengths)
{
    BSTR odd = SysAllocStringByteLen("abc", 3);
    const Bstr original = Bstr::attach(odd);
    const Bstr copy = original;
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(SysStringByteLen(copy.get()), 3u);
    EXPECT_EQ(std::memcmp(copy.get(), "abc", 3), 0);

    const Bstr withNul(L"a\0b"s);
    EXPECT_EQ(Bstr::copyOf(withNul.get()).view(), L"a\0b"s);
    EXPECT_EQ(withNul.toUtf8(), "a\0b"s);
    EXPECT_TRUE(Bstr::copyOf(nullptr).isNull());
}

TEST(Bstr, OutFreesThePreviousStringAndDetachHandsOwnershipOver)
{
    Bstr text(L"first");
    *text.out() = SysAllocString(L"second");
    EXPECT_EQ(text.view(), L"second");
    BSTR raw = text.detach();
    EXPECT_TRUE(text.isNull());
    SysFreeString(raw);
}

TEST(Variant, CopiesAreDeepAndMovesLeaveTheSourceEmpty)
{
    Variant text = Variant::fromBstr(Bstr(L"value"));
    Variant copy = text;
    ASSERT_EQ(copy.type(), VT_BSTR);
    EXPECT_NE(copy.get().bstrVal, text.get().bstrVal);
    EXPECT_STREQ(copy.get().bstrVal, L"value");

    Variant moved = std::move(text);
    EXPECT_EQ(text.type(), VT_EMPTY);
    EXPECT_STREQ(moved.get().bstrVal, L"value");

    VARIANT destination;
    VariantInit(&destination);
    moved.moveTo(&destination);
    EXPECT_EQ(moved.type(), VT_EMPTY);
    EXPECT_STREQ(destination.bstrVal, L"value");
    VariantClear(&destination);
}

TEST(SafeArray, BuildsGrowsAndCopiesOneDimensionalArrays)
{
    const std::array<LONG, 2> values{0, 10};
    SafeArray array = SafeArray::ofInt32(values);
    LONG appended = 7;
    array.append(&appended);

    EXPECT_EQ(array.elementType(), VT_I4);
    EXPECT_EQ(array.count(), 3u);
    const SafeArray copy = SafeArray::copyOf(array.get());
    LONG last = 0;
    copy.getElement(2, &last);
    EXPECT_EQ(last, 7);
    EXPECT_NE(copy.get(), array.get());

    const Variant wrapped = Variant::fromArray(std::move(array));
    EXPECT_EQ(wrapped.type(), VT_ARRAY | VT_I4);
    EXPECT_TRUE(array.isNull());
}

TEST(SafeArray, FailuresOfTheSystemFunctionsAreRaisedWithTheirCode)
{
    const SafeArray array = SafeArray::create(VT_BSTR, 1, 5);
    BSTR element = nullptr;
    try {
        array.getElement(4, &element);
        FAIL() << "reading below the lower bound must fail";
    } catch (const ComError& error) {
        EXPECT_EQ(error.code(), DISP_E_BADINDEX);
    }
    EXPECT_THROW(SafeArray().lowerBound(), ComError);
}

TEST(GuardComCall, TurnsExceptionsIntoTheMethodsResult)
{
    EXPECT_EQ(guardComCall([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(guardComCall([]() -> HRESULT { throw ComError(E_INVALIDARG); }), E_INVALIDARG);
    EXPECT_EQ(guardComCall([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(guardComCall([]() -> HRESULT { throw std::runtime_error("x"); }), E_FAIL);
    EXPECT_FALSE(guardCallback([] { throw 1; }));
    EXPECT_TRUE(guardCallback([] {}));
}
