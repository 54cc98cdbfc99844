#pragma once

#include "client/com/Atl.h"
#include "contacts/IContactDetails.h"
#include "contacts/IContactResolver.h"
#include "contacts/UCCContactManagerEventsProxy.h"
#include "host/SlimReaderWriterLock.h"

#include "OfficeIntegrationLib.h"

#include <wrl/client.h>

#include <memory>

// The client's contact manager: turns Office's addresses into watched contact objects.
// It keeps no cache: every request builds a new contact with a watch of its own, and
// caching presence is the host's business. Only e-mail-style addresses (with an "@") are
// accepted.
//
// Create it with orvex::com::CComObject<UCCContactManager>::CreateInstance and install
// the shared resolver with setResolver before Office can reach it.
class UCCContactManager : public orvex::com::CComObjectRootEx,
                          public orvex::com::IDispatchImpl<IUCCContactManager>,
                          public orvex::com::IConnectionPointContainerImpl<UCCContactManager>,
                          public UCCContactManagerEventsProxy<UCCContactManager> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUCCContactManager, IDispatch, IConnectionPointContainer>;
    using ConnectionPointTable = orvex::com::ConnectionPointTable<UCCContactManagerEventsProxy<UCCContactManager>>;

    UCCContactManager();
    ~UCCContactManager() override;

    // Replaces the resolver that contacts created from now on ask the host with.
    void setResolver(std::shared_ptr<IContactResolver> resolver);

    HRESULT STDMETHODCALLTYPE get_Groups(IUCCGroupCollection** groups) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContactByUri(BSTR contactUri, IUCCContact** contact) noexcept override;
    HRESULT STDMETHODCALLTYPE Lookup(BSTR lookupString, IUnknown* callback, VARIANT state,
                                     IUCCAsynchronousOperation** operation) noexcept override;
    // The same subscription object for the manager's lifetime.
    HRESULT STDMETHODCALLTYPE CreateSubscription(IUCCContactSubscription** subscription) noexcept override;
    HRESULT STDMETHODCALLTYPE Search(BSTR searchString, SearchProviders providers, SearchFields fields,
                                     SearchOptions options, ULONG maxResults, IUnknown* callback, VARIANT state,
                                     IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveContactFromAllGroups(IUCCContact* contact, IUnknown* callback, VARIANT state,
                                                         IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSearchProviderID(SearchProviders provider, BSTR* providerId) noexcept override;
    HRESULT STDMETHODCALLTYPE AddCustomGroup(BSTR groupName, IUnknown* callback, VARIANT state,
                                             IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE AddDistributionGroup(IUCCDistributionGroup* group, IUnknown* callback, VARIANT state,
                                                   IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveGroup(IUCCGroup* group, IUnknown* callback, VARIANT state,
                                          IUCCAsynchronousOperation** operation) noexcept override;
    HRESULT STDMETHODCALLTYPE SuspendSubscriptions() noexcept override;
    HRESULT STDMETHODCALLTYPE ResumeSubscriptions() noexcept override;
    HRESULT STDMETHODCALLTYPE GetSearchFields(SearchFields* fields) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSearchProviderStatus(SearchProviders provider,
                                                      SearchProviderStatusType* status) noexcept override;
    HRESULT STDMETHODCALLTYPE GetExpertSearchQueryString(BSTR searchString, BSTR* queryString) noexcept override;
    // A new contact for the signed-in user on every call.
    HRESULT STDMETHODCALLTYPE GetSelfContact(IUCCContact** selfContact) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContactByTel(BSTR telUri, IUCCContact** contact) noexcept override;

private:
    HRESULT CreateContact(BSTR address, IUCCContact** contact);
    HRESULT CreateContact(std::shared_ptr<IContactDetails> details, IUCCContact** contact);
    std::shared_ptr<IContactResolver> currentResolver() const;

    // Office may ask for the subscription from several threads at once.
    mutable SlimReaderWriterLock memberLock;
    Microsoft::WRL::ComPtr<IUCCContactSubscription> subscription;
    std::shared_ptr<IContactResolver> resolver;
};
