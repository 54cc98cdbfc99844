// Arguments the system's dispatch code mishandles, answered before it runs: every
// reference taken for a call is given back, whatever it answers: for a VARIANT of a type no
// VARIANT may hold (refused only after a reference was taken) and for an [out] argument
// given by reference to a value the member would write over unread.
#include "client/com/Variant.h"
#include "contacts/UCCContact.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactManager.h"
#include "contacts/UCCLocaleString.h"
#include "tests/support/RecordingSink.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

// The built DLL beside the test executable.
std::wstring productDllPath();

namespace {

VARIANT argument(VARTYPE type, IUnknown* object = nullptr)
{
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    value.punkVal = object;
    return value;
}

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
        ASSERT_EQ(CComObject<UCCContactInformationDictionary>::CreateInstance(dictionary), S_OK);
        ASSERT_EQ(CComObject<UCCLocaleString>::CreateInstance(witness), S_OK);
        dictionary->add(ucPresenceAvailability, orvex::com::Variant::fromInt32(3500));
        removeFromAllGroups = idOf(managerDispatch(), L"RemoveContactFromAllGroups");
        tryGetValue = idOf(dictionaryDispatch(), L"TryGetValue");
    }

    IDispatch* managerDispatch() const { return static_cast<IUCCContactManager*>(manager.Get()); }
    IDispatch* dictionaryDispatch() const { return static_cast<IUCCContactInformationDictionary*>(dictionary.Get()); }
    IUnknown* witnessObject() const { return static_cast<IUCCLocaleString*>(witness.Get()); }

    static DISPID idOf(IDispatch* target, const wchar_t* name)
    {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_EQ(target->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << "GetIDsOfNames";
        return id;
    }

    // Invokes `member` with `arguments` (last first, as dispatch takes them), the first
    // `named.size()` of them named.
    static HRESULT call(IDispatch* target, DISPID member, std::vector<VARIANT> arguments, std::vector<DISPID> named = {},
                        UINT* wrong = nullptr)
    {
        DISPPARAMS parameters{arguments.data(), named.empty() ? nullptr : named.data(),
                              static_cast<UINT>(arguments.size()), static_cast<UINT>(named.size())};
        orvex::com::Variant result;
        return target->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &parameters, result.out(), nullptr, wrong);
    }

    static inline HRESULT registered = E_FAIL;
    ComPtr<CComObject<UCCContactManager>> manager;
    ComPtr<CComObject<UCCContactInformationDictionary>> dictionary;
    ComPtr<CComObject<UCCLocaleString>> witness;
    DISPID removeFromAllGroups = DISPID_UNKNOWN;
    DISPID tryGetValue = DISPID_UNKNOWN;
};

} // namespace

// RemoveContactFromAllGroups(contact, callback, state) called with the witness in every
// place a reference may be taken.
TEST_F(DispatchArguments, EveryReferenceTakenForACallIsGivenBackWhateverTheShapeOfItsArguments)
{
    ComPtr<CComObject<UCCContact>> contact;
    ASSERT_EQ(CComObject<UCCContact>::CreateInstance(contact), S_OK);
    IUnknown* const contactObject = static_cast<IUCCContact*>(contact.Get());
    IUnknown* witnessByReference = witnessObject();
    VARIANT invalidInside = argument(VT_VOID);
    VARIANT invalidByReference = argument(VT_BYREF | VT_VARIANT);
    invalidByReference.pvarVal = &invalidInside;
    VARIANT objectByReference = argument(VT_BYREF | VT_UNKNOWN);
    objectByReference.ppunkVal = &witnessByReference;
    VARIANT missing = argument(VT_ERROR);
    missing.scode = DISP_E_PARAMNOTFOUND;

    struct Case {
        std::vector<VARIANT> arguments;
        std::vector<DISPID> named;
        HRESULT expected; // S_FALSE: any answer but a type mismatch
    };
    // The contact has no default: naming only the state leaves it missing. (A state named
    // past the argument count with an object in it is one of the fuzzer's regression cases.)
    std::vector<Case> cases = {{{argument(VT_I4)}, {2}, DISP_E_PARAMNOTFOUND},
                               {{argument(VT_UNKNOWN, witnessObject()), missing, argument(VT_DISPATCH)}, {}, S_FALSE}};
    // A state of a type no VARIANT may hold, after a callback object: refused before the
    // system's code takes its reference to the callback, which it would keep for good. (The
    // fuzzer gives such states after callbacks given by value.)
    const VARTYPE invalidTypes[] = {VT_VOID, 15, VT_HRESULT, VT_PTR, VT_INT_PTR, VT_VECTOR | VT_I4, VT_BYREF | VT_EMPTY};
    const VARIANT contactArgument = argument(VT_DISPATCH, contactObject);
    for (const VARTYPE type : invalidTypes) {
        cases.push_back({{argument(type), objectByReference, contactArgument}, {}, DISP_E_BADVARTYPE});
    }
    cases.push_back({{invalidByReference, objectByReference, contactArgument}, {}, DISP_E_BADVARTYPE});

    for (std::size_t index = 0; index < cases.size(); ++index) {
        SCOPED_TRACE(testing::Message() << "case " << index);
        const ULONG witnessBefore = referenceCount(witnessObject());
        const ULONG contactBefore = referenceCount(contactObject);
        UINT wrong = 99;
        const HRESULT answer = call(managerDispatch(), removeFromAllGroups, cases[index].arguments,
                                    cases[index].named, &wrong);
        if (cases[index].expected == S_FALSE) {
            EXPECT_NE(answer, DISP_E_TYPEMISMATCH);
        } else {
            EXPECT_EQ(answer, cases[index].expected);
        }
        if (answer == DISP_E_BADVARTYPE) {
            EXPECT_EQ(wrong, 0u) << "the state, last of three";
        }
        EXPECT_EQ(referenceCount(witnessObject()), witnessBefore);
        EXPECT_EQ(referenceCount(contactObject), contactBefore);
    }
}

TEST_F(DispatchArguments, AnOutArgumentByReferenceGetsTheAnswerAndWhatItHeldIsLetGo)
{
    // TryGetValue(key, value, found). (A value given by value, which the system's code
    // would write over and free, is one of the fuzzer's regression cases.)
    VARIANT key = argument(VT_I4);
    key.lVal = ucPresenceAvailability;
    VARIANT found;
    VariantInit(&found);
    // By reference, the answer arrives.
    VARIANT byReference = argument(VT_BYREF | VT_VARIANT);
    byReference.pvarVal = &found;
    EXPECT_EQ(call(dictionaryDispatch(), tryGetValue, {byReference, key}), S_OK);
    EXPECT_EQ(found.vt, VT_I4);
    EXPECT_EQ(found.lVal, 3500);

    // A script's variable given by reference still holds its old value: written over
    // unread, found or not, that value would be lost with the reference it keeps.
    for (const LONG each : {static_cast<LONG>(ucPresenceAvailability), static_cast<LONG>(ucPresenceTimeZone)}) {
        const ULONG before = referenceCount(witnessObject());
        found = argument(VT_UNKNOWN, witnessObject());
        witnessObject()->AddRef();
        key.lVal = each;
        EXPECT_EQ(call(dictionaryDispatch(), tryGetValue, {byReference, key}), S_OK);
        EXPECT_NE(found.vt, VT_UNKNOWN) << each;
        VariantClear(&found);
        EXPECT_EQ(referenceCount(witnessObject()), before) << each;
    }
}

// Office reads an entry through the dictionary's default member, a property get.
TEST_F(DispatchArguments, TheDefaultMemberReadsAnEntryAsAPropertyGet)
{
    VARIANT key = argument(VT_I4);
    key.lVal = ucPresenceAvailability;
    DISPPARAMS parameters{&key, nullptr, 1, 0};
    orvex::com::Variant entry;
    for (const WORD flags : {WORD{DISPATCH_PROPERTYGET}, WORD{DISPATCH_METHOD | DISPATCH_PROPERTYGET}}) {
        EXPECT_EQ(dictionaryDispatch()->Invoke(DISPID_VALUE, IID_NULL, 0, flags, &parameters, entry.out(), nullptr,
                                               nullptr),
                  S_OK)
            << flags;
        EXPECT_EQ(entry.type(), VT_I4);
        EXPECT_EQ(entry.get().lVal, 3500);
    }
}
