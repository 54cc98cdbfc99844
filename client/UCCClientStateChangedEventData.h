#pragma once

#include "client/com/Atl.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

// One change of the client's sign-in state, as OnStateChanged carries it to Office.
class UCCClientStateChangedEventData
    : public orvex::com::CComObjectRootEx,
      public orvex::com::IDispatchImpl<IUCCClientStateChangedEventData> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCClientStateChangedEventData, IDispatch>;

    void setStates(ClientState oldValue, ClientState newValue) noexcept;

    HRESULT STDMETHODCALLTYPE get_NewState(ClientState* value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_OldState(ClientState* value) noexcept override;
    // The change always succeeded: there is no status to report.
    HRESULT STDMETHODCALLTYPE get_StatusCode(LONG* status) noexcept override;

private:
    // Sinks may keep the object and read it from other threads.
    mutable SlimReaderWriterLock dataLock;
    ClientState oldState = ucClientStateUninitialized;
    ClientState newState = ucClientStateUninitialized;
};
