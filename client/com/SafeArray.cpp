#include "client/com/SafeArray.h"

#include "client/com/ComError.h"

#include <climits>
#include <cstdint>
#include <utility>

namespace orvex::com {

SafeArray& SafeArray::operator=(SafeArray&& other) noexcept
{
    if (this != &other) {
        SafeArrayDestroy(array_);
        array_ = other.detach();
    }
    return *this;
}

SafeArray::~SafeArray() { SafeArrayDestroy(array_); }

SafeArray SafeArray::create(VARTYPE elementType, ULONG count, LONG lowerBound)
{
    SAFEARRAYBOUND bound{count, lowerBound};
    SAFEARRAY* array = SafeArrayCreate(elementType, 1, &bound);
    if (array == nullptr) {
        throw ComError(E_OUTOFMEMORY);
    }
    return attach(array);
}

SafeArray SafeArray::ofInt32(std::span<const LONG> values)
{
    SafeArray array = create(VT_I4, static_cast<ULONG>(values.size()));
    for (std::size_t index = 0; index < values.size(); ++index) {
        LONG value = values[index];
        array.putElement(static_cast<LONG>(index), &value);
    }
    return array;
}

SafeArray SafeArray::copyOf(const SAFEARRAY* source)
{
    if (source == nullptr) {
        return {};
    }
    SAFEARRAY* copy = nullptr;
    throwIfFailed(SafeArrayCopy(const_cast<SAFEARRAY*>(source), &copy));
    return attach(copy);
}

bool SafeArray::isWellFormedVector(const SAFEARRAY* array, VARTYPE type) noexcept
{
    constexpr USHORT kElementKinds = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
    VARTYPE recorded = VT_EMPTY;
    if (array == nullptr || array->cDims != 1 || FAILED(SafeArrayGetVartype(const_cast<SAFEARRAY*>(array), &recorded)) ||
        recorded != type) {
        return false;
    }
    USHORT kind = 0;
    ULONG size = 0;
    switch (type) {
    case VT_BSTR:
        kind = FADF_BSTR;
        size = sizeof(BSTR);
        break;
    case VT_VARIANT:
        kind = FADF_VARIANT;
        size = sizeof(VARIANT);
        break;
    case VT_I4:
        size = sizeof(LONG);
        break;
    default:
        return false;
    }
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    const std::int64_t end = std::int64_t{bound.lLbound} + bound.cElements;
    return (array->fFeatures & kElementKinds) == kind && array->cbElements == size &&
           (bound.cElements == 0 || array->pvData != nullptr) && end <= std::int64_t{LONG_MAX};
}

SafeArray SafeArray::attach(SAFEARRAY* owned) noexcept
{
    SafeArray result;
    result.array_ = owned;
    return result;
}

SAFEARRAY* SafeArray::detach() noexcept { return std::exchange(array_, nullptr); }

UINT SafeArray::dimensions() const noexcept { return array_ == nullptr ? 0 : SafeArrayGetDim(array_); }

VARTYPE SafeArray::elementType() const
{
    VARTYPE type = VT_EMPTY;
    throwIfFailed(SafeArrayGetVartype(array_, &type));
    return type;
}

LONG SafeArray::lowerBound(UINT dimension) const
{
    LONG bound = 0;
    throwIfFailed(SafeArrayGetLBound(array_, dimension, &bound));
    return bound;
}

LONG SafeArray::upperBound(UINT dimension) const
{
    LONG bound = 0;
    throwIfFailed(SafeArrayGetUBound(array_, dimension, &bound));
    return bound;
}

ULONG SafeArray::count() const { return static_cast<ULONG>(upperBound() - lowerBound() + 1); }

void SafeArray::putElement(LONG index, void* element) { throwIfFailed(SafeArrayPutElement(array_, &index, element)); }

void SafeArray::getElement(LONG index, void* destination) const
{
    throwIfFailed(SafeArrayGetElement(array_, &index, destination));
}

void SafeArray::append(void* element)
{
    const LONG lower = lowerBound();
    const LONG newUpper = upperBound() + 1;
    SAFEARRAYBOUND bound{static_cast<ULONG>(newUpper - lower + 1), lower};
    throwIfFailed(SafeArrayRedim(array_, &bound));
    putElement(newUpper, element);
}

} // namespace orvex::com
