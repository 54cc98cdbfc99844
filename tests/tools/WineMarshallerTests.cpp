// What Wine's marshaller does with objects that cross an apartment boundary inside
// IDispatch::Invoke, with no code of the provider involved: the fuzzer's measurement of
// leaks across processes rests on these facts (FuzzRun, HostileValues::Settings).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// An object whose references are counted but which is never freed (it lives on the test's
// stack); its Invoke answers `answer` and, when given `handOut`, returns it in the result.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // never deleted, let alone by a base pointer
class CountedObject final : public IDispatch {
public:
    HRESULT answer = DISP_E_MEMBERNOTFOUND;
    IUnknown* handOut = nullptr;
    bool handOutInArray = false;

    long references() const { return references_.load(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references_); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* typeInfos) override
    {
        *typeInfos = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (handOut != nullptr && result != nullptr) {
            handOut->AddRef();
            if (handOutInArray) {
                result->vt = VT_ARRAY | VT_UNKNOWN;
                result->parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
                static_cast<IUnknown**>(result->parray->pvData)[0] = handOut;
            } else {
                result->vt = VT_UNKNOWN;
                result->punkVal = handOut;
            }
        }
        return answer;
    }

private:
    std::atomic<long> references_{1};
};
#pragma GCC diagnostic pop

class WineMarshallerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    // Runs `client` in an apartment of its own with proxies for `server` and `token` (which
    // live in this test's apartment), then releases the proxies, answering the token's
    // references at that moment, and ends the client's apartment.
    long fromOtherApartment(const std::function<void(IDispatch* server, IUnknown* token)>& client)
    {
        IStream* serverStream = nullptr;
        IStream* tokenStream = nullptr;
        EXPECT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, &server, &serverStream));
        EXPECT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IUnknown, &token, &tokenStream));
        long afterRelease = -1;
        std::thread([&] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            IDispatch* serverProxy = nullptr;
            IUnknown* tokenProxy = nullptr;
            CoGetInterfaceAndReleaseStream(serverStream, IID_IDispatch, reinterpret_cast<void**>(&serverProxy));
            CoGetInterfaceAndReleaseStream(tokenStream, IID_IUnknown, reinterpret_cast<void**>(&tokenProxy));
            if (serverProxy != nullptr && tokenProxy != nullptr) {
                client(serverProxy, tokenProxy);
            }
            if (serverProxy != nullptr) {
                serverProxy->Release();
            }
            if (tokenProxy != nullptr) {
                tokenProxy->Release();
            }
            afterRelease = token.references();
            CoUninitialize();
        }).join();
        return afterRelease;
    }

    static HRESULT invokeWith(IDispatch* server, VARIANT& argument, VARIANT& result)
    {
        DISPPARAMS parameters{&argument, nullptr, 1, 0};
        return server->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr);
    }

    // An array of `type` holding the token, its reference the array's.
    static SAFEARRAY* arrayOf(VARTYPE type, IUnknown* token)
    {
        SAFEARRAY* array = SafeArrayCreateVector(type, 0, 1);
        LONG index = 0;
        if (type == VT_VARIANT) {
            VARIANT element;
            element.vt = VT_UNKNOWN;
            element.punkVal = token;
            SafeArrayPutElement(array, &index, &element);
        } else {
            SafeArrayPutElement(array, &index, token);
        }
        return array;
    }

    CountedObject server;
    CountedObject token;
};

// The provider's objects go back to it as single arguments and inside arrays of VARIANTs:
// whether the call succeeds or fails, nothing of them stays behind.
TEST_F(WineMarshallerTest, ObjectsPassedAloneOrInVariantArraysAreLetGo)
{
    for (const HRESULT answer : {DISP_E_MEMBERNOTFOUND, S_OK}) {
        server.answer = answer;
        const long afterRelease = fromOtherApartment([&](IDispatch* proxy, IUnknown* tokenProxy) {
            for (int round = 0; round < 3; ++round) {
                VARIANT alone{};
                alone.vt = VT_UNKNOWN;
                alone.punkVal = tokenProxy;
                VARIANT inVariants{};
                inVariants.vt = VT_ARRAY | VT_VARIANT;
                inVariants.parray = arrayOf(VT_VARIANT, tokenProxy);
                VARIANT result{};
                EXPECT_EQ(answer, invokeWith(proxy, alone, result));
                EXPECT_EQ(answer, invokeWith(proxy, inVariants, result));
                SafeArrayDestroy(inVariants.parray);
            }
        });
        EXPECT_EQ(1, afterRelease) << "answer 0x" << std::hex << answer;
        EXPECT_EQ(1, token.references());
    }
}

// Wine's stub keeps a reference on every element of an array of interface pointers it
// unmarshals as an argument, even after the caller has left COM: across processes the
// fuzzer therefore does not put the provider's own objects in such arrays. Should this
// fail, Wine lets them go now, and the fuzzer may pass them there again.
TEST_F(WineMarshallerTest, ElementsOfAnInterfaceArrayArgumentStayReferencedForGood)
{
    const long afterRelease = fromOtherApartment([&](IDispatch* proxy, IUnknown* tokenProxy) {
        for (int round = 0; round < 3; ++round) {
            VARIANT inArray{};
            inArray.vt = VT_ARRAY | VT_UNKNOWN;
            inArray.parray = arrayOf(VT_UNKNOWN, tokenProxy);
            VARIANT result{};
            EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invokeWith(proxy, inArray, result));
            SafeArrayDestroy(inArray.parray);
        }
    });
    EXPECT_GE(afterRelease, 4);
    EXPECT_GE(token.references(), 4) << "one reference kept for each of the three calls";
}

// An object returned inside an array of interface pointers stays referenced after the
// caller has released everything, until the caller's apartment ends; returned alone it
// is let go at once. The fuzzer counts the provider's live objects once more after it has
// left COM, and only that count tells a leak of the provider.
TEST_F(WineMarshallerTest, ObjectsReturnedInInterfaceArraysAreHeldUntilTheCallerLeavesCom)
{
    server.answer = S_OK;
    server.handOut = &token;
    for (const bool inArray : {false, true}) {
        server.handOutInArray = inArray;
        const long afterRelease = fromOtherApartment([&](IDispatch* proxy, IUnknown*) {
            VARIANT none{};
            VARIANT result{};
            EXPECT_EQ(S_OK, invokeWith(proxy, none, result));
            EXPECT_EQ(inArray ? VT_ARRAY | VT_UNKNOWN : VT_UNKNOWN, result.vt);
            VariantClear(&result);
        });
        if (inArray) {
            EXPECT_GT(afterRelease, 1) << "Wine now lets go of such objects at once";
        } else {
            EXPECT_EQ(1, afterRelease);
        }
        EXPECT_EQ(1, token.references()) << (inArray ? "in an array" : "alone");
    }
}

} // namespace
