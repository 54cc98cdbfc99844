// The type library as the built DLL carries it: the slots where a slip would break Office.
// (Its identity and version are checked through the keys its registration writes, its
// interfaces through the registration diagnostics, the dictionary's default member through
// the dispatch tests.)
#include "client/com/Bstr.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <filesystem>

using Microsoft::WRL::ComPtr;
using orvex::com::Bstr;

std::wstring productDllPath()
{
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    return (std::filesystem::path(executable).parent_path() / ORVEX_PRODUCT_DLL_NAME).wstring();
}

namespace {

class EmbeddedTypeLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLibEx(productDllPath().c_str(), REGKIND_NONE, &library), S_OK); }

    static std::wstring nameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL)
    {
        Bstr name;
        info->GetDocumentation(member, name.out(), nullptr, nullptr, nullptr);
        return std::wstring(name.view());
    }

    ComPtr<ITypeLib> library;
};

} // namespace

TEST_F(EmbeddedTypeLibrary, TheClientsOwnMembersFollowTheSlotsOfItsBases)
{
    // The client's own members follow the fourteen slots of IDispatch and IUCCClient;
    // the first, SignIn, is asynchronous: its last parameter is the [out, retval] operation.
    ComPtr<ITypeInfo> dual;
    ComPtr<ITypeInfo> client; // the vtable half of the dual interface
    HREFTYPE reference = 0;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IUCCLyncClient, &dual), S_OK);
    ASSERT_EQ(dual->GetRefTypeOfImplType(-1, &reference), S_OK);
    ASSERT_EQ(dual->GetRefTypeInfo(reference, &client), S_OK);
    FUNCDESC* signIn = nullptr;
    ASSERT_EQ(client->GetFuncDesc(0, &signIn), S_OK);
    EXPECT_EQ(nameOf(client.Get(), signIn->memid), L"SignIn");
    EXPECT_EQ(signIn->oVft, static_cast<SHORT>(14 * sizeof(void*)));
    ASSERT_GE(signIn->cParams, 1);
    const ELEMDESC& operation = signIn->lprgelemdescParam[signIn->cParams - 1];
    EXPECT_EQ(operation.paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    EXPECT_EQ(operation.tdesc.vt, VT_PTR);
    client->ReleaseFuncDesc(signIn);
}
