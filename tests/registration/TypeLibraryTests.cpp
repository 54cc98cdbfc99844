// The type library as the built DLL carries it: resources, library attributes, the
// families of type infos, and the IID table of the registration diagnostics.
#include "client/com/Bstr.h"
#include "registration/ExpectedInterfaces.h"
#include "tests/registration/TypeLibraryFile.h"

#include <OfficeIntegrationLib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

// Unloading frees the module even when a check fails half-way.
struct ModuleRelease {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using DataModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleRelease>;

DataModule loadAsData(const std::wstring& path)
{
    return DataModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::string_view resourceBytes(HMODULE module, const wchar_t* type, WORD id)
{
    HRSRC resource = FindResourceExW(module, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (resource == nullptr) {
        return {};
    }
    HGLOBAL data = LoadResource(module, resource);
    return {static_cast<const char*>(LockResource(data)), SizeofResource(module, resource)};
}

class EmbeddedTypeLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library = std::make_unique<TypeLibraryFile>(TypeLibraryFile::productPath()); }
    static void TearDownTestSuite() { library.reset(); }

    void SetUp() override { ASSERT_EQ(library->loadResult(), S_OK) << "LoadTypeLib on the DLL's own path"; }

    static std::unique_ptr<TypeLibraryFile> library;
};

std::unique_ptr<TypeLibraryFile> EmbeddedTypeLibrary::library;

} // namespace

TEST(TypeLibraryResources, TheDllCarriesTheTypeLibraryAndTheEmptyRegistryScriptInUsEnglish)
{
    DataModule module = loadAsData(TypeLibraryFile::productPath());
    ASSERT_NE(module, nullptr);

    std::string_view typelib = resourceBytes(module.get(), L"TYPELIB", 1);
    ASSERT_GE(typelib.size(), 20u);
    EXPECT_EQ(typelib.substr(0, 4), "MSFT");
    // The header's two locale fields: the compiler's locale, and the library's (none).
    std::uint32_t locales[2] = {};
    std::memcpy(locales, typelib.data() + 12, sizeof(locales));
    EXPECT_EQ(locales[0], 0x409u);
    EXPECT_EQ(locales[1], 0u);

    EXPECT_EQ(resourceBytes(module.get(), L"REGISTRY", 101), std::string_view("HKCR\n{\n}\n"));
}

TEST_F(EmbeddedTypeLibrary, LibraryAttributesIdentifyOfficeIntegrationLib)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->get()->GetLibAttr(&attributes), S_OK);
    const TLIBATTR copy = *attributes;
    library->get()->ReleaseTLibAttr(attributes);

    wchar_t libid[40] = {};
    StringFromGUID2(copy.guid, libid, 40);
    EXPECT_STREQ(libid, L"{9D5662DE-96CC-471F-94F0-E00E05457627}");
    EXPECT_TRUE(IsEqualGUID(copy.guid, LIBID_OfficeIntegrationLib));
    EXPECT_EQ(copy.wMajorVerNum, 1);
    EXPECT_EQ(copy.wMinorVerNum, 0);
    EXPECT_EQ(copy.lcid, 0u);
    // The test build is 64-bit; the shipped 32-bit library is checked below.
    EXPECT_EQ(copy.syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    // oleaut32 adds "has disk image" to every library it reads from a file.
    EXPECT_EQ(copy.wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);

    orvex::com::Bstr name;
    orvex::com::Bstr help;
    orvex::com::Bstr helpFile;
    DWORD context = 1;
    ASSERT_EQ(library->get()->GetDocumentation(-1, name.out(), help.out(), &context, helpFile.out()), S_OK);
    EXPECT_EQ(name.view(), L"OfficeIntegrationLib");
    EXPECT_TRUE(help.isNull());
    EXPECT_TRUE(helpFile.isNull());
    EXPECT_EQ(context, 0u);
}

TEST_F(EmbeddedTypeLibrary, HoldsTheFamiliesOfTypeInfosInTheirCounts)
{
    std::map<TYPEKIND, int> byKind;
    int dual = 0;
    int withHelp = 0;
    std::set<std::wstring> withoutHelp;
    for (UINT index = 0; index < library->count(); ++index) {
        TypeInfoView info = library->at(index);
        auto attributes = info.attr();
        ASSERT_NE(attributes, nullptr) << index;
        ++byKind[attributes->typekind];
        if (attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL)) {
            ++dual;
        }
        if (info.hasHelp()) {
            ++withHelp;
        } else {
            withoutHelp.insert(info.name());
        }
    }
    EXPECT_EQ(library->count(), 753u);
    EXPECT_EQ(byKind[TKIND_DISPATCH], 284);
    EXPECT_EQ(dual, 218);
    EXPECT_EQ(byKind[TKIND_DISPATCH] - dual, 66);
    EXPECT_EQ(byKind[TKIND_INTERFACE], 3);
    EXPECT_EQ(byKind[TKIND_COCLASS], 210);
    EXPECT_EQ(byKind[TKIND_ENUM], 129);
    EXPECT_EQ(byKind[TKIND_ALIAS], 126);
    EXPECT_EQ(byKind[TKIND_MODULE], 1);
    EXPECT_EQ(byKind[TKIND_RECORD] + byKind[TKIND_UNION], 0);

    EXPECT_EQ(withHelp, 726);
    // The standard interface has none; every type of the library's own carries one.
    EXPECT_TRUE(withoutHelp.count(L"IClassFactory"));
    for (const wchar_t* own : {L"OfficeIntegrationImpl", L"ClassFactory", L"UCConstants", L"UCCNumberNormalisationContact",
                               L"ILog", L"LOG_LEVEL", L"_IIMAndPresenceEvents", L"IEventListenerManager"}) {
        EXPECT_FALSE(withoutHelp.count(own)) << own;
    }
    // A published type without help: its anonymous enumeration and its alias both lack it.
    EXPECT_TRUE(withoutHelp.count(L"ContactAvailability"));
}

TEST_F(EmbeddedTypeLibrary, EachAliasNamesItsOwnAnonymousEnumerationWrittenJustBeforeIt)
{
    std::set<std::wstring> aliased;
    int aliases = 0;
    for (UINT index = 0; index < library->count(); ++index) {
        TypeInfoView alias = library->at(index);
        auto attributes = alias.attr();
        if (attributes->typekind != TKIND_ALIAS) {
            continue;
        }
        ++aliases;
        ASSERT_EQ(attributes->tdescAlias.vt, VT_USERDEFINED) << alias.name();
        Microsoft::WRL::ComPtr<ITypeInfo> target;
        ASSERT_EQ(alias.get()->GetRefTypeInfo(attributes->tdescAlias.hreftype, &target), S_OK);
        TypeInfoView enumeration(target);
        EXPECT_EQ(enumeration.attr()->typekind, TKIND_ENUM) << alias.name();
        EXPECT_EQ(enumeration.name(), library->at(index - 1).name()) << alias.name() << " follows its enumeration";
        EXPECT_EQ(enumeration.help(), alias.help()) << alias.name();
        EXPECT_TRUE(aliased.insert(enumeration.name()).second) << enumeration.name() << " aliased twice";
    }
    EXPECT_EQ(aliases, 126);
    for (const wchar_t* named : {L"LOG_LEVEL", L"CONTACT_CHANGED_PROPERTY", L"PRESENCE_STATE"}) {
        EXPECT_FALSE(aliased.count(named)) << named;
    }
}

TEST_F(EmbeddedTypeLibrary, TheMessengersOwnFifteenTypesFormOneGroupInLibraryOrder)
{
    const std::set<std::wstring> group = {
        L"ITVXExtensionProviderClassFactory", L"ILog", L"ITransaction", L"IProviderManagement", L"IPhone",
        L"IIMAndPresence", L"IContact", L"_IContactEvents", L"IContacts", L"IPresenceState",
        L"_IIMAndPresenceEvents", L"IEventListenerManager", L"LOG_LEVEL", L"CONTACT_CHANGED_PROPERTY",
        L"PRESENCE_STATE"};
    UINT first = library->count();
    UINT last = 0;
    for (UINT index = 0; index < library->count(); ++index) {
        if (group.count(library->at(index).name())) {
            first = std::min(first, index);
            last = std::max(last, index);
        }
    }
    EXPECT_EQ(last - first + 1, group.size());
    EXPECT_EQ(library->at(first).name(), L"ITVXExtensionProviderClassFactory");
    EXPECT_EQ(library->at(last).name(), L"IEventListenerManager");
}

TEST_F(EmbeddedTypeLibrary, EveryRowOfTheExpectedInterfacesTableIsALibraryInterfaceWithThatIid)
{
    std::set<std::wstring> checked;
    for (const auto& row : Utils::Registry::ExpectedInterfaces) {
        TypeInfoView info = library->find(row.name);
        ASSERT_TRUE(info.valid()) << row.name;
        const TYPEKIND kind = info.attr()->typekind;
        EXPECT_TRUE(kind == TKIND_DISPATCH || kind == TKIND_INTERFACE) << row.name;
        EXPECT_EQ(info.guidText(), row.iid) << row.name;
        EXPECT_TRUE(checked.insert(row.name).second) << row.name << " listed twice";
    }

    // The interfaces the table leaves out are exactly these.
    std::set<std::wstring> leftOut;
    for (UINT index = 0; index < library->count(); ++index) {
        TypeInfoView info = library->at(index);
        const TYPEKIND kind = info.attr()->typekind;
        if ((kind == TKIND_DISPATCH || kind == TKIND_INTERFACE) && !checked.count(info.name())) {
            leftOut.insert(info.name());
        }
    }
    const std::set<std::wstring> expected = {
        L"IUCCVideoWindow", L"ITVXExtensionProviderClassFactory", L"ILog", L"ITransaction",
        L"IProviderManagement", L"IPhone", L"IIMAndPresence", L"IContact", L"_IContactEvents", L"IContacts",
        L"IPresenceState", L"_IIMAndPresenceEvents", L"IEventListenerManager", L"IClassFactory"};
    EXPECT_EQ(leftOut, expected);
}

TEST(ShippedTypeLibrary, TheThirtyTwoBitBuildDescribesWin32WithTheSameContent)
{
    // The same IDL compiled as the 32-bit product compiles it.
    TypeLibraryFile win32(TypeLibraryFile::windowsPath(ORVEX_WIN32_TLB));
    ASSERT_EQ(win32.loadResult(), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(win32.get()->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_OfficeIntegrationLib));
    win32.get()->ReleaseTLibAttr(attributes);
    ASSERT_EQ(win32.count(), 753u);

    // Type info by type info, the same as the library the tests read from the DLL.
    TypeLibraryFile embedded(TypeLibraryFile::productPath());
    ASSERT_EQ(embedded.count(), win32.count());
    for (UINT index = 0; index < win32.count(); ++index) {
        TypeInfoView mine = win32.at(index);
        TypeInfoView other = embedded.at(index);
        ASSERT_EQ(mine.name(), other.name()) << index;
        EXPECT_EQ(mine.guidText(), other.guidText()) << index;
        EXPECT_EQ(mine.attr()->typekind, other.attr()->typekind) << index;
        EXPECT_EQ(mine.attr()->cFuncs, other.attr()->cFuncs) << index;
    }
}
