#include "contacts/UCCContactInformationDictionary.h"

#include "client/com/ComError.h"
#include "host/HostLog.h"

using orvex::com::guardComCall;

namespace {

constexpr char kLogSource[] = "UCCContactInformationDictionary";

} // namespace

UCCContactInformationDictionary::UCCContactInformationDictionary()
{
    ORVEX_LOG(LogLevel::Debug, "UCCContactInformationDictionary::UCCContactInformationDictionary",
              "Constructor: " << LogAddress{this});
}

UCCContactInformationDictionary::~UCCContactInformationDictionary()
{
    orvex::com::guardCallback([&] {
        ORVEX_LOG(LogLevel::Debug, "UCCContactInformationDictionary::~UCCContactInformationDictionary",
                  "Destructor: " << LogAddress{this});
    });
}

HRESULT UCCContactInformationDictionary::get_Values(SAFEARRAY** values) noexcept
{
    return guardComCall([&] { return dictionary.get_Values(values); });
}

HRESULT UCCContactInformationDictionary::get_Count(LONG* count) noexcept
{
    return guardComCall([&] { return dictionary.get_Count(count); });
}

HRESULT UCCContactInformationDictionary::get_Item(ContactInformationType key, VARIANT* value) noexcept
{
    return guardComCall([&] { return dictionary.get_Item(key, value); });
}

HRESULT UCCContactInformationDictionary::get_Keys(SAFEARRAY** keys) noexcept
{
    return guardComCall([&] { return dictionary.get_Keys(keys); });
}

HRESULT UCCContactInformationDictionary::TryGetValue(ContactInformationType key, VARIANT* value,
                                                     VARIANT_BOOL* found) noexcept
{
    return guardComCall([&] { return dictionary.TryGetValue(key, value, found); });
}

HRESULT UCCContactInformationDictionary::GetKeyAt(LONG index, ContactInformationType* key) noexcept
{
    return guardComCall([&] { return dictionary.GetKeyAt(index, key); });
}

HRESULT UCCContactInformationDictionary::GetValueAt(LONG index, VARIANT* value) noexcept
{
    return guardComCall([&] { return dictionary.GetValueAt(index, value); });
}

HRESULT UCCContactInformationDictionary::ContainsKey(ContactInformationType key, VARIANT_BOOL* found) noexcept
{
    return guardComCall([&] { return dictionary.ContainsKey(key, found); });
}

void UCCContactInformationDictionary::add(ContactInformationType key, orvex::com::Variant value)
{
    dictionary.add(key, std::move(value));
}
