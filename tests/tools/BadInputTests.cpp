// Malformed calls from another process: wrong VARIANT types, missing arguments, unknown
// members, null and huge strings, null, empty, mistyped and two-dimensional arrays. The
// host answers each with an HRESULT and goes on serving.
#include "client/com/Bstr.h"
#include "client/com/SafeArray.h"
#include "client/com/Variant.h"
#include "tests/tools/EndToEndTest.h"

#include <array>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;

namespace {

DISPID dispatchIdOf(IDispatch* object, const wchar_t* name)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// Arguments in declaration order; dispatch wants them last first.
HRESULT invoke(IDispatch* object, DISPID member, std::vector<Variant> arguments, WORD flags = DISPATCH_METHOD)
{
    std::vector<VARIANT> reversed;
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
        reversed.push_back(argument->get());
    }
    DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT outcome =
        object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result.out(), &exception,
                       &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}

SafeArray twoDimensional(VARTYPE type)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    return SafeArray::attach(SafeArrayCreate(type, 2, bounds));
}

SafeArray strings(std::initializer_list<const wchar_t*> texts)
{
    SafeArray array = SafeArray::create(VT_BSTR, static_cast<ULONG>(texts.size()));
    LONG index = 0;
    for (const wchar_t* text : texts) {
        Bstr value(text);
        array.putElement(index++, value.get());
    }
    return array;
}

SafeArray variants(std::vector<Variant> values)
{
    SafeArray array = SafeArray::create(VT_VARIANT, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        array.putElement(static_cast<LONG>(i), &values[i].get());
    }
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
    void expectServing()
    {
        ClientState state{};
        EXPECT_EQ(office->client()->get_State(&state), S_OK);
        EXPECT_EQ(availabilityOf(contact), 3500);
    }

    IUCCContact* contact = nullptr;
};

} // namespace

TEST_F(BadInputTest, LateBoundCallsWithWrongArgumentsAreAnsweredWithFailures)
{
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(contact->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf())), S_OK);
    const DISPID information = dispatchIdOf(dispatch.Get(), L"GetContactInformation");
    ASSERT_NE(information, DISPID_UNKNOWN);

    EXPECT_EQ(invoke(dispatch.Get(), information, {Variant::fromInt32(0)}), S_OK);
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), 0x7777, {})));
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), information, {Variant::fromBstr(Bstr(L"availability"))})));
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), information, {})));
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), information, {Variant::fromInt32(0), Variant::fromInt32(1),
                                                            Variant::fromInt32(2)})));
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), information, {Variant::fromInt32(0)}, DISPATCH_PROPERTYPUT)));
    EXPECT_TRUE(FAILED(invoke(dispatch.Get(), information, {Variant::fromArray(SafeArray::ofInt32(std::array<LONG, 1>{0}))})));

    DISPID unknown = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &unknown)));

    ComPtr<IDispatch> automation;
    ASSERT_EQ(office->automation()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(automation.GetAddressOf())),
              S_OK);
    const DISPID start = dispatchIdOf(automation.Get(), L"StartConversation");
    ASSERT_NE(start, DISPID_UNKNOWN);
    EXPECT_TRUE(FAILED(invoke(automation.Get(), start,
                              {Variant::fromInt32(1), Variant::fromBstr(Bstr(L"a@orvex.example")),
                               Variant::fromInt32(1), Variant::fromBstr(Bstr(L"subject"))})));
    expectServing();
}

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
        large.Reset();
    }

    // Text that is not well-formed UTF-16 is refused before it reaches the messenger.
    const wchar_t broken[] = {L'a', 0xD800, L'@', L'b', 0};
    ComPtr<IUCCContact> odd;
    EXPECT_EQ(manager->GetContactByUri(Bstr(broken).get(), &odd), E_INVALIDARG);
    EXPECT_FALSE(odd);
    expectServing();
}

TEST_F(BadInputTest, MalformedArraysAreRefusedWithInvalidArgument)
{
    ComPtr<IUCCContactInformationDictionary> dictionary;
    EXPECT_EQ(contact->BatchGetContactInformation(nullptr, &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(strings({L"0"}).get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(twoDimensional(VT_I4).get(), &dictionary), E_INVALIDARG);
    EXPECT_EQ(contact->BatchGetContactInformation(SafeArray::create(VT_I4, 0).get(), &dictionary), S_OK);
    ASSERT_TRUE(dictionary);
    LONG count = -1;
    EXPECT_EQ(dictionary->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);

    IUCCAutomation* automation = office->automation();
    const auto start = [&](LONG mode, SAFEARRAY* participants, SAFEARRAY* types, SAFEARRAY* data) {
        ComPtr<IUCCConversationWindow> window;
        return automation->StartConversation(static_cast<AutomationModalities>(mode), participants, types, data,
                                             &window);
    };
    const SafeArray noTypes = SafeArray::create(VT_I4, 0);
    const SafeArray noData = SafeArray::create(VT_VARIANT, 0);
    const SafeArray someone = strings({L"a@orvex.example"});
    EXPECT_EQ(start(1, nullptr, noTypes.get(), noData.get()), E_INVALIDARG);
    EXPECT_EQ(start(1, someone.get(), nullptr, noData.get()), E_INVALIDARG);
    EXPECT_EQ(start(1, someone.get(), noTypes.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(start(1, SafeArray::ofInt32(std::array<LONG, 1>{7}).get(), noTypes.get(), noData.get()), E_INVALIDARG);
    EXPECT_EQ(start(1, someone.get(), SafeArray::ofInt32(std::array<LONG, 2>{1, 20}).get(),
                    variants({}).get()),
              E_INVALIDARG);
    EXPECT_EQ(start(1, someone.get(), SafeArray::ofInt32(std::array<LONG, 1>{1}).get(),
                    variants({Variant::fromInt32(5)}).get()),
              E_INVALIDARG);
    // Two dimensions where Office sends one: the host answers, whatever it makes of them.
    const HRESULT square = start(1, twoDimensional(VT_BSTR).get(), noTypes.get(), noData.get());
    EXPECT_TRUE(square == S_OK || square == E_INVALIDARG) << std::hex << square;
    EXPECT_EQ(host->countLines("startInstantMessage participants=[a@orvex.example]"), 0u)
        << "a refused conversation reached the messenger";
    expectServing();
}
