// Once the DLL's type library is registered, COM marshals the dual interfaces through it:
// the path every call from Office takes. The library is registered machine-wide in the
// test prefix, as Wine's LoadRegTypeLib reads only machine-wide keys.
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "tests/registration/TypeLibraryFile.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;

namespace {

const std::wstring kLibraryKey = L"SOFTWARE\\Classes\\TypeLib\\{9D5662DE-96CC-471F-94F0-E00E05457627}\\1.0";
constexpr LONG kLocale = 1033;
constexpr wchar_t kText[] = L"Verf\u00fcgbar";

std::wstring readDefault(HKEY root, const std::wstring& path)
{
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return value;
}

std::wstring interfaceKey(const IID& iid)
{
    wchar_t text[40] = {};
    StringFromGUID2(iid, text, 40);
    return std::wstring(L"SOFTWARE\\Classes\\Interface\\") + text;
}

// A locale string served from the test's apartment. It lives on the stack of the test
// and only counts references, so the test can tell that every proxy let go of it.
// COM interfaces have no virtual destructor by design: objects free themselves.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class LocaleString final : public IUCCLocaleString {
public:
    explicit LocaleString(ComPtr<ITypeInfo> vtableInfo) : info_(std::move(vtableInfo)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IUCCLocaleString)) {
            *object = static_cast<IUCCLocaleString*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        return info_.CopyTo(info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return DispGetIDsOfNames(info_.Get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override
    {
        return DispInvoke(static_cast<IUCCLocaleString*>(this), info_.Get(), id, flags, parameters, result, exception,
                          argumentError);
    }

    HRESULT STDMETHODCALLTYPE get_LocaleId(LONG* localeId) override
    {
        servingThread = GetCurrentThreadId();
        *localeId = kLocale;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) override
    {
        *value = SysAllocString(kText);
        return *value == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    ULONG references() const { return references_; }
    std::atomic<DWORD> servingThread{0};

private:
    ComPtr<ITypeInfo> info_;
    std::atomic<ULONG> references_{0};
};
#pragma GCC diagnostic pop

class RegisteredTypeLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        path = TypeLibraryFile::productPath();
        LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        registerResult = library ? RegisterTypeLib(library.Get(), path.data(), nullptr) : E_FAIL;
    }
    static void TearDownTestSuite()
    {
        UnRegisterTypeLib(LIBID_OfficeIntegrationLib, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        library.Reset();
        CoUninitialize();
    }
    void SetUp() override { ASSERT_EQ(registerResult, S_OK) << "RegisterTypeLib"; }

    static inline std::wstring path;
    static inline ComPtr<ITypeLib> library;
    static inline HRESULT registerResult = E_FAIL;
};

struct ProxyObservation {
    HRESULT unmarshal = E_FAIL;
    bool isProxy = false;
    HRESULT localeCall = E_FAIL;
    LONG locale = 0;
    DWORD callingThread = 0;
    std::wstring value;
    DISPID valueId = DISPID_UNKNOWN;
    std::wstring invokedValue;
};

} // namespace

TEST_F(RegisteredTypeLibrary, RegistrationPointsTheInterfacesAtTheLibraryAndItsMarshaller)
{
    const std::wstring platform = sizeof(void*) == 8 ? L"win64" : L"win32";
    EXPECT_EQ(readDefault(HKEY_LOCAL_MACHINE, kLibraryKey + L"\\0\\" + platform), path);

    // Dual interfaces go through the automation marshaller, dispinterfaces through IDispatch's.
    const std::wstring dual = interfaceKey(IID_IUCCLocaleString);
    EXPECT_EQ(readDefault(HKEY_LOCAL_MACHINE, dual), L"IUCCLocaleString");
    EXPECT_EQ(readDefault(HKEY_LOCAL_MACHINE, dual + L"\\TypeLib"), L"{9D5662DE-96CC-471F-94F0-E00E05457627}");
    EXPECT_EQ(readDefault(HKEY_LOCAL_MACHINE, dual + L"\\ProxyStubClsid32"), L"{00020424-0000-0000-C000-000000000046}");
    const std::wstring events = interfaceKey(DIID__IUCCContactEvents);
    EXPECT_EQ(readDefault(HKEY_LOCAL_MACHINE, events + L"\\ProxyStubClsid32"), L"{00020420-0000-0000-C000-000000000046}");

    ComPtr<ITypeLib> registered;
    ASSERT_EQ(LoadRegTypeLib(LIBID_OfficeIntegrationLib, 1, 0, 0, &registered), S_OK);
    EXPECT_EQ(registered->GetTypeInfoCount(), 753u);
}

TEST_F(RegisteredTypeLibrary, ADualInterfaceIsMarshalledToAnotherApartmentThroughAProxy)
{
    ComPtr<ITypeInfo> dispatchInfo;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IUCCLocaleString, &dispatchInfo), S_OK);
    TypeInfoView vtableInfo = TypeInfoView(dispatchInfo).vtableView();
    ASSERT_TRUE(vtableInfo.valid());
    LocaleString object(vtableInfo.get());

    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(CoMarshalInterface(stream.Get(), IID_IUCCLocaleString, static_cast<IUCCLocaleString*>(&object),
                                 MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL),
              S_OK);

    ProxyObservation seen;
    std::thread client([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            LARGE_INTEGER start{};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            ComPtr<IUCCLocaleString> proxy;
            seen.unmarshal = CoUnmarshalInterface(stream.Get(), IID_IUCCLocaleString, &proxy);
            if (SUCCEEDED(seen.unmarshal)) {
                seen.isProxy = proxy.Get() != static_cast<IUCCLocaleString*>(&object);
                seen.callingThread = GetCurrentThreadId();
                seen.localeCall = proxy->get_LocaleId(&seen.locale);
                Bstr value;
                if (SUCCEEDED(proxy->get_Value(value.out()))) {
                    seen.value = value.view();
                }
                // Late binding through the proxy reaches the object's type-library IDispatch.
                ComPtr<IDispatch> dispatch;
                if (SUCCEEDED(proxy.As(&dispatch))) {
                    LPOLESTR name = const_cast<LPOLESTR>(L"Value");
                    dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &seen.valueId);
                    DISPPARAMS none{};
                    orvex::com::Variant result;
                    if (SUCCEEDED(dispatch->Invoke(seen.valueId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                                   &none, result.out(), nullptr, nullptr))
                        && result.type() == VT_BSTR) {
                        seen.invokedValue = std::wstring(result.get().bstrVal, SysStringLen(result.get().bstrVal));
                    }
                }
            }
        }
        CoUninitialize();
    });
    client.join();

    ASSERT_EQ(seen.unmarshal, S_OK);
    EXPECT_TRUE(seen.isProxy);
    EXPECT_EQ(seen.localeCall, S_OK);
    EXPECT_EQ(seen.locale, kLocale);
    EXPECT_NE(object.servingThread.load(), 0u);
    EXPECT_NE(object.servingThread.load(), seen.callingThread) << "the call crossed into the object's apartment";
    EXPECT_EQ(seen.value, kText);
    EXPECT_EQ(seen.valueId, 0x60020001);
    EXPECT_EQ(seen.invokedValue, kText);
    EXPECT_EQ(object.references(), 0u) << "the proxy released the object";
}
