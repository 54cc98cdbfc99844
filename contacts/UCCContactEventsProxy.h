#pragma once

#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

#include <array>

// The connection point of a contact's events and their one fire operation.
template <class T>
class UCCContactEventsProxy : public orvex::com::IConnectionPointImpl<T, &DIID__IUCCContactEvents> {
public:
    static constexpr DISPID kOnContactInformationChanged = 400;

    // Both arguments reach the sinks as IDispatch.
    HRESULT fireOnContactInformationChanged(IUnknown* source, IUnknown* eventData) noexcept
    {
        const std::array arguments{orvex::com::dispatchArgument(source), orvex::com::dispatchArgument(eventData)};
        return this->fire(kOnContactInformationChanged, arguments);
    }
};
