#include "tests/client/ConversationArrays.h"

#include "client/com/Bstr.h"
#include "client/com/ComError.h"

using orvex::com::Bstr;
using orvex::com::SafeArray;
using orvex::com::Variant;
using orvex::com::throwIfFailed;

SafeArray ConversationArrays::strings(const std::vector<std::optional<std::wstring>>& values, LONG lowerBound)
{
    SafeArray array = SafeArray::create(VT_BSTR, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        if (values[index]) {
            const Bstr value(*values[index]);
            array.putElement(lowerBound + static_cast<LONG>(index), value.get());
        }
    }
    return array;
}

SafeArray ConversationArrays::int32s(const std::vector<LONG>& values, LONG lowerBound)
{
    SafeArray array = SafeArray::create(VT_I4, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        LONG value = values[index];
        array.putElement(lowerBound + static_cast<LONG>(index), &value);
    }
    return array;
}

SafeArray ConversationArrays::variants(const std::vector<Variant>& values, LONG lowerBound)
{
    SafeArray array = SafeArray::create(VT_VARIANT, static_cast<ULONG>(values.size()), lowerBound);
    for (std::size_t index = 0; index < values.size(); ++index) {
        Variant value = values[index];
        array.putElement(lowerBound + static_cast<LONG>(index), &value.get());
    }
    return array;
}

SafeArray ConversationArrays::shaped(VARTYPE elementType, UINT dimensions, ULONG count, LONG lowerBound)
{
    std::vector<SAFEARRAYBOUND> bounds(dimensions, SAFEARRAYBOUND{count, lowerBound});
    SAFEARRAY* array = SafeArrayCreate(elementType, dimensions, bounds.data());
    if (array == nullptr) {
        throw orvex::com::ComError(E_OUTOFMEMORY);
    }
    return SafeArray::attach(array);
}

SafeArray ConversationArrays::withoutData(VARTYPE elementType, ULONG count)
{
    SAFEARRAY* array = nullptr;
    throwIfFailed(SafeArrayAllocDescriptorEx(elementType, 1, &array));
    array->rgsabound[0] = SAFEARRAYBOUND{count, 0};
    // Not every system marks how the elements are copied on a bare descriptor; mark it as
    // an allocated array of the type would be.
    if (elementType == VT_BSTR) {
        array->fFeatures |= FADF_BSTR;
    } else if (elementType == VT_VARIANT) {
        array->fFeatures |= FADF_VARIANT;
    }
    return SafeArray::attach(array);
}

Variant ConversationArrays::text(const std::wstring& value) { return Variant::fromBstr(Bstr(value)); }

Variant ConversationArrays::nullText() { return Variant::fromBstr(Bstr()); }
