// Once the DLL's type library is registered, COM marshals the dual interfaces through it:
// the path every call from Office takes. The library is registered machine-wide in the
// test prefix, as Wine's LoadRegTypeLib reads only machine-wide keys.
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "contacts/UCCLocaleString.h"
#include "tests/support/RecordingSink.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <string>
#include <thread>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;

// The built DLL beside the test executable.
std::wstring productDllPath();

namespace {

constexpr wchar_t kText[] = L"Verf\u00fcgbar";

class RegisteredTypeLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        path = productDllPath();
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
    LONG locale = 0;
    std::wstring value;
    std::wstring invokedValue;
};

} // namespace

TEST_F(RegisteredTypeLibrary, ADualInterfaceOfTheLibraryIsMarshalledToAnotherApartmentThroughAProxy)
{
    const LONG liveAtStart = liveObjects();
    ComPtr<orvex::com::CComObject<UCCLocaleString>> object;
    ASSERT_EQ(orvex::com::CComObject<UCCLocaleString>::CreateInstance(object), S_OK);
    object->setValue(Bstr(kText).get());
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(CoMarshalInterface(stream.Get(), IID_IUCCLocaleString, static_cast<IUCCLocaleString*>(object.Get()),
                                 MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL),
              S_OK);

    ProxyObservation seen;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            LARGE_INTEGER start{};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            ComPtr<IUCCLocaleString> proxy;
            seen.unmarshal = CoUnmarshalInterface(stream.Get(), IID_IUCCLocaleString, &proxy);
            if (SUCCEEDED(seen.unmarshal)) {
                seen.isProxy = proxy.Get() != static_cast<IUCCLocaleString*>(object.Get());
                proxy->get_LocaleId(&seen.locale);
                Bstr value;
                if (SUCCEEDED(proxy->get_Value(value.out()))) {
                    seen.value = value.view();
                }
                // Late binding through the proxy reaches the object's type-library IDispatch.
                ComPtr<IDispatch> dispatch;
                DISPID valueId = DISPID_UNKNOWN;
                LPOLESTR name = const_cast<LPOLESTR>(L"Value");
                DISPPARAMS none{};
                orvex::com::Variant result;
                if (SUCCEEDED(proxy.As(&dispatch)) &&
                    SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &valueId)) &&
                    SUCCEEDED(dispatch->Invoke(valueId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                               result.out(), nullptr, nullptr)) &&
                    result.type() == VT_BSTR) {
                    seen.invokedValue = std::wstring(result.get().bstrVal, SysStringLen(result.get().bstrVal));
                }
            }
        }
        CoUninitialize();
    }).join();

    ASSERT_EQ(seen.unmarshal, S_OK);
    EXPECT_TRUE(seen.isProxy);
    EXPECT_EQ(seen.locale, -1);
    EXPECT_EQ(seen.value, kText);
    EXPECT_EQ(seen.invokedValue, kText);
    object.Reset();
    EXPECT_EQ(liveObjects(), liveAtStart) << "the proxy released the object";
}
