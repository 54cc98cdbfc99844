#pragma once

// The COM object machinery every object Office sees is built on, with the owners of
// BSTRs, VARIANTs and SAFEARRAYs and the guards at COM's edges, all in the one namespace
// orvex::com, so that its names never meet another library's.
//
// A class declares its bases in order, its interface table and, when it raises events,
// its connection points; CComObject<T> makes it a COM object.
//
//     #include "client/com/Atl.h"
//     #include "OfficeIntegrationLib.h"
//
//     // The event proxy: the connection point of one event interface and its fire
//     // operations. Object arguments travel as IDispatch (dispatchArgument) or IUnknown
//     // (unknownArgument), as the event's class chooses, listed in declared order.
//     template <class T>
//     class UCCContactEventsProxy : public orvex::com::IConnectionPointImpl<T, &DIID__IUCCContactEvents> {
//     public:
//         HRESULT fireOnContactInformationChanged(IUnknown* source, IUnknown* data) noexcept
//         {
//             const std::array arguments{orvex::com::dispatchArgument(source), orvex::com::dispatchArgument(data)};
//             return this->fire(400, arguments);
//         }
//     };
//
//     class UCCContact : public orvex::com::CComObjectRootEx,
//                        public orvex::com::IDispatchImpl<IUCCContact>,      // dual: IDispatch from the type library
//                        public orvex::com::IConnectionPointContainerImpl<UCCContact>,
//                        public UCCContactEventsProxy<UCCContact> {
//     public:
//         // QueryInterface answers these, in this order; the first also answers IUnknown.
//         // Via<> names the base through which an interface inherited twice is answered.
//         using InterfaceTable = orvex::com::InterfaceTable<IUCCContact, orvex::com::Via<IDispatch, IUCCContact>,
//                                                           IConnectionPointContainer>;
//         using ConnectionPointTable = orvex::com::ConnectionPointTable<UCCContactEventsProxy<UCCContact>>;
//
//         UCCContact();              // may throw: creation then answers E_OUTOFMEMORY
//         ~UCCContact() override;    // runs after FinalRelease, once the module was unlocked
//
//         // Optional: runs when the last reference has gone, with the object still whole.
//         void FinalRelease() noexcept;
//
//         // IUCCContact's own methods (slots 7 on) follow; IUnknown comes from CComObject
//         // and IDispatch from IDispatchImpl.
//         HRESULT STDMETHODCALLTYPE get_Uri(BSTR* uri) noexcept override;
//         ...
//     };
//
// Creating an object: the wrapper hands it out with a count of 0; the ComPtr overload
// holds the first reference.
//
//     Microsoft::WRL::ComPtr<orvex::com::CComObject<UCCContact>> contact;
//     if (FAILED(orvex::com::CComObject<UCCContact>::CreateInstance(contact))) { ... }
//     Microsoft::WRL::ComPtr<IUCCContact> asContact = contact.Get();
//     contact->fireOnContactInformationChanged(asContact.Get(), eventData.Get());
//
// Every method of the machinery is noexcept; class methods that Office calls must not
// let an exception out either (orvex::com::guardComCall).

#include "client/com/CComObject.h"
#include "client/com/CComObjectRootEx.h"
#include "client/com/ComError.h"
#include "client/com/IConnectionPointContainerImpl.h"
#include "client/com/IConnectionPointImpl.h"
#include "client/com/IDispatchImpl.h"
#include "client/com/Implements.h"
#include "client/com/InterfaceTable.h"
