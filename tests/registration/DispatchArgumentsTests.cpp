// Arguments the system's dispatch code mishandles, answered before it runs: one named
// beyond the argument count (copied and never released: every reference taken for the
// call is given back, whatever it answers), an [out] argument given by value (written
// back over the caller's value, which it frees) and one given by reference to a value the
// member would write over unread.
#include "client/com/Bstr.h"
#include "contacts/UCCContact.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactManager.h"
#include "contacts/UCCLocaleString.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

// The built DLL beside the test executable.
std::wstring productDllPath();

namespace {

class DispatchArguments : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        std::wstring path = productDllPath();
        ComPtr<ITypeLib> library;
        LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        registered = library ? RegisterTypeLib(library.Get(), path.data(), nullptr) : E_FAIL;
    }
    static void TearDownTestSuite()
    {
        UnRegisterTypeLib(LIBID_OfficeIntegrationLib, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        CoUninitialize();
    }
    void SetUp() override
    {
        ASSERT_EQ(registered, S_OK) << "RegisterTypeLib";
        ASSERT_EQ(CComObject<UCCContactManager>::CreateInstance(manager), S_OK);
        ASSERT_EQ(CComObject<UCCLocaleString>::CreateInstance(witness), S_OK);
        LPOLESTR name = const_cast<LPOLESTR>(L"RemoveContactFromAllGroups");
        ASSERT_EQ(dispatch()->GetIDsOfNames(IID_NULL, &name, 1, 0, &removeFromAllGroups), S_OK);
    }

    IDispatch* dispatch() const { return static_cast<IUCCContactManager*>(manager.Get()); }

    ULONG referencesOfWitness() const
    {
        witness->AddRef();
        return witness->Release();
    }

    // Calls RemoveContactFromAllGroups(contact, callback, state) with `arguments` (last
    // first, as dispatch takes them), the first `named.size()` of them named.
    HRESULT call(std::vector<VARIANT> arguments, std::vector<DISPID> named) const
    {
        DISPPARAMS parameters{arguments.data(), named.empty() ? nullptr : named.data(),
                              static_cast<UINT>(arguments.size()), static_cast<UINT>(named.size())};
        VARIANT result;
        VariantInit(&result);
        const HRESULT answer = dispatch()->Invoke(removeFromAllGroups, IID_NULL, 0, DISPATCH_METHOD, &parameters,
                                                  &result, nullptr, nullptr);
        VariantClear(&result);
        return answer;
    }

    static VARIANT object(IUnknown* value, VARTYPE type = VT_UNKNOWN)
    {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = type;
        argument.punkVal = value;
        return argument;
    }

    static VARIANT missing()
    {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_ERROR;
        argument.scode = DISP_E_PARAMNOTFOUND;
        return argument;
    }

    static inline HRESULT registered = E_FAIL;
    ComPtr<CComObject<UCCContactManager>> manager;
    ComPtr<CComObject<UCCLocaleString>> witness;
    DISPID removeFromAllGroups = DISPID_UNKNOWN;
};

} // namespace

TEST_F(DispatchArguments, EveryReferenceTakenForACallIsGivenBackWhateverTheShapeOfItsArguments)
{
    IUnknown* const witnessObject = static_cast<IUCCLocaleString*>(witness.Get());
    struct Case {
        const char* what;
        std::vector<VARIANT> arguments;
        std::vector<DISPID> named;
    };
    const Case cases[] = {
        // The state named, the callback between it and the one positional argument left out.
        {"state named past the argument count", {object(witnessObject), object(nullptr, VT_DISPATCH)}, {2}},
        {"callback and state named, contact left out", {object(witnessObject), object(witnessObject)}, {2, 1}},
        {"missing callback after the contact", {object(witnessObject), missing(), object(nullptr, VT_DISPATCH)}, {}},
        {"all positional", {object(witnessObject), object(nullptr), object(nullptr, VT_DISPATCH)}, {}},
    };
    for (const Case& each : cases) {
        const ULONG before = referencesOfWitness();
        const HRESULT answer = call(each.arguments, each.named);
        EXPECT_NE(answer, DISP_E_TYPEMISMATCH) << each.what;
        EXPECT_EQ(referencesOfWitness(), before) << each.what;
    }
}

TEST_F(DispatchArguments, AParameterWithoutDefaultLeftOutBeforeANamedOneIsNotFound)
{
    // The contact has no default: naming only the state leaves it missing.
    VARIANT state;
    VariantInit(&state);
    state.vt = VT_I4;
    EXPECT_EQ(call({state}, {2}), DISP_E_PARAMNOTFOUND);
}

TEST_F(DispatchArguments, AnOutArgumentIsTakenByReferenceOnlyAndWhatItHeldIsLetGo)
{
    ComPtr<CComObject<UCCContactInformationDictionary>> dictionary;
    ASSERT_EQ(CComObject<UCCContactInformationDictionary>::CreateInstance(dictionary), S_OK);
    dictionary->add(ucPresenceAvailability, orvex::com::Variant::fromInt32(3500));
    IDispatch* const target = static_cast<IUCCContactInformationDictionary*>(dictionary.Get());
    LPOLESTR name = const_cast<LPOLESTR>(L"TryGetValue");
    DISPID tryGetValue = DISPID_UNKNOWN;
    ASSERT_EQ(target->GetIDsOfNames(IID_NULL, &name, 1, 0, &tryGetValue), S_OK);

    const orvex::com::Bstr text(L"the caller's");
    VARIANT arguments[2];
    VariantInit(&arguments[0]);
    arguments[0].vt = VT_BSTR; // the value, by value
    arguments[0].bstrVal = text.get();
    VariantInit(&arguments[1]);
    arguments[1].vt = VT_I4;
    arguments[1].lVal = ucPresenceAvailability;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    VARIANT found;
    VariantInit(&found);
    UINT wrong = 99;
    EXPECT_EQ(target->Invoke(tryGetValue, IID_NULL, 0, DISPATCH_METHOD, &parameters, &found, nullptr, &wrong),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(arguments[0].vt, VT_BSTR);
    EXPECT_EQ(arguments[0].bstrVal, text.get());

    // By reference, the answer arrives.
    VARIANT value;
    VariantInit(&value);
    arguments[0].vt = VT_BYREF | VT_VARIANT;
    arguments[0].pvarVal = &value;
    EXPECT_EQ(target->Invoke(tryGetValue, IID_NULL, 0, DISPATCH_METHOD, &parameters, &found, nullptr, &wrong), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 3500);
    VariantClear(&value);
    VariantClear(&found);

    // A script's variable given by reference still holds its old value: written over
    // unread, found or not, that value would be lost with the reference it keeps.
    for (const LONG key : {static_cast<LONG>(ucPresenceAvailability), static_cast<LONG>(ucPresenceTimeZone)}) {
        const ULONG before = referencesOfWitness();
        value.vt = VT_UNKNOWN;
        value.punkVal = static_cast<IUCCLocaleString*>(witness.Get());
        value.punkVal->AddRef();
        arguments[1].lVal = key;
        EXPECT_EQ(target->Invoke(tryGetValue, IID_NULL, 0, DISPATCH_METHOD, &parameters, &found, nullptr, &wrong),
                  S_OK);
        EXPECT_NE(value.vt, VT_UNKNOWN) << key;
        VariantClear(&value);
        VariantClear(&found);
        EXPECT_EQ(referencesOfWitness(), before) << key;
    }
}

// A type no VARIANT may hold, after an object argument: the system's dispatch code refuses
// it only after taking its reference to the object, which it then keeps for good.
TEST_F(DispatchArguments, AVariantOfATypeNoVariantMayHoldIsRefusedBeforeAnyReferenceIsTaken)
{
    ComPtr<CComObject<UCCContact>> contact;
    ASSERT_EQ(CComObject<UCCContact>::CreateInstance(contact), S_OK);
    IUnknown* contactObject = static_cast<IUCCContact*>(contact.Get());
    const auto referencesOfContact = [&contact] {
        contact->AddRef();
        return contact->Release();
    };
    IUnknown* witnessObject = static_cast<IUCCLocaleString*>(witness.Get());
    VARIANT invalidInside;
    VariantInit(&invalidInside);
    invalidInside.vt = VT_VOID;
    VARIANT byReference;
    VariantInit(&byReference);
    byReference.vt = VT_BYREF | VT_VARIANT;
    byReference.pvarVal = &invalidInside;
    VARIANT objectByReference;
    VariantInit(&objectByReference);
    objectByReference.vt = VT_BYREF | VT_UNKNOWN;
    objectByReference.ppunkVal = &witnessObject;

    const VARTYPE invalidTypes[] = {VT_VOID, 15, VT_HRESULT, VT_PTR, VT_INT_PTR, VT_VECTOR | VT_I4, VT_BYREF | VT_EMPTY};
    for (const VARIANT& callback : {object(witnessObject), object(witnessObject, VT_DISPATCH), objectByReference}) {
        std::vector<VARIANT> states;
        for (const VARTYPE type : invalidTypes) {
            VARIANT state;
            VariantInit(&state);
            state.vt = type;
            states.push_back(state);
        }
        states.push_back(byReference);
        for (const VARIANT& state : states) {
            SCOPED_TRACE(testing::Message() << "callback type " << callback.vt << ", state type " << state.vt);
            const ULONG before = referencesOfWitness();
            const ULONG contactBefore = referencesOfContact();
            std::vector<VARIANT> arguments{state, callback, object(contactObject, VT_DISPATCH)};
            DISPPARAMS parameters{arguments.data(), nullptr, 3, 0};
            VARIANT result;
            VariantInit(&result);
            UINT wrong = 99;
            EXPECT_EQ(dispatch()->Invoke(removeFromAllGroups, IID_NULL, 0, DISPATCH_METHOD, &parameters, &result,
                                         nullptr, &wrong),
                      DISP_E_BADVARTYPE);
            EXPECT_EQ(wrong, 0u) << "the state, last of three";
            EXPECT_EQ(referencesOfWitness(), before);
            EXPECT_EQ(referencesOfContact(), contactBefore);
        }
    }
}

// A count of names must be believed exactly: none read, none written for zero.
TEST_F(DispatchArguments, GetIDsOfNamesTouchesExactlyTheNamesItIsGiven)
{
    ComPtr<CComObject<UCCContactInformationDictionary>> dictionary;
    ASSERT_EQ(CComObject<UCCContactInformationDictionary>::CreateInstance(dictionary), S_OK);
    IDispatch* const targets[] = {dispatch(), static_cast<IUCCContactInformationDictionary*>(dictionary.Get()),
                                  static_cast<IUCCLocaleString*>(witness.Get())};
    for (IDispatch* target : targets) {
        DISPID untouched = 12345;
        EXPECT_EQ(target->GetIDsOfNames(IID_NULL, nullptr, 0, 0, &untouched), E_INVALIDARG);
        LPOLESTR unreadable = reinterpret_cast<LPOLESTR>(static_cast<std::uintptr_t>(1));
        EXPECT_EQ(target->GetIDsOfNames(IID_NULL, &unreadable, 0, 0, &untouched), E_INVALIDARG);
        EXPECT_EQ(untouched, 12345);
    }

    LPOLESTR names[] = {const_cast<LPOLESTR>(L"RemoveContactFromAllGroups"), const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID ids[2] = {1, 2};
    EXPECT_EQ(dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], removeFromAllGroups);
    EXPECT_EQ(ids[1], 2) << "only one name was given";
    EXPECT_EQ(dispatch()->GetIDsOfNames(IID_NULL, &names[1], 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], 2);
}
