// Member by member: the interfaces, coclasses, enumerations and constants that Office
// and the messenger depend on, as the DLL's type library describes them.
#include "tests/registration/ExpectedTypeLibraryContent.h"
#include "tests/registration/TypeLibraryFile.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Expected = ExpectedTypeLibraryContent;

namespace {

const TypeLibraryFile& library()
{
    static const TypeLibraryFile loaded(TypeLibraryFile::productPath());
    return loaded;
}

std::wstring guidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::string testName(const wchar_t* name)
{
    std::string result;
    for (const wchar_t* c = name; *c != L'\0'; ++c) {
        result += static_cast<char>(*c);
    }
    return result;
}

// The enumeration's values, read as VAR_CONST members.
std::vector<std::pair<std::wstring, LONG>> constantsOf(const TypeInfoView& info)
{
    std::vector<std::pair<std::wstring, LONG>> values;
    auto attributes = info.attr();
    for (UINT index = 0; attributes && index < attributes->cVars; ++index) {
        auto variable = info.variable(index);
        if (!variable || variable->varkind != VAR_CONST) {
            values.emplace_back(L"<unreadable>", 0);
            continue;
        }
        VARIANT asLong;
        VariantInit(&asLong);
        VariantChangeType(&asLong, variable->lpvarValue, 0, VT_I4);
        values.emplace_back(info.memberName(variable->memid), asLong.lVal);
    }
    return values;
}

std::vector<std::pair<std::wstring, LONG>> asPairs(const std::vector<Expected::Value>& values)
{
    std::vector<std::pair<std::wstring, LONG>> pairs;
    for (const auto& value : values) {
        pairs.emplace_back(value.name, value.value);
    }
    return pairs;
}

class InterfaceContent : public ::testing::TestWithParam<Expected::Interface> {};
class CoclassContent : public ::testing::TestWithParam<Expected::Coclass> {};
class EnumerationContent : public ::testing::TestWithParam<Expected::Enumeration> {};

} // namespace

TEST_P(InterfaceContent, MatchesItsDefinitionMemberByMember)
{
    const Expected::Interface& expected = GetParam();
    TypeInfoView declared = library().find(expected.name);
    ASSERT_TRUE(declared.valid()) << "not in the library";
    auto attributes = declared.attr();
    EXPECT_EQ(declared.guidText(), expected.iid);
    EXPECT_EQ(guidText(*expected.declared), expected.iid) << "the C++ declaration's IID";

    // Members are read where their slots live: the vtable half of a dual interface.
    TypeInfoView members = declared;
    switch (expected.kind) {
    case Expected::Kind::Dual: {
        ASSERT_EQ(attributes->typekind, TKIND_DISPATCH);
        const WORD dualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
        EXPECT_EQ(attributes->wTypeFlags & dualFlags, dualFlags);
        members = declared.vtableView();
        ASSERT_TRUE(members.valid());
        EXPECT_EQ(members.attr()->typekind, TKIND_INTERFACE);
        EXPECT_TRUE(members.attr()->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
        EXPECT_EQ(members.implemented(0).name(), expected.base);
        break;
    }
    case Expected::Kind::Dispatch:
        ASSERT_EQ(attributes->typekind, TKIND_DISPATCH);
        EXPECT_FALSE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
        EXPECT_EQ(declared.implemented(0).name(), L"IDispatch");
        break;
    case Expected::Kind::Plain:
        ASSERT_EQ(attributes->typekind, TKIND_INTERFACE);
        EXPECT_EQ(declared.implemented(0).name(), expected.base);
        break;
    }

    auto memberAttributes = members.attr();
    ASSERT_EQ(memberAttributes->cFuncs, expected.members.size());
    if (expected.kind != Expected::Kind::Dispatch) {
        EXPECT_EQ(memberAttributes->cbSizeVft, (expected.firstSlot + expected.members.size()) * sizeof(void*));
    }
    for (UINT index = 0; index < expected.members.size(); ++index) {
        const Expected::Member& member = expected.members[index];
        SCOPED_TRACE(testName(member.name));
        auto func = members.function(index);
        ASSERT_NE(func, nullptr) << "GetFuncDesc refuses the member";
        EXPECT_EQ(members.memberName(func->memid), member.name);
        EXPECT_EQ(static_cast<unsigned long>(func->memid), static_cast<unsigned long>(member.dispid));
        EXPECT_EQ(func->invkind, member.invoke);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(members.describeParameters(*func), member.parameters);
        if (expected.kind == Expected::Kind::Dispatch) {
            EXPECT_EQ(func->funckind, FUNC_DISPATCH);
        } else {
            EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
            EXPECT_EQ(func->oVft, static_cast<SHORT>((expected.firstSlot + index) * sizeof(void*)));
        }
        if (expected.kind != Expected::Kind::Plain) {
            // IDispatch resolves the name to the same DISPID.
            LPOLESTR name = const_cast<LPOLESTR>(member.name);
            MEMBERID resolved = 0;
            EXPECT_EQ(declared.get()->GetIDsOfNames(&name, 1, &resolved), S_OK);
            EXPECT_EQ(static_cast<unsigned long>(resolved), static_cast<unsigned long>(member.dispid));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TypeLibrary, InterfaceContent, ::testing::ValuesIn(Expected::interfaces),
                         [](const auto& entry) { return testName(entry.param.name); });

TEST_P(CoclassContent, ListsItsInterfacesWithTheirFlags)
{
    const Expected::Coclass& expected = GetParam();
    TypeInfoView coclass = library().find(expected.name);
    ASSERT_TRUE(coclass.valid()) << "not in the library";
    auto attributes = coclass.attr();
    ASSERT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_EQ(coclass.guidText(), expected.clsid);
    EXPECT_EQ(guidText(*expected.declared), expected.clsid) << "the C++ declaration's CLSID";
    EXPECT_EQ(attributes->wTypeFlags, expected.typeFlags);

    ASSERT_EQ(attributes->cImplTypes, expected.interfaces.size());
    for (UINT index = 0; index < expected.interfaces.size(); ++index) {
        EXPECT_EQ(coclass.implemented(index).name(), expected.interfaces[index].name) << index;
        EXPECT_EQ(coclass.implementedFlags(index), expected.interfaces[index].flags) << index;
    }
}

INSTANTIATE_TEST_SUITE_P(TypeLibrary, CoclassContent, ::testing::ValuesIn(Expected::coclasses),
                         [](const auto& entry) { return testName(entry.param.name); });

TEST_P(EnumerationContent, HasItsValues)
{
    const Expected::Enumeration& expected = GetParam();
    TypeInfoView named = library().find(expected.name);
    ASSERT_TRUE(named.valid()) << "not in the library";
    TypeInfoView enumeration = named;
    if (expected.guid == nullptr) {
        // Named only through its alias; the enumeration itself has a generated name.
        auto alias = named.attr();
        ASSERT_EQ(alias->typekind, TKIND_ALIAS);
        ASSERT_EQ(alias->tdescAlias.vt, VT_USERDEFINED);
        Microsoft::WRL::ComPtr<ITypeInfo> target;
        ASSERT_EQ(named.get()->GetRefTypeInfo(alias->tdescAlias.hreftype, &target), S_OK);
        enumeration = TypeInfoView(target);
        EXPECT_NE(enumeration.name(), expected.name);
    } else {
        EXPECT_EQ(named.guidText(), expected.guid);
    }
    ASSERT_EQ(enumeration.attr()->typekind, TKIND_ENUM);
    EXPECT_EQ(constantsOf(enumeration), asPairs(expected.values));
}

INSTANTIATE_TEST_SUITE_P(TypeLibrary, EnumerationContent, ::testing::ValuesIn(Expected::enumerations),
                         [](const auto& entry) { return testName(entry.param.name); });

TEST(TypeLibraryModule, UCConstantsHoldsTheFourConstants)
{
    TypeInfoView module = library().find(L"UCConstants");
    ASSERT_TRUE(module.valid());
    auto attributes = module.attr();
    EXPECT_EQ(attributes->typekind, TKIND_MODULE);
    EXPECT_EQ(attributes->cFuncs, 0);
    EXPECT_EQ(constantsOf(module), asPairs(Expected::moduleConstants));
}

TEST(TypeLibraryEdgeCases, ItemIsTheDefaultMemberOfTheContactInformationDictionary)
{
    TypeInfoView dictionary = library().find(L"IUCCContactInformationDictionary");
    ASSERT_TRUE(dictionary.valid());
    LPOLESTR name = const_cast<LPOLESTR>(L"Item");
    MEMBERID id = -1;
    ASSERT_EQ(dictionary.get()->GetIDsOfNames(&name, 1, &id), S_OK);
    EXPECT_EQ(id, DISPID_VALUE);
}

TEST(TypeLibraryEdgeCases, LyncClientDerivesFromClientAndSignsInFromSlotFourteen)
{
    TypeInfoView client = library().find(L"IUCCLyncClient").vtableView();
    ASSERT_TRUE(client.valid());
    EXPECT_EQ(client.implemented(0).name(), L"IUCCClient");
    auto signIn = client.function(0);
    ASSERT_NE(signIn, nullptr);
    EXPECT_EQ(client.memberName(signIn->memid), L"SignIn");
    EXPECT_EQ(signIn->oVft, static_cast<SHORT>(14 * sizeof(void*)));
}

TEST(TypeLibraryEdgeCases, NumberNormalisationContactHasAFixedClsidOfItsOwn)
{
    TypeInfoView coclass = library().find(L"UCCNumberNormalisationContact");
    ASSERT_TRUE(coclass.valid());
    EXPECT_EQ(coclass.guidText(), L"{836BE4D5-B308-495C-8123-BE4A1973B341}");
    EXPECT_TRUE(IsEqualGUID(CLSID_UCCNumberNormalisationContact, coclass.attr()->guid));
    EXPECT_EQ(coclass.implemented(0).name(), L"IUCCContact");
}
