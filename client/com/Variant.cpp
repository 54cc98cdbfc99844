#include "client/com/Variant.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"
#include "client/com/SafeArray.h"

#include <cstring>
#include <utility>

namespace orvex::com {

Variant::Variant(const VARIANT& source)
{
    VariantInit(&value_);
    // VariantCopy does not change its source but is declared without const.
    throwIfFailed(VariantCopy(&value_, const_cast<VARIANT*>(&source)));
}

Variant::Variant(Variant&& other) noexcept
{
    value_ = other.value_;
    VariantInit(&other.value_);
}

Variant& Variant::operator=(Variant other) noexcept
{
    std::swap(value_, other.value_);
    return *this;
}

Variant Variant::fromInt32(LONG value) noexcept
{
    Variant result;
    result.value_.vt = VT_I4;
    result.value_.lVal = value;
    return result;
}

Variant Variant::fromBstr(Bstr text) noexcept
{
    Variant result;
    result.value_.vt = VT_BSTR;
    result.value_.bstrVal = text.detach();
    return result;
}

Variant Variant::fromArray(SafeArray array)
{
    const VARTYPE elementType = array.elementType();
    Variant result;
    result.value_.vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    result.value_.parray = array.detach();
    return result;
}

Variant Variant::fromObject(VARTYPE type, IUnknown* object) noexcept
{
    // punkVal and pdispVal share one slot; an IDispatch pointer is its IUnknown pointer.
    Variant result;
    result.value_.vt = type;
    result.value_.punkVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
    return result;
}

Variant Variant::fromUnknown(IUnknown* object) noexcept { return fromObject(VT_UNKNOWN, object); }

Variant Variant::fromDispatch(IDispatch* object) noexcept { return fromObject(VT_DISPATCH, object); }

VARIANT* Variant::out() noexcept
{
    VariantClear(&value_);
    return &value_;
}

void Variant::moveTo(VARIANT* destination) noexcept
{
    *destination = value_;
    VariantInit(&value_);
}

} // namespace orvex::com
