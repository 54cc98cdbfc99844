#include "client/UCCAutomation.h"

#include "client/StartConversationInputParser.h"
#include "client/com/ComError.h"
#include "host/HostLog.h"
#include "host/HostHelper.h"

#include <string>
#include <vector>

namespace {

constexpr char kLogSource[] = "UCCAutomation";

} // namespace

UCCAutomation::UCCAutomation()
{
    ORVEX_LOG(LogLevel::Debug, "UCCAutomation::UCCAutomation", "Constructor: " << LogAddress{this});
}

UCCAutomation::~UCCAutomation()
{
    orvex::com::guardCallback(
        [this] { ORVEX_LOG(LogLevel::Debug, "UCCAutomation::~UCCAutomation", "Destructor: " << LogAddress{this}); });
}

HRESULT UCCAutomation::LaunchAddContactWizard(BSTR) noexcept { return E_NOTIMPL; }

HRESULT UCCAutomation::StartConversation(AutomationModalities conversationModes, SAFEARRAY* participantUris,
                                         SAFEARRAY* contextTypes, SAFEARRAY* contextDatas,
                                         IUCCConversationWindow**) noexcept
{
    return orvex::com::guardComCall([&]() -> HRESULT {
        const StartConversationInputParser parser(participantUris, contextTypes, contextDatas);
        if (!parser.valid) {
            ORVEX_LOG(LogLevel::Error, "UCCAutomation::StartConversation",
                      "Invalid arguments passed to StartConversation");
            return E_INVALIDARG;
        }
        const std::string subject = parser.subject.toUtf8();
        switch (conversationModes) {
        case uiaConversationModeInstantMessage:
            if (const auto helper = HostHelper::current()) {
                helper->startInstantMessage(parser.participantUris, subject);
            }
            break;
        // The messenger tells audio and video calls apart itself.
        case uiaConversationModeAudio:
        case uiaConversationModeVideo: {
            // A call to one person may name the device to ring; it then stands in
            // for that person.
            const bool toEndpoint = !parser.endpointUri.empty() && parser.participantCount == 1;
            const std::vector<std::string> callees =
                toEndpoint ? std::vector<std::string>{parser.endpointUri.toUtf8()} : parser.participantUris;
            if (const auto helper = HostHelper::current()) {
                helper->startCall(callees);
            }
            break;
        }
        default:
            // File transfer, sharing and combined modes are not the messenger's to start
            // from Office.
            break;
        }
        return S_OK;
    });
}

HRESULT UCCAutomation::JoinConference(BSTR, IUCCConversationWindow**) noexcept { return E_NOTIMPL; }

HRESULT UCCAutomation::StartConversationEx(AutomationModalities, SAFEARRAY*, SAFEARRAY*, SAFEARRAY*, IUnknown*,
                                           VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCAutomation::JoinConferenceEx(BSTR, LONG, IUnknown*, VARIANT, IUCCAsynchronousOperation**) noexcept
{
    return E_NOTIMPL;
}

HRESULT UCCAutomation::GetConversationWindow(IUCCConversation*, IUCCConversationWindow**) noexcept
{
    return E_NOTIMPL;
}
