#include "contacts/UCCLocaleString.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

#include <mutex>
#include <shared_mutex>

namespace {

constexpr char kLogSource[] = "UCCLocaleString";

} // namespace

UCCLocaleString::UCCLocaleString()
{
    ORVEX_LOG(LogLevel::Debug, "UCCLocaleString::UCCLocaleString", "Constructor: " << LogAddress{this});
}

UCCLocaleString::~UCCLocaleString()
{
    orvex::com::guardCallback(
        [&] { ORVEX_LOG(LogLevel::Debug, "UCCLocaleString::~UCCLocaleString", "Destructor: " << LogAddress{this}); });
}

HRESULT UCCLocaleString::get_LocaleId(LONG* localeId) noexcept
{
    return orvex::com::guardComCall([&] {
        if (localeId == nullptr) {
            ORVEX_LOG(LogLevel::Error, "UCCLocaleString::get_LocaleId", "Invalid argument");
            return E_INVALIDARG;
        }
        *localeId = -1;
        return S_OK;
    });
}

HRESULT UCCLocaleString::get_Value(BSTR* result) noexcept
{
    return orvex::com::guardComCall([&] {
        if (result == nullptr) {
            ORVEX_LOG(LogLevel::Error, "UCCLocaleString::get_Value", "Invalid argument");
            return E_INVALIDARG;
        }
        std::shared_lock guard(lock);
        *result = orvex::com::Bstr::copyOf(value.get()).detach();
        return S_OK;
    });
}

void UCCLocaleString::setValue(BSTR text)
{
    auto copy = orvex::com::Bstr::copyOf(text);
    std::unique_lock guard(lock);
    value = std::move(copy);
}
