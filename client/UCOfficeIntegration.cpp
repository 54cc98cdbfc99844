#include "client/UCOfficeIntegration.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "contacts/ContactResolver.h"
#include "host/HostLog.h"

#include <memory>
#include <string_view>

using orvex::com::CComObject;
using orvex::com::Bstr;

namespace {

constexpr char kLogSource[] = "UCOfficeIntegration";

// The versions of Office the provider works with; any other Office is given an empty
// authentication answer and does not use it.
constexpr std::wstring_view kSupportedVersions[] = {L"15.0.0.0", L"16.0.0.0"};
constexpr wchar_t kAuthenticationInfo[] = L"<authenticationinfo>";

// Presence of people outside the contact list, quick contacts and contact resolution.
constexpr OIFeature kSupportedFeatures =
    static_cast<OIFeature>(oiFeatureNonBuddyPresence | oiFeatureQuickContacts | oiFeatureResolveContact);

} // namespace

UCOfficeIntegration::UCOfficeIntegration()
{
    ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::UCOfficeIntegration", "Constructor: " << LogAddress{this});
    CComObject<UCCLyncClient>::CreateInstance(lyncClient);
    ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::UCOfficeIntegration",
              "Lynch Client: " << LogAddress{lyncClient.Get()});
    CComObject<UCCAutomation>::CreateInstance(automation);
    ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::UCOfficeIntegration",
              "Automation: " << LogAddress{automation.Get()});
}

UCOfficeIntegration::~UCOfficeIntegration()
{
    orvex::com::guardCallback([this] {
        ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::~UCOfficeIntegration", "Destructor: " << LogAddress{this});
    });
    automation.Reset();
    lyncClient.Reset();
}

UCOfficeIntegrationEventsTriggers& UCOfficeIntegration::getEventsTriggers() noexcept { return *this; }

void UCOfficeIntegration::initialise() noexcept
{
    orvex::com::guardCallback([this] {
        ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::initialise", "Enter");
        const std::shared_ptr<IContactResolver> resolver = std::make_shared<ContactResolver>();
        if (lyncClient) {
            lyncClient->wireContacts(resolver);
        }
    });
}

HRESULT UCOfficeIntegration::GetSupportedFeatures(BSTR, OIFeature* features) noexcept
{
    if (features == nullptr) {
        return E_POINTER;
    }
    *features = kSupportedFeatures;
    return S_OK;
}

HRESULT UCOfficeIntegration::GetAuthenticationInfo(BSTR version, BSTR* info) noexcept
{
    if (info == nullptr) {
        return E_POINTER;
    }
    return orvex::com::guardComCall([&] {
        const Bstr officeVersion = Bstr::copyOf(version);
        ORVEX_LOG(LogLevel::Info, "UCOfficeIntegration::GetAuthenticationInfo",
                  "Office Version: " << officeVersion.toUtf8());
        // Compared exactly, character by character: a null version matches nothing.
        bool supported = false;
        for (const std::wstring_view candidate : kSupportedVersions) {
            supported = supported || (!officeVersion.isNull() && officeVersion.view() == candidate);
        }
        // Office tells an unsupported version by the empty (not null) answer.
        *info = Bstr(supported ? kAuthenticationInfo : L"").detach();
        return S_OK;
    });
}

HRESULT UCOfficeIntegration::GetInterface(BSTR, OIInterface requested, IDispatch** value) noexcept
{
    return orvex::com::guardComCall([&] {
        ORVEX_LOG(LogLevel::Info, "UCOfficeIntegration::GetInterface",
                  "Interface Requested: " << static_cast<long>(requested));
        IDispatch* chosen = nullptr;
        if (requested == oiInterfaceIUCCLyncClient && lyncClient) {
            chosen = static_cast<IUCCLyncClient*>(lyncClient.Get());
        } else if (requested == oiInterfaceIUCCAutomation && automation) {
            chosen = static_cast<IUCCAutomation*>(automation.Get());
        }
        if (chosen == nullptr) {
            return E_NOTIMPL;
        }
        if (value == nullptr) {
            return E_POINTER;
        }
        chosen->AddRef();
        *value = chosen;
        return S_OK;
    });
}

HRESULT UCOfficeIntegration::QueryService(REFGUID service, REFIID, void** out) noexcept
{
    return orvex::com::guardComCall([&] {
        // The one service answers with the integration itself, whatever interface is asked for.
        if (!IsEqualGUID(service, kOfficeIntegrationService)) {
            ORVEX_LOG(LogLevel::Error, "UCOfficeIntegration::QueryService", "QueryService failed");
            return E_NOTIMPL;
        }
        if (out == nullptr) {
            return E_POINTER;
        }
        ORVEX_LOG(LogLevel::Debug, "UCOfficeIntegration::QueryService", "QueryService succeeded");
        IUCOfficeIntegration* const self = this;
        self->AddRef();
        *out = self;
        return S_OK;
    });
}
