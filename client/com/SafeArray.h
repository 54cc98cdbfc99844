#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <span>

namespace orvex::com {

// The single owner of a SAFEARRAY; destroyed when it goes. Failures of the system
// functions are raised as ComError with their HRESULT.
class SafeArray {
public:
    SafeArray() noexcept = default;
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SafeArray(SafeArray&& other) noexcept : array_(other.detach()) {}
    SafeArray& operator=(SafeArray&& other) noexcept;
    ~SafeArray();

    // A one-dimensional array of `count` cleared elements starting at `lowerBound`.
    static SafeArray create(VARTYPE elementType, ULONG count, LONG lowerBound = 0);
    static SafeArray ofInt32(std::span<const LONG> values);
    // A deep copy of an array the caller keeps; null stays null.
    static SafeArray copyOf(const SAFEARRAY* source);
    static SafeArray attach(SAFEARRAY* owned) noexcept;
    // Whether a caller's array can be copied and walked as a one-dimensional array of
    // `type`: its recorded type and its features agree (the system copies by the features),
    // its data exists, and its index range does not wrap around.
    static bool isWellFormedVector(const SAFEARRAY* array, VARTYPE type) noexcept;

    SAFEARRAY* get() const noexcept { return array_; }
    SAFEARRAY* detach() noexcept;
    bool isNull() const noexcept { return array_ == nullptr; }

    UINT dimensions() const noexcept;
    VARTYPE elementType() const;
    LONG lowerBound(UINT dimension = 1) const;
    LONG upperBound(UINT dimension = 1) const;
    // Elements of a one-dimensional array.
    ULONG count() const;

    // As SafeArrayPutElement and SafeArrayGetElement: the element's address for plain
    // values and VARIANTs, the pointer itself for BSTR and interface elements.
    void putElement(LONG index, void* element);
    void getElement(LONG index, void* destination) const;

    // Grows a one-dimensional array by one element at its end.
    void append(void* element);

private:
    SAFEARRAY* array_ = nullptr;
};

} // namespace orvex::com
