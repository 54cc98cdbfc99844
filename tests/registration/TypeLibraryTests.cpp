// The type library as the built DLL carries it, as Office and scripts use it: calls through
// IDispatch::Invoke that the system's dispatch code alone would mishandle, answered before
// it runs; answers arriving as Office and scripts read them; and the slots Office calls by
// position. (Its identity and version are checked through the keys its registration writes,
// its interfaces through the registration diagnostics.)
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "contacts/UCCContactInformationDictionary.h"
#include "contacts/UCCContactManager.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <filesystem>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

// The built DLL beside the test executable.
std::wstring productDllPath()
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    return (std::filesystem::path(executable).parent_path() / ORVEX_PRODUCT_DLL_NAME).wstring();
}

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
        dictionary->add(ucPresenceAvailability, orvex::com::Variant::fromInt32(3500));
        removeFromAllGroups = idOf(managerDispatch(), L"RemoveContactFromAllGroups");
        tryGetValue = idOf(dictionaryDispatch(), L"TryGetValue");
    }

    IDispatch* managerDispatch() const { return static_cast<IUCCContactManager*>(manager.Get()); }
    IDispatch* dictionaryDispatch() const { return static_cast<IUCCContactInformationDictionary*>(dictionary.Get()); }

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
    DISPID removeFromAllGroups = DISPID_UNKNOWN;
    DISPID tryGetValue = DISPID_UNKNOWN;
};

} // namespace

// What the system's dispatch code would refuse only after taking references it keeps is
// refused before it runs, with the answer and argument position the system gives, and a
// missing optional argument is passed on. (That no reference is kept, for these shapes and
// any other, is the fuzzer's to find.)
TEST_F(DispatchArguments, MishandledArgumentsAreRefusedAsTheSystemWouldAndMissingOptionalOnesPassed)
{
    VARIANT unholdable = argument(VT_VOID);
    VARIANT unholdableByReference = argument(VT_BYREF | VT_VARIANT);
    unholdableByReference.pvarVal = &unholdable;
    const VARIANT callback = argument(VT_UNKNOWN, dictionaryDispatch());
    VARIANT missing = argument(VT_ERROR);
    missing.scode = DISP_E_PARAMNOTFOUND;
    struct Case {
        std::vector<VARIANT> arguments; // RemoveContactFromAllGroups(contact, callback, state), last first
        std::vector<DISPID> named;
        HRESULT expected;
    };
    const Case cases[] = {
        // The contact has no default: naming only the state leaves it missing.
        {{argument(VT_I4)}, {2}, DISP_E_PARAMNOTFOUND},
        // A script leaves out the optional callback: the call reaches the member, which
        // declines it (an exception of its own, not a type mismatch).
        {{callback, missing, argument(VT_DISPATCH)}, {}, DISP_E_EXCEPTION},
        {{unholdable, callback, argument(VT_DISPATCH)}, {}, DISP_E_BADVARTYPE},
        {{unholdableByReference, callback, argument(VT_DISPATCH)}, {}, DISP_E_BADVARTYPE},
    };
    for (const Case& refused : cases) {
        UINT wrong = 99;
        EXPECT_EQ(call(managerDispatch(), removeFromAllGroups, refused.arguments, refused.named, &wrong),
                  refused.expected);
        EXPECT_EQ(wrong, refused.expected == DISP_E_BADVARTYPE ? 0u : 99u) << "the state, last of three";
    }
}

// Office reads an entry through the dictionary's default member, a property get; a script
// gets TryGetValue's answer in a variable it passes by reference.
TEST_F(DispatchArguments, AnswersArriveThroughTheDefaultMemberAndByReference)
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
    orvex::com::Variant found;
    VARIANT byReference = argument(VT_BYREF | VT_VARIANT);
    byReference.pvarVal = &found.get();
    EXPECT_EQ(call(dictionaryDispatch(), tryGetValue, {byReference, key}), S_OK);
    EXPECT_EQ(found.type(), VT_I4);
    EXPECT_EQ(found.get().lVal, 3500);
}

// The client's own members follow the fourteen slots of IDispatch and IUCCClient; the
// first, SignIn, is asynchronous: its last parameter is the [out, retval] operation.
TEST(EmbeddedTypeLibrary, TheClientsOwnMembersFollowTheSlotsOfItsBases)
{
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> dual;
    ComPtr<ITypeInfo> client; // the vtable half of the dual interface
    HREFTYPE reference = 0;
    ASSERT_EQ(LoadTypeLibEx(productDllPath().c_str(), REGKIND_NONE, &library), S_OK);
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IUCCLyncClient, &dual), S_OK);
    ASSERT_EQ(dual->GetRefTypeOfImplType(-1, &reference), S_OK);
    ASSERT_EQ(dual->GetRefTypeInfo(reference, &client), S_OK);
    FUNCDESC* signIn = nullptr;
    ASSERT_EQ(client->GetFuncDesc(0, &signIn), S_OK);
    orvex::com::Bstr name;
    client->GetDocumentation(signIn->memid, name.out(), nullptr, nullptr, nullptr);
    EXPECT_EQ(name.view(), L"SignIn");
    EXPECT_EQ(signIn->oVft, static_cast<SHORT>(14 * sizeof(void*)));
    ASSERT_GE(signIn->cParams, 1);
    const ELEMDESC& operation = signIn->lprgelemdescParam[signIn->cParams - 1];
    EXPECT_EQ(operation.paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    EXPECT_EQ(operation.tdesc.vt, VT_PTR);
    client->ReleaseFuncDesc(signIn);
}
