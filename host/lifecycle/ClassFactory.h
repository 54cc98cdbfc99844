#pragma once

#include "client/UCOfficeIntegration.h"
#include "client/com/Atl.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

#include <unknwn.h>
#include <wrl/client.h>

// The provider's class object, registered with COM while the integration runs. Every
// activation by Office receives the same integration object for as long as this factory
// lives; a new factory (a new start) begins with none. A request for an interface the
// object does not answer fails without taking the object from those it was handed to.
class ClassFactory : public orvex::com::CComObjectRootEx,
                     public orvex::com::Implements<IClassFactory> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IClassFactory>;
    using IntegrationObject = orvex::com::CComObject<UCOfficeIntegration>;

    ClassFactory();
    ~ClassFactory() override;

    // The integration object handed to Office, if any, read under the factory's lock.
    Microsoft::WRL::ComPtr<IntegrationObject> officeIntegrationObject();

    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

private:
    // The held integration object as `iid`, created and kept on the first request that
    // it answers.
    HRESULT handOut(REFIID iid, void** object);

    SlimReaderWriterLock lock;
    Microsoft::WRL::ComPtr<IntegrationObject> officeIntegration;
};
