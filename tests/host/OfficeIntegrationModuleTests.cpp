// The module object: its identity, object count, global interface table, clean-up list
// and the refusal to load when it could not initialise.
#include "client/com/CAtlDllModuleT.h"
#include "host/OfficeIntegrationModule.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

const orvex::atl::CAtlModule::Identity kTestIdentity = {
    {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}},
    2,
    3,
    {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}},
};

std::string debuggerText;
void recordDebuggerText(const char* text) noexcept { debuggerText += text; }
BOOL WINAPI failToInitialise(LPCRITICAL_SECTION, DWORD) { return FALSE; }

// A module of the tests' own, beside the library's, so that its teardown can be watched.
class TestModule : public orvex::atl::CAtlDllModuleT<TestModule> {
public:
    TestModule() noexcept : CAtlDllModuleT(kTestIdentity) {}
    explicit TestModule(orvex::atl::CriticalSection::Initialiser initialise) noexcept
        : CAtlDllModuleT(kTestIdentity, initialise, &recordDebuggerText)
    {
    }
};

} // namespace

TEST(OfficeIntegrationModule, IsTheLibrarysModuleWithItsTypeLibraryAndApplication)
{
    COfficeIntegrationModule& module = COfficeIntegrationModule::instance();
    EXPECT_EQ(orvex::atl::CAtlModule::current(), &module);
    EXPECT_FALSE(module.initialisationFailed());
    EXPECT_TRUE(IsEqualGUID(module.identity().libraryId, LIBID_OfficeIntegrationLib));
    EXPECT_EQ(module.identity().libraryMajorVersion, 1);
    EXPECT_EQ(module.identity().libraryMinorVersion, 0);
    EXPECT_EQ(module.moduleHandle(), GetModuleHandleW(nullptr)) << "the image its code lives in";

    orvex::atl::RgsReplacements replacements;
    EXPECT_EQ(module.AddCommonRGSReplacements(replacements), S_OK);
    EXPECT_EQ(replacements, (orvex::atl::RgsReplacements{{L"APPID", L"{6C4694B4-5559-4280-B7E9-336329AB5F09}"}}));

    EXPECT_TRUE(module.DllMain(DLL_PROCESS_ATTACH, nullptr));
}

TEST(OfficeIntegrationModule, CountsLocksAtomicallyFromAnyThread)
{
    TestModule module;
    EXPECT_EQ(module.Lock(), 1);
    EXPECT_EQ(module.Lock(), 2);
    EXPECT_EQ(module.Unlock(), 1);
    EXPECT_EQ(module.GetLockCount(), 1);

    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&module] {
            for (int round = 0; round < 20000; ++round) {
                module.Lock();
                module.Unlock();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(module.GetLockCount(), 1);
    EXPECT_NE(orvex::atl::CAtlModule::current(), &module) << "the library's module stays the current one";
}

TEST(OfficeIntegrationModule, HandsOutOneCachedGlobalInterfaceTable)
{
    TestModule module;
    EXPECT_EQ(module.GetGITPtr(nullptr), E_POINTER);

    // A thread without COM cannot create it, and is told why.
    HRESULT withoutCom = S_OK;
    IGlobalInterfaceTable* untouched = reinterpret_cast<IGlobalInterfaceTable*>(1);
    std::thread([&] { withoutCom = module.GetGITPtr(&untouched); }).join();
    EXPECT_EQ(withoutCom, CO_E_NOTINITIALIZED);
    EXPECT_EQ(untouched, reinterpret_cast<IGlobalInterfaceTable*>(1));

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        ComPtr<IGlobalInterfaceTable> first;
        ComPtr<IGlobalInterfaceTable> second;
        ASSERT_EQ(module.GetGITPtr(&first), S_OK);
        ASSERT_EQ(module.GetGITPtr(&second), S_OK);
        EXPECT_NE(first.Get(), nullptr);
        EXPECT_EQ(first.Get(), second.Get());
    }
    CoUninitialize();
}

TEST(OfficeIntegrationModule, RunsItsCleanUpsAtTeardownTheLatestFirst)
{
    std::vector<int> ran;
    auto record = [](void* context) noexcept {
        auto* entry = static_cast<std::pair<std::vector<int>*, int>*>(context);
        entry->first->push_back(entry->second);
    };
    std::pair<std::vector<int>*, int> first{&ran, 1};
    std::pair<std::vector<int>*, int> second{&ran, 2};
    {
        TestModule module;
        EXPECT_EQ(module.AddTermFunc(record, &first), S_OK);
        EXPECT_EQ(module.AddTermFunc(record, &second), S_OK);
        EXPECT_TRUE(ran.empty());
    }
    EXPECT_EQ(ran, (std::vector<int>{2, 1}));
}

TEST(OfficeIntegrationModule, AModuleWhoseCriticalSectionFailedRefusesToAttach)
{
    debuggerText.clear();
    TestModule failed(&failToInitialise);
    EXPECT_TRUE(failed.initialisationFailed());
    EXPECT_EQ(debuggerText, "ERROR : Unable to initialize critical section in CAtlBaseModule\n");
    EXPECT_FALSE(failed.DllMain(DLL_PROCESS_ATTACH, nullptr));
    EXPECT_TRUE(failed.DllMain(DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(failed.DllMain(DLL_PROCESS_DETACH, nullptr));

    debuggerText.clear();
    TestModule working;
    EXPECT_FALSE(working.initialisationFailed());
    EXPECT_TRUE(working.DllMain(DLL_PROCESS_ATTACH, nullptr));
}
