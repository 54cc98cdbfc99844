// Creation, QueryInterface and destruction of objects made with the machinery.
#include "client/com/Atl.h"
#include "client/com/CAtlModule.h"
#include "tests/client/RecordingSink.h"

#include <gtest/gtest.h>

#include <servprov.h>
#include <wrl/client.h>

#include <stdexcept>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;

namespace {

constexpr CLSID kProbeClsid = {0x5d1c0a3e, 0x7a41, 0x4b8e, {0x8f, 0x20, 0x61, 0x3d, 0x90, 0x0c, 0x42, 0x17}};

LONG moduleLocks() { return orvex::atl::CAtlModule::current()->GetLockCount(); }

// What the probes saw of their own lifetime.
struct Lifetime {
    std::vector<std::string> steps;
    LONG locksInFinalRelease = -1;
    LONG locksInDestructor = -1;
    int membersAlive = 0;
};
Lifetime* lifetime = nullptr;

struct Member {
    Member() { ++lifetime->membersAlive; }
    ~Member() { --lifetime->membersAlive; }
    Member(const Member&) = delete;
    Member& operator=(const Member&) = delete;
};

// Answers IPersist (primary) and IServiceProvider; implements IClassFactory without
// listing it.
class Probe : public orvex::atl::CComObjectRootEx,
              public orvex::atl::CComCoClass<Probe, &kProbeClsid>,
              public orvex::atl::Implements<IPersist>,
              public orvex::atl::Implements<IServiceProvider>,
              public orvex::atl::Implements<IClassFactory> {
public:
    using InterfaceTable = orvex::atl::InterfaceTable<IPersist, IServiceProvider>;

    static inline bool throwInConstructor = false;

    Probe()
    {
        if (throwInConstructor) {
            throw std::runtime_error("construction failed");
        }
    }
    ~Probe() override
    {
        lifetime->steps.push_back("destructor");
        lifetime->locksInDestructor = moduleLocks();
    }

    void FinalRelease() noexcept
    {
        lifetime->steps.push_back("final release");
        lifetime->locksInFinalRelease = moduleLocks();
        // A reference taken and dropped while the object goes does not destroy it again.
        static_cast<IPersist*>(this)->AddRef();
        static_cast<IPersist*>(this)->Release();
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID, REFIID, void**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) noexcept override { return E_NOTIMPL; }

private:
    Member member_;
};

// IClassFactory's CreateInstance hides the co-class's.
using ProbeCoClass = orvex::atl::CComCoClass<Probe, &kProbeClsid>;

class ComObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        lifetime = &observed;
        Probe::throwInConstructor = false;
        locksBefore = moduleLocks();
    }
    void TearDown() override { lifetime = nullptr; }

    Lifetime observed;
    LONG locksBefore = 0;
};

} // namespace

TEST_F(ComObjects, ANewObjectHasNoReferenceAndLocksTheModuleUntilItGoes)
{
    EXPECT_EQ(CComObject<Probe>::CreateInstance(static_cast<CComObject<Probe>**>(nullptr)), E_POINTER);

    CComObject<Probe>* probe = nullptr;
    ASSERT_EQ(CComObject<Probe>::CreateInstance(&probe), S_OK);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(moduleLocks(), locksBefore + 1);
    EXPECT_EQ(observed.membersAlive, 1);

    EXPECT_EQ(probe->AddRef(), 1u) << "the caller adds the first reference";
    EXPECT_EQ(probe->AddRef(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_EQ(probe->Release(), 0u);

    EXPECT_EQ(observed.steps, (std::vector<std::string>{"final release", "destructor"}));
    EXPECT_EQ(observed.locksInFinalRelease, locksBefore + 2) << "its own lock and the one Release holds";
    EXPECT_EQ(observed.locksInDestructor, locksBefore + 1) << "its own lock went before the members";
    EXPECT_EQ(observed.membersAlive, 0);
    EXPECT_EQ(moduleLocks(), locksBefore);
}

TEST_F(ComObjects, QueryInterfaceAnswersTheTableInOrderAndNothingElse)
{
    ComPtr<CComObject<Probe>> probe;
    ASSERT_EQ(CComObject<Probe>::CreateInstance(probe), S_OK);

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown.Get(), static_cast<IPersist*>(probe.Get())) << "IUnknown is the primary interface";
    ComPtr<IServiceProvider> provider;
    ASSERT_EQ(probe->QueryInterface(IID_IServiceProvider, &provider), S_OK);
    EXPECT_EQ(provider.Get(), static_cast<IServiceProvider*>(probe.Get()));
    EXPECT_EQ(referenceCount(unknown.Get()), 3u) << "each hit added a reference";

    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &factory), E_NOINTERFACE) << "implemented but not listed";
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(probe->QueryInterface(IID_IServiceProvider, nullptr), E_POINTER);

    // Every interface of the object leads to the same identity.
    ComPtr<IUnknown> throughProvider;
    ASSERT_EQ(provider.As(&throughProvider), S_OK);
    EXPECT_EQ(throughProvider.Get(), unknown.Get());
}

TEST_F(ComObjects, AConstructorThatThrowsLeavesNothingBehind)
{
    Probe::throwInConstructor = true;
    CComObject<Probe>* probe = reinterpret_cast<CComObject<Probe>*>(1);
    EXPECT_EQ(CComObject<Probe>::CreateInstance(&probe), E_OUTOFMEMORY);
    EXPECT_EQ(probe, nullptr);
    EXPECT_EQ(observed.membersAlive, 0);
    EXPECT_EQ(moduleLocks(), locksBefore);
}

TEST_F(ComObjects, TheCoClassCreatesAnObjectAndHandsOutTheInterfaceAsked)
{
    EXPECT_TRUE(IsEqualCLSID(Probe::GetObjectCLSID(), kProbeClsid));

    ComPtr<IServiceProvider> provider;
    ASSERT_EQ(ProbeCoClass::CreateInstance(IID_IServiceProvider, &provider), S_OK);
    EXPECT_EQ(referenceCount(provider.Get()), 1u);
    provider.Reset();
    EXPECT_EQ(moduleLocks(), locksBefore);

    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(ProbeCoClass::CreateInstance(IID_IClassFactory, &factory), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(observed.steps, (std::vector<std::string>{"final release", "destructor", "final release", "destructor"}))
        << "the object nobody could use went at once";
    EXPECT_EQ(moduleLocks(), locksBefore);
    EXPECT_EQ(ProbeCoClass::CreateInstance(IID_IServiceProvider, nullptr), E_POINTER);
}
