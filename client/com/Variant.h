#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

namespace orvex::com {

class Bstr;
class SafeArray;

// The single owner of a VARIANT; cleared when it goes. Copies are deep (VariantCopy) and
// raise a failure as ComError.
class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    explicit Variant(const VARIANT& source);
    Variant(const Variant& other) : Variant(other.value_) {}
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant other) noexcept;
    ~Variant() { VariantClear(&value_); }

    static Variant fromInt32(LONG value) noexcept;
    static Variant fromBstr(Bstr text) noexcept;
    // The array goes into the VARIANT as VT_ARRAY | its element type.
    static Variant fromArray(SafeArray array);
    // Adds a reference to the object.
    static Variant fromUnknown(IUnknown* object) noexcept;
    static Variant fromDispatch(IDispatch* object) noexcept;

    VARTYPE type() const noexcept { return value_.vt; }
    const VARIANT& get() const noexcept { return value_; }
    VARIANT& get() noexcept { return value_; }
    // Clears the current value and returns the address for an [out] VARIANT argument.
    VARIANT* out() noexcept;

    // Moves the value into a VARIANT the caller owns and has cleared or initialised;
    // this object is left empty.
    void moveTo(VARIANT* destination) noexcept;

private:
    static Variant fromObject(VARTYPE type, IUnknown* object) noexcept;

    VARIANT value_;
};

} // namespace orvex::com
