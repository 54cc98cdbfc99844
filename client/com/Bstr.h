#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

namespace orvex::com {

// The single owner of a BSTR. A null BSTR and an empty one both read as empty text, but
// they stay distinct where Office can tell them apart. Allocation failures are raised
// as ComError(E_OUTOFMEMORY).
class Bstr {
public:
    Bstr() noexcept = default;
    // A zero-length text gives a zero-length (non-null) BSTR.
    explicit Bstr(std::wstring_view text);
    Bstr(const Bstr& other);
    Bstr(Bstr&& other) noexcept : value_(other.detach()) {}
    Bstr& operator=(Bstr other) noexcept;
    ~Bstr();

    // The host's UTF-8 text as a BSTR; an empty text gives a null BSTR.
    static Bstr fromUtf8(std::string_view utf8);
    // A byte-exact copy of a string the caller keeps (embedded NULs and odd byte
    // lengths included); null stays null.
    static Bstr copyOf(BSTR source);
    // Takes ownership of a string the caller hands over.
    static Bstr attach(BSTR owned) noexcept;

    BSTR get() const noexcept { return value_; }
    BSTR detach() noexcept;
    // Frees the current string and returns the address for an [out] BSTR argument.
    BSTR* out() noexcept;

    bool isNull() const noexcept { return value_ == nullptr; }
    bool empty() const noexcept { return length() == 0; }
    UINT length() const noexcept { return SysStringLen(value_); }
    std::wstring_view view() const noexcept { return {value_ == nullptr ? L"" : value_, length()}; }
    // Office's text as UTF-8 for the host; a null BSTR gives an empty string.
    std::string toUtf8() const;

private:
    BSTR value_ = nullptr;
};

} // namespace orvex::com
