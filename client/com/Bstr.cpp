#include "client/com/Bstr.h"

#include "client/com/ComError.h"
#include "host/TextConversion.h"

#include <climits>
#include <utility>

namespace orvex::com {

namespace {

BSTR allocate(std::wstring_view text)
{
    if (text.size() > UINT_MAX / sizeof(wchar_t)) {
        throw ComError(E_OUTOFMEMORY);
    }
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value == nullptr) {
        throw ComError(E_OUTOFMEMORY);
    }
    return value;
}

} // namespace

Bstr::Bstr(std::wstring_view text) : value_(allocate(text)) {}

Bstr::Bstr(const Bstr& other) : value_(copyOf(other.value_).detach()) {}

Bstr& Bstr::operator=(Bstr other) noexcept
{
    std::swap(value_, other.value_);
    return *this;
}

Bstr::~Bstr() { SysFreeString(value_); }

Bstr Bstr::fromUtf8(std::string_view utf8)
{
    if (utf8.empty()) {
        return {};
    }
    return Bstr(TextConversion::toWide(utf8));
}

Bstr Bstr::copyOf(BSTR source)
{
    if (source == nullptr) {
        return {};
    }
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
    if (copy == nullptr) {
        throw ComError(E_OUTOFMEMORY);
    }
    return attach(copy);
}

Bstr Bstr::attach(BSTR owned) noexcept
{
    Bstr result;
    result.value_ = owned;
    return result;
}

BSTR Bstr::detach() noexcept { return std::exchange(value_, nullptr); }

BSTR* Bstr::out() noexcept
{
    SysFreeString(std::exchange(value_, nullptr));
    return &value_;
}

std::string Bstr::toUtf8() const { return TextConversion::toUtf8(view()); }

} // namespace orvex::com
