#pragma once

#include "client/UCCClientStateChangedEventData.h"
#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

#include <array>

// The client's events. Of them Office only ever receives OnStateChanged; the client
// never signs in, is never delayed and never asks for credentials.
template <class T>
class UCCLyncClientEventsProxy : public orvex::com::IConnectionPointImpl<T, &DIID__IUCCLyncClientEvents> {
public:
    static constexpr DISPID kOnStateChanged = 100;

    // Tells every sink about one change of state, with the client and the change as
    // IUnknown arguments. Nothing is fired when the event data cannot be made.
    virtual HRESULT fireOnStateChanged(ClientState oldState, ClientState newState) noexcept
    {
        Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCClientStateChangedEventData>> eventData;
        if (FAILED(orvex::com::CComObject<UCCClientStateChangedEventData>::CreateInstance(eventData))) {
            return E_OUTOFMEMORY;
        }
        eventData->setStates(oldState, newState);
        IUnknown* const data = static_cast<IUCCClientStateChangedEventData*>(eventData.Get());
        const std::array arguments{orvex::com::unknownArgument(static_cast<T*>(this)->eventSource()),
                                   orvex::com::unknownArgument(data)};
        return this->fire(kOnStateChanged, arguments);
    }

protected:
    ~UCCLyncClientEventsProxy() = default;
};
