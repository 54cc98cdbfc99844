#include "contacts/UCCContactInformationChangedEventData.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

#include <mutex>
#include <shared_mutex>

namespace {

constexpr char kLogSource[] = "UCCContactInformationChangedEventData";

} // namespace

UCCContactInformationChangedEventData::UCCContactInformationChangedEventData()
    : changedTypes(orvex::com::SafeArray::create(VT_I4, 0))
{
    ORVEX_LOG(LogLevel::Debug, "UCCContactInformationChangedEventData::UCCContactInformationChangedEventData",
              "Constructor: " << LogAddress{this});
}

UCCContactInformationChangedEventData::~UCCContactInformationChangedEventData()
{
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContactInformationChangedEventData::~UCCContactInformationChangedEventData",
                  "Destructor: " << LogAddress{this});
    });
}

HRESULT UCCContactInformationChangedEventData::get_ChangedContactInformation(SAFEARRAY** types) noexcept
{
    return orvex::com::guardComCall([&] {
        if (types == nullptr) {
            return E_POINTER;
        }
        std::shared_lock guard(lock);
        *types = orvex::com::SafeArray::copyOf(changedTypes.get()).detach();
        return S_OK;
    });
}

void UCCContactInformationChangedEventData::append(ContactInformationType type)
{
    LONG value = static_cast<LONG>(type);
    std::unique_lock guard(lock);
    changedTypes.append(&value);
}
