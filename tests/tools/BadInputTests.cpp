// Malformed calls from another process: null, huge and ill-formed strings, null, empty,
// mistyped and two-dimensional arrays of information types. The host answers each with an HRESULT and goes on
// serving. (Every member with hostile values of every kind is the fuzzer's.)
#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "tests/tools/EndToEndTest.h"

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;

namespace {

SafeArray twoDimensional(VARTYPE type)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    return SafeArray::attach(SafeArrayCreate(type, 2, bounds));
}

SafeArray someone()
{
    SafeArray array = SafeArray::create(VT_BSTR, 1);
    array.putElement(0, Bstr(L"a@orvex.example").get());
    return array;
}

class BadInputTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(connectOffice());
        contact = watch("alice@orvex.example");
        ASSERT_NE(contact, nullptr);
    }
    // The host still serves after whatever came before.
    void TearDown() override
    {
        if (contact != nullptr) {
            ClientState state{};
            EXPECT_EQ(office->client()->get_State(&state), S_OK);
            EXPECT_EQ(availabilityOf(contact), 3500);
        }
        EndToEndTest::TearDown();
    }

    IUCCContact* contact = nullptr;
};

} // namespace

TEST_F(BadInputTest, NullAndHugeStringsAreAnsweredAndTheHostSurvives)
{
    IUCCContactManager* manager = office->contactManager();
    ComPtr<IUCCContact> refused;
    EXPECT_EQ(manager->GetContactByUri(nullptr, &refused), E_INVALIDARG);

    std::wstring huge(1024 * 1024, L'x');
    huge[huge.size() / 2] = L'@';
    ComPtr<IUCCContact> large;
    const HRESULT result = manager->GetContactByUri(Bstr(huge).get(), &large);
    EXPECT_TRUE(result == S_OK || result == E_OUTOFMEMORY) << std::hex << result;
    if (large) {
        Bstr uri;
        EXPECT_EQ(large->get_Uri(uri.out()), S_OK);
        EXPECT_EQ(uri.length(), huge.size() + 4);
    }

    // Text that is not well-formed UTF-16 is refused before it reaches the messenger.
    const wchar_t broken[] = {L'a', 0xD800, L'@', L'b', 0};
    EXPECT_EQ(manager->GetContactByUri(Bstr(broken).get(), &refused), E_INVALIDARG);
    EXPECT_FALSE(refused);
}

// (StartConversation's arrays of every shape are its unit test's, and the fuzzer's across
// processes.)
TEST_F(BadInputTest, MalformedArraysAreRefusedWithInvalidArgument)
{
    ComPtr<IUCCContactInformationDictionary> dictionary;
    EXPECT_EQ(contact->BatchGetContactInformation(nullptr, &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(someone().get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(twoDimensional(VT_I4).get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(SafeArray::create(VT_I4, 0).get(), &dictionary), S_OK);
    LONG count = -1;
    ASSERT_TRUE(dictionary);
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
}
