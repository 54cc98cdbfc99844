// The dispatch table read from type information that misbehaves: whatever goes wrong
// while it is read, every description the type information lent is handed back.
#include "client/com/DispatchTable.h"

#include <gtest/gtest.h>

#include <string>

using orvex::com::DispatchTable;

namespace {

// Type information of one interface whose functions each take one VARIANT parameter with
// a default; it counts the descriptions it lends and can be told where to fail.
class LendingTypeInfo final : public ITypeInfo {
public:
    int functionCount = 2;
    VARTYPE defaultType = VT_I4; // a type no VARIANT may hold makes the default uncopyable
    bool documentationFails = false;
    int descriptionsLent = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_ITypeInfo) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attributes) override
    {
        attributes_ = TYPEATTR{};
        attributes_.typekind = TKIND_DISPATCH;
        attributes_.cFuncs = static_cast<WORD>(functionCount);
        *attributes = &attributes_;
        ++descriptionsLent;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override { --descriptionsLent; }

    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** function) override
    {
        auto* lent = new Lent{};
        lent->extra.cBytes = sizeof(PARAMDESCEX);
        lent->extra.varDefaultValue.vt = defaultType;
        lent->parameter.tdesc.vt = VT_VARIANT;
        lent->parameter.paramdesc.pparamdescex = &lent->extra;
        lent->parameter.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
        lent->function.memid = static_cast<MEMBERID>(index + 1);
        lent->function.invkind = INVOKE_FUNC;
        lent->function.cParams = 1;
        lent->function.lprgelemdescParam = &lent->parameter;
        *function = &lent->function;
        ++descriptionsLent;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* function) override
    {
        delete reinterpret_cast<Lent*>(function);
        --descriptionsLent;
    }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID id, BSTR* name, BSTR*, DWORD*, BSTR*) override
    {
        if (documentationFails) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *name = SysAllocString(std::to_wstring(id).c_str());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

private:
    // The function first, so that the FUNCDESC handed out is the whole allocation.
    struct Lent {
        FUNCDESC function;
        ELEMDESC parameter;
        PARAMDESCEX extra;
    };
    TYPEATTR attributes_{};
};

} // namespace

TEST(DispatchTable, EveryDescriptionLentIsHandedBackHoweverReadingEnds)
{
    struct Case {
        const char* what;
        VARTYPE defaultType;
        bool documentationFails;
        bool built;
    };
    const Case cases[] = {
        {"every function read", VT_I4, false, true},
        {"a default that cannot be copied throws", VT_VOID, false, false},
        {"a name that cannot be read", VT_I4, true, false},
    };
    for (const Case& each : cases) {
        LendingTypeInfo typeInfo;
        typeInfo.defaultType = each.defaultType;
        typeInfo.documentationFails = each.documentationFails;
        const auto table = DispatchTable::build(&typeInfo);
        EXPECT_EQ(table != nullptr, each.built) << each.what;
        EXPECT_EQ(typeInfo.descriptionsLent, 0) << each.what;
        if (table) {
            ASSERT_NE(table->find(L"2"), nullptr);
            EXPECT_EQ(table->find(L"2")->id, 2);
            EXPECT_EQ(table->find(L"3"), nullptr);
        }
    }
}
