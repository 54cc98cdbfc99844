#pragma once

#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

// The object Office asks to open a conversation: an instant-message conversation or a
// call in the messenger, for the people a contact card or a mail names. It checks
// Office's arrays and hands the request to the host; nothing comes back to Office but
// the result. Every other automation request is declined.
class UCCAutomation : public orvex::com::CComObjectRootEx,
                      public orvex::com::IDispatchImpl<IUCCAutomation> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCAutomation, IDispatch>;

    UCCAutomation();
    ~UCCAutomation() override;

    HRESULT STDMETHODCALLTYPE LaunchAddContactWizard(BSTR contactEmail) noexcept override;
    // The conversation window is never written: the messenger opens its own.
    HRESULT STDMETHODCALLTYPE StartConversation(AutomationModalities conversationModes, SAFEARRAY* participantUris,
                                                SAFEARRAY* contextTypes, SAFEARRAY* contextDatas,
                                                IUCCConversationWindow** window) noexcept override;
    HRESULT STDMETHODCALLTYPE JoinConference(BSTR conferenceUrl, IUCCConversationWindow** window) noexcept override;
    HRESULT STDMETHODCALLTYPE StartConversationEx(AutomationModalities conversationModes, SAFEARRAY* participantUris,
                                                  SAFEARRAY* contextTypes, SAFEARRAY* contextDatas,
                                                  IUnknown* callback, VARIANT state,
                                                  IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE JoinConferenceEx(BSTR conferenceUrl, LONG parentHWND, IUnknown* callback,
                                               VARIANT state,
                                               IUCCAsynchronousOperation** asyncOperation) noexcept override;
    HRESULT STDMETHODCALLTYPE GetConversationWindow(IUCCConversation* conversation,
                                                    IUCCConversationWindow** window) noexcept override;
};
