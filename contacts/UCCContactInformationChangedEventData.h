#pragma once

#include "client/com/Atl.h"
#include "client/com/SafeArray.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

// The event data of OnContactInformationChanged: the information types that changed,
// in the order they were added, repetitions kept. Several sinks may read it on the
// host's thread while the event is being fired.
class UCCContactInformationChangedEventData
    : public orvex::com::CComObjectRootEx,
      public orvex::com::IDispatchImpl<IUCCContactInformationChangedEventData> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCContactInformationChangedEventData, IDispatch>;

    // Starts with an empty list; a failed allocation makes creation fail.
    UCCContactInformationChangedEventData();
    ~UCCContactInformationChangedEventData() override;

    // A copy of the list (a one-dimensional SAFEARRAY of VT_I4), empty when nothing changed.
    HRESULT STDMETHODCALLTYPE get_ChangedContactInformation(SAFEARRAY** types) noexcept override;

    // Raises ComError when the list cannot grow.
    void append(ContactInformationType type);

private:
    mutable SlimReaderWriterLock lock;
    orvex::com::SafeArray changedTypes;
};
