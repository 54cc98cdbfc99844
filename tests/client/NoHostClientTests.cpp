// The client objects in a process whose host never handed the library a helper.
#include "client/UCCAutomation.h"
#include "client/UCOfficeIntegration.h"
#include "client/com/Bstr.h"
#include "tests/client/ConversationArrays.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
using orvex::atl::CComObject;
using orvex::com::Bstr;
using Arrays = ConversationArrays;
using namespace std::string_literals;

namespace {

class NoHostClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_HRESULT_SUCCEEDED(CComObject<UCOfficeIntegration>::CreateInstance(object));
        object->initialise();
    }

    ComPtr<IDispatch> requestInterface(OIInterface requested)
    {
        ComPtr<IDispatch> value;
        EXPECT_EQ(object->GetInterface(nullptr, requested, &value), S_OK);
        return value;
    }

    ComPtr<CComObject<UCOfficeIntegration>> object;
};

} // namespace

TEST_F(NoHostClientTest, TheClientHasNoUriToGive)
{
    ComPtr<IUCCLyncClient> client;
    ASSERT_HRESULT_SUCCEEDED(requestInterface(oiInterfaceIUCCLyncClient).As(&client));
    BSTR untouched = reinterpret_cast<BSTR>(std::uintptr_t{0x99});
    BSTR uri = untouched;
    EXPECT_EQ(client->get_Uri(&uri), E_FAIL);
    EXPECT_EQ(uri, untouched);

    ComPtr<IUCCSelf> self;
    ASSERT_HRESULT_SUCCEEDED(client->get_Self(&self));
    ComPtr<IUCCContact> contact;
    EXPECT_EQ(self->get_Contact(&contact), E_FAIL) << "the contact manager's answer without a host";
}

TEST_F(NoHostClientTest, ConversationsAreAcceptedAndGoNowhere)
{
    ComPtr<IUCCAutomation> automation;
    ASSERT_HRESULT_SUCCEEDED(requestInterface(oiInterfaceIUCCAutomation).As(&automation));
    const auto participants = Arrays::strings({L"a@example.org"s});
    const auto types = Arrays::int32s({});
    const auto datas = Arrays::variants({});
    for (const auto modes : {uiaConversationModeInstantMessage, uiaConversationModeAudio}) {
        IUCCConversationWindow* window = nullptr;
        EXPECT_EQ(automation->StartConversation(modes, participants.get(), types.get(), datas.get(), &window), S_OK);
        EXPECT_EQ(window, nullptr);
    }
}
