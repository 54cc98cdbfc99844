// IDispatch served from the registered type library, and a connection point of one of
// its event interfaces. The library is registered machine-wide in the test prefix, as
// Wine's LoadRegTypeLib reads only machine-wide keys.
#include "client/com/Atl.h"
#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/Variant.h"
#include "tests/client/RecordingSink.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>

#include <olectl.h>
#include <wrl/client.h>

#include <array>
#include <filesystem>
#include <string>

using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;
using orvex::com::Variant;

namespace {

constexpr DISPID kLocaleIdMember = 0x60020000;
constexpr DISPID kValueMember = 0x60020001;
constexpr wchar_t kValue[] = L"Verf\u00fcgbar";

class TestLocaleString : public orvex::atl::CComObjectRootEx,
                         public orvex::atl::CComCoClass<TestLocaleString, &CLSID_UCCLocaleString>,
                         public orvex::atl::IDispatchImpl<IUCCLocaleString> {
public:
    using InterfaceTable = orvex::atl::InterfaceTable<IUCCLocaleString, orvex::atl::Via<IDispatch, IUCCLocaleString>>;

    HRESULT STDMETHODCALLTYPE get_LocaleId(LONG* localeId) noexcept override
    {
        *localeId = -1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) noexcept override
    {
        return orvex::com::guardComCall([&] {
            *value = Bstr(kValue).detach();
            return S_OK;
        });
    }
};

template <class T>
class ContactEventsProxy : public orvex::atl::IConnectionPointImpl<T, &DIID__IUCCContactEvents> {
public:
    HRESULT fireOnContactInformationChanged(IUnknown* source, IUnknown* data) noexcept
    {
        const std::array arguments{orvex::atl::dispatchArgument(source), orvex::atl::dispatchArgument(data)};
        return this->fire(400, arguments);
    }
};

class TestContact : public orvex::atl::CComObjectRootEx,
                    public orvex::atl::IConnectionPointContainerImpl<TestContact>,
                    public ContactEventsProxy<TestContact> {
public:
    using InterfaceTable = orvex::atl::InterfaceTable<IConnectionPointContainer>;
    using ConnectionPointTable = orvex::atl::ConnectionPointTable<ContactEventsProxy<TestContact>>;
};

using ContactEventsSink = RecordingSink<_IUCCContactEvents>;

std::wstring productPath()
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    return (std::filesystem::path(executable).parent_path() / ORVEX_PRODUCT_DLL_NAME).wstring();
}

void unregisterLibrary()
{
    UnRegisterTypeLib(LIBID_OfficeIntegrationLib, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

class TypeInformation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // First without the library: the holder cannot load and must try again later.
        unregisterLibrary();
        {
            auto early = makeObject<TestLocaleString>();
            ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
            loadWithoutLibrary = early->GetTypeInfo(0, 0, &info);
            infoWithoutLibrary = info;
            VARIANT result;
            VariantInit(&result);
            DISPPARAMS none{};
            invokeWithoutLibrary = early->Invoke(kValueMember, GUID{}, 0, DISPATCH_PROPERTYGET, &none, &result,
                                                 nullptr, nullptr);
        }
        std::wstring path = productPath();
        ComPtr<ITypeLib> library;
        LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        registerResult = library ? RegisterTypeLib(library.Get(), path.data(), nullptr) : E_FAIL;
    }
    static void TearDownTestSuite()
    {
        unregisterLibrary();
        CoUninitialize();
    }
    void SetUp() override
    {
        ASSERT_EQ(registerResult, S_OK) << "RegisterTypeLib";
        localeString = makeObject<TestLocaleString>();
        ASSERT_EQ(localeString.As(&dispatch), S_OK);
    }

    DISPID idOf(const wchar_t* name, HRESULT expected = S_OK)
    {
        std::wstring text(name);
        LPOLESTR names[] = {text.data()};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(dispatch->GetIDsOfNames(GUID{}, names, 1, 0, &id), expected) << Bstr(text).toUtf8();
        return id;
    }

    static inline HRESULT registerResult = E_FAIL;
    static inline HRESULT loadWithoutLibrary = S_OK;
    static inline HRESULT invokeWithoutLibrary = S_OK;
    static inline ITypeInfo* infoWithoutLibrary = nullptr;

    ComPtr<CComObject<TestLocaleString>> localeString;
    ComPtr<IDispatch> dispatch;
};

} // namespace

TEST_F(TypeInformation, AFailedLoadAnswersItsErrorAndIsTriedAgainOnTheNextCall)
{
    EXPECT_TRUE(FAILED(loadWithoutLibrary));
    EXPECT_EQ(infoWithoutLibrary, nullptr);
    EXPECT_EQ(invokeWithoutLibrary, loadWithoutLibrary) << "Invoke answers the load's error";

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualIID(attributes->guid, IID_IUCCLocaleString));
    info->ReleaseTypeAttr(attributes);
}

TEST_F(TypeInformation, OneTypeInformationIsSharedByEveryObjectAndHandedOutWithAReference)
{
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);

    ITypeInfo* untouched = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &untouched), DISP_E_BADINDEX);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);

    ComPtr<ITypeInfo> first;
    ComPtr<ITypeInfo> second;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &first), S_OK);
    auto other = makeObject<TestLocaleString>();
    ASSERT_EQ(other->GetTypeInfo(0, 0x0407, &second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    const ULONG held = referenceCount(first.Get());
    second.Reset();
    EXPECT_EQ(referenceCount(first.Get()), held - 1);
}

TEST_F(TypeInformation, NamesAreFoundExactlyAndOtherwiseWithoutRegardToCase)
{
    EXPECT_EQ(idOf(L"Value"), kValueMember);
    EXPECT_EQ(idOf(L"LocaleId"), kLocaleIdMember);
    EXPECT_EQ(idOf(L"vALUE"), kValueMember) << "the type information ignores case";
    EXPECT_EQ(idOf(L"Valu", DISP_E_UNKNOWNNAME), DISPID_UNKNOWN);

    std::wstring value(L"Value");
    std::wstring locale(L"LocaleId");
    LPOLESTR two[] = {value.data(), locale.data()};
    DISPID ids[2] = {};
    // Several names are a member and its parameters: Value has none called LocaleId.
    EXPECT_EQ(dispatch->GetIDsOfNames(GUID{}, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], kValueMember);
}

TEST_F(TypeInformation, InvokeReachesTheInterfacesOwnMethods)
{
    DISPPARAMS none{};
    Variant result;
    ASSERT_EQ(dispatch->Invoke(kValueMember, GUID{}, 0, DISPATCH_PROPERTYGET, &none, result.out(), nullptr,
                               nullptr),
              S_OK);
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_STREQ(result.get().bstrVal, kValue);

    ASSERT_EQ(dispatch->Invoke(kLocaleIdMember, GUID{}, 0, DISPATCH_PROPERTYGET, &none, result.out(), nullptr,
                               nullptr),
              S_OK);
    ASSERT_EQ(result.type(), VT_I4);
    EXPECT_EQ(result.get().lVal, -1);

    EXPECT_EQ(dispatch->Invoke(0x60020002, GUID{}, 0, DISPATCH_METHOD, &none, result.out(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(ContactEvents, SinksOfTheLibrarysEventInterfaceReceiveTheEventWithObjectArgumentsAsDispatch)
{
    auto contact = makeObject<TestContact>();
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(contact->FindConnectionPoint(DIID__IUCCContactEvents, &point), S_OK);

    auto notASink = makeObject<TestLocaleString>();
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IUCCLocaleString*>(notASink.Get()), &cookie), CONNECT_E_CANNOTCONNECT);

    auto sink = makeObject<ContactEventsSink>();
    ASSERT_EQ(point->Advise(static_cast<_IUCCContactEvents*>(sink.Get()), &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);

    auto data = makeObject<TestLocaleString>();
    EXPECT_EQ(contact->fireOnContactInformationChanged(static_cast<IConnectionPointContainer*>(contact.Get()),
                                                      static_cast<IUCCLocaleString*>(data.Get())),
              E_FAIL)
        << "three of the four slots are empty";
    const auto calls = sink->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].member, 400);
    EXPECT_EQ(calls[0].argumentTypes, (std::vector<VARTYPE>{VT_DISPATCH, VT_DISPATCH}));
    EXPECT_EQ(calls[0].argumentObjects[0], static_cast<IDispatch*>(data.Get())) << "the event data first";
    EXPECT_EQ(calls[0].argumentObjects[1], nullptr) << "the source answers no IDispatch";
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}
