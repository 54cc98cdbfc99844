#include "tools/fuzz/HostileValues.h"

#include <oleauto.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr std::array<LONG, 7> kEdges = {0, -1, 1, INT_MIN, INT_MAX, INT_MIN + 1, INT_MAX - 1};
constexpr std::array<double, 7> kReals = {0.0,
                                          -0.0,
                                          1.5,
                                          std::numeric_limits<double>::quiet_NaN(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::max()};
constexpr std::array<VARTYPE, 21> kScalarTypes = {VT_EMPTY, VT_NULL,  VT_ERROR, VT_I1,   VT_UI1,  VT_I2,  VT_UI2,
                                                  VT_I4,    VT_UI4,   VT_I8,    VT_UI8,  VT_INT,  VT_UINT, VT_R4,
                                                  VT_R8,    VT_CY,    VT_DATE,  VT_BOOL, VT_DECIMAL, VT_BSTR, VT_I4};
constexpr std::array<VARTYPE, 9> kElementTypes = {VT_I4, VT_BSTR, VT_VARIANT, VT_UI1, VT_R8,
                                                  VT_DISPATCH, VT_UNKNOWN, VT_BOOL, VT_I2};
constexpr std::array<VARTYPE, 5> kInvalidTypes = {VT_VOID, 15, VT_HRESULT, VT_PTR, VT_INT_PTR};
constexpr USHORT kElementKindFeatures = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
constexpr ULONG kMillion = 1000000;

} // namespace

HostileValues::HostileValues(std::uint64_t seed, const Settings& chosen) : settings(chosen), engine(seed) {}

HostileValues::~HostileValues()
{
    for (auto& repair : repairs) {
        repair();
    }
    for (VARIANT& value : owned) {
        VariantClear(&value);
    }
}

std::uint32_t HostileValues::below(std::uint32_t bound)
{
    return bound == 0 ? 0 : static_cast<std::uint32_t>(engine() % bound);
}

VARIANT& HostileValues::storage()
{
    VARIANT& value = owned.emplace_back();
    VariantInit(&value);
    return value;
}

void HostileValues::own(IUnknown* object)
{
    objects.emplace_back(object);
}

LONG HostileValues::integer(const std::vector<LONG>& enumValues)
{
    const std::uint32_t choice = below(enumValues.empty() ? 3 : 8);
    switch (choice) {
    case 0:
        return kEdges[below(kEdges.size())];
    case 1:
        return static_cast<LONG>(engine());
    case 2:
        return static_cast<LONG>(below(64));
    case 3:
        return enumValues.front() == INT_MIN ? INT_MAX : enumValues.front() - 1;
    case 4:
        return enumValues.back() == INT_MAX ? INT_MIN : enumValues.back() + 1;
    default:
        return enumValues[below(static_cast<std::uint32_t>(enumValues.size()))];
    }
}

BSTR HostileValues::text()
{
    VARIANT& value = storage();
    value.vt = VT_BSTR;
    const std::uint32_t choice = below(100);
    if (choice < 8) {
        value.bstrVal = nullptr;
    } else if (choice < 14) {
        value.bstrVal = SysAllocString(L"");
    } else if (choice < 55 && settings.friendlyTexts != nullptr && !settings.friendlyTexts->empty()) {
        const auto& friendly = *settings.friendlyTexts;
        const std::wstring& chosen = friendly[below(static_cast<std::uint32_t>(friendly.size()))];
        value.bstrVal = SysAllocStringLen(chosen.data(), static_cast<UINT>(chosen.size()));
    } else if (choice < 57) {
        value.bstrVal = SysAllocStringLen(nullptr, kMillion);
        if (value.bstrVal != nullptr) {
            std::wmemset(value.bstrVal, L'x', kMillion);
            value.bstrVal[kMillion / 2] = L'@';
        }
    } else if (choice < 66) {
        // An odd number of bytes: the last character is only half there.
        static const char bytes[] = "a@b.c";
        value.bstrVal = SysAllocStringByteLen(bytes, 1 + 2 * below(3));
    } else if (choice < 76) {
        static const wchar_t nul[] = L"alice@orvex.example\0evil@orvex.example";
        value.bstrVal = SysAllocStringLen(nul, static_cast<UINT>(sizeof(nul) / sizeof(wchar_t) - 1));
    } else if (choice < 86) {
        static const wchar_t surrogates[][8] = {L"\xD800@x", L"a@\xDC00", L"\xDBFF\xDBFF@", L"@\xFFFF\xFFFE"};
        value.bstrVal = SysAllocString(surrogates[below(4)]);
    } else {
        std::wstring random(below(48), L' ');
        for (auto& c : random) {
            c = static_cast<wchar_t>(below(5) == 0 ? L'@' : 1 + below(0xFFFE));
        }
        value.bstrVal = SysAllocStringLen(random.data(), static_cast<UINT>(random.size()));
    }
    return value.bstrVal;
}

void HostileValues::scalar(VARIANT& into, VARTYPE type)
{
    std::memset(&into, 0, sizeof(into));
    into.vt = type;
    switch (type) {
    case VT_ERROR:
        into.scode = percent(50) ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(integer({}));
        break;
    case VT_I1:
    case VT_UI1:
        into.bVal = static_cast<BYTE>(integer({}));
        break;
    case VT_I2:
    case VT_UI2:
        into.iVal = static_cast<SHORT>(integer({}));
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        into.lVal = integer({});
        break;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
        into.llVal = percent(50) ? std::numeric_limits<LONGLONG>::min() + below(2) : static_cast<LONGLONG>(engine());
        break;
    case VT_R4:
        into.fltVal = static_cast<float>(kReals[below(kReals.size())]);
        break;
    case VT_R8:
    case VT_DATE:
        into.dblVal = kReals[below(kReals.size())];
        break;
    case VT_BOOL:
        into.boolVal = static_cast<VARIANT_BOOL>(std::array<int, 4>{VARIANT_TRUE, VARIANT_FALSE, 1, 0x7FFF}[below(4)]);
        break;
    case VT_DECIMAL:
        into.decVal.Lo64 = engine();
        into.decVal.Hi32 = static_cast<ULONG>(engine());
        into.decVal.scale = static_cast<BYTE>(below(40)); // above 28 is malformed
        into.decVal.sign = static_cast<BYTE>(below(2) ? DECIMAL_NEG : 0);
        into.vt = VT_DECIMAL;
        break;
    case VT_BSTR:
        into.bstrVal = text();
        break;
    default:
        break;
    }
}

void HostileValues::anyVariant(VARIANT& into, int depth)
{
    VARIANT& value = storage();
    const std::uint32_t choice = below(100);
    if (choice < 8 && settings.invalidTypes && nesting == 0) {
        value.vt = kInvalidTypes[below(kInvalidTypes.size())];
    } else if (choice < 60) {
        scalar(value, kScalarTypes[below(kScalarTypes.size())]);
        if (value.vt == VT_BSTR) {
            // text() owns the string already; this VARIANT only shows it.
            into = value;
            value.vt = VT_EMPTY;
            return;
        }
    } else if (choice < 72) {
        const bool dispatch = percent(50);
        value.vt = dispatch ? VT_DISPATCH : VT_UNKNOWN;
        value.punkVal = object(dispatch ? IID_IDispatch : IID_IUnknown);
        if (value.punkVal != nullptr) {
            value.punkVal->AddRef();
        }
    } else if (choice < 86 && depth < 2) {
        const VARTYPE element = kElementTypes[below(kElementTypes.size())];
        SAFEARRAY* made = array(element, {});
        into.vt = static_cast<VARTYPE>(VT_ARRAY | element);
        into.parray = made;
        return;
    } else if (depth < 1) {
        // BYREF: the pointee is a VARIANT of its own, which owns what it holds.
        VARIANT& pointee = storage();
        const std::uint32_t kind = below(4);
        if (kind == 0) {
            ++nesting; // copied below
            anyVariant(pointee, depth + 1);
            --nesting;
            // The view may alias values owned elsewhere; own a copy instead.
            VARIANT copy;
            VariantInit(&copy);
            if (FAILED(VariantCopy(&copy, &pointee))) {
                VariantInit(&copy);
            }
            pointee = copy;
            value.vt = VT_BYREF | VT_VARIANT;
            value.pvarVal = &pointee;
        } else if (kind == 1) {
            pointee.vt = VT_BSTR;
            pointee.bstrVal = SysAllocString(L"byref@orvex.example");
            value.vt = VT_BYREF | VT_BSTR;
            value.pbstrVal = &pointee.bstrVal;
        } else if (kind == 2) {
            scalar(pointee, VT_I4);
            value.vt = VT_BYREF | VT_I4;
            value.plVal = &pointee.lVal;
        } else {
            pointee.vt = VT_DISPATCH;
            pointee.pdispVal = nullptr;
            value.vt = VT_BYREF | VT_DISPATCH;
            value.ppdispVal = &pointee.pdispVal;
        }
    } else {
        scalar(value, VT_NULL);
    }
    into = value;
}

SAFEARRAY* HostileValues::wellFormed(VARTYPE element, const std::vector<LONG>& enumValues, ULONG count,
                                     LONG lowerBound)
{
    SAFEARRAYBOUND bound{count, lowerBound};
    SAFEARRAY* made = SafeArrayCreate(element, 1, &bound);
    if (made == nullptr) {
        return nullptr;
    }
    VARIANT& holder = storage();
    holder.vt = VT_ARRAY | VT_I4; // whatever its elements, VariantClear destroys the array
    holder.parray = made;
    for (ULONG at = 0; at < count; ++at) {
        putElement(made, element, enumValues, lowerBound + static_cast<LONG>(at));
    }
    return made;
}

void HostileValues::putElement(SAFEARRAY* target, VARTYPE element, const std::vector<LONG>& enumValues, LONG index)
{
    switch (element) {
    case VT_BSTR:
        SafeArrayPutElement(target, &index, text());
        break;
    case VT_VARIANT: {
        VARIANT value;
        ++nesting;
        anyVariant(value, 1);
        --nesting;
        SafeArrayPutElement(target, &index, &value);
        break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
        SafeArrayPutElement(target, &index,
                            objectOf(settings.arrayObjects.empty() ? settings.objects : settings.arrayObjects,
                                     element == VT_DISPATCH ? IID_IDispatch : IID_IUnknown));
        break;
    default: {
        LONGLONG value = integer(enumValues);
        SafeArrayPutElement(target, &index, &value);
        break;
    }
    }
}

SAFEARRAY* HostileValues::array(VARTYPE declared, const std::vector<LONG>& enumValues)
{
    const std::uint32_t choice = below(malformedAllowed() ? 11 : 8);
    switch (choice) {
    case 0:
        return nullptr;
    case 1:
        return wellFormed(declared, enumValues, 0, static_cast<LONG>(below(3)) - 1);
    case 2: {
        // Two dimensions, the first of them as a one-dimensional reader would see it.
        SAFEARRAYBOUND bounds[2] = {{2, 0}, {1 + below(2), 0}};
        SAFEARRAY* made = SafeArrayCreate(declared, 2, bounds);
        if (made != nullptr) {
            VARIANT& holder = storage();
            holder.vt = VT_ARRAY | VT_I4;
            holder.parray = made;
        }
        return made;
    }
    case 3: {
        // Bounds that wrap around the index range.
        constexpr std::array<LONG, 3> starts = {LONG_MAX - 1, LONG_MAX, LONG_MIN};
        SAFEARRAYBOUND bound{2 + below(2), starts[below(3)]};
        SAFEARRAY* made = SafeArrayCreate(declared, 1, &bound);
        if (made != nullptr) {
            VARIANT& holder = storage();
            holder.vt = VT_ARRAY | VT_I4;
            holder.parray = made;
        }
        return made;
    }
    case 4: {
        VARTYPE other = kElementTypes[below(kElementTypes.size())];
        if (other == declared) {
            other = declared == VT_BSTR ? VT_I4 : VT_BSTR;
        }
        return wellFormed(other, {}, 1 + below(2), 0);
    }
    case 8: {
        // The features say the elements are of another kind than the recorded type.
        SAFEARRAY* made = wellFormed(declared, enumValues, 1 + below(2), 0);
        if (made != nullptr) {
            const USHORT original = made->fFeatures;
            constexpr std::array<USHORT, 4> kinds = {FADF_BSTR, FADF_VARIANT, FADF_UNKNOWN, 0};
            USHORT kind = kinds[below(kinds.size())];
            if (kind == (original & kElementKindFeatures)) {
                kind = kind == FADF_BSTR ? FADF_VARIANT : FADF_BSTR;
            }
            made->fFeatures = static_cast<USHORT>((original & ~kElementKindFeatures) | kind);
            repairLater([made, original] { made->fFeatures = original; });
        }
        return made;
    }
    case 9: {
        SAFEARRAY* made = wellFormed(declared, enumValues, 1 + below(2), 0);
        if (made != nullptr && SUCCEEDED(SafeArrayLock(made))) {
            repairLater([made] { SafeArrayUnlock(made); });
        }
        return made;
    }
    case 10: {
        // A descriptor whose data was never allocated.
        SAFEARRAY* made = nullptr;
        if (FAILED(SafeArrayAllocDescriptorEx(declared, 1, &made))) {
            return nullptr;
        }
        made->rgsabound[0].cElements = 2;
        made->rgsabound[0].lLbound = 0;
        VARIANT& holder = storage();
        holder.vt = VT_ARRAY | VT_I4;
        holder.parray = made;
        repairLater([made] { made->rgsabound[0].cElements = 0; });
        return made;
    }
    default:
        return wellFormed(declared, enumValues, below(4), below(4) == 0 ? 1 : 0);
    }
}

void HostileValues::valueOf(const ParamType& type, VARIANT& into)
{
    std::memset(&into, 0, sizeof(into));
    switch (type.kind) {
    case ParamType::Kind::Integer:
        into.vt = type.vt;
        if (type.vt == VT_I8 || type.vt == VT_UI8) {
            into.llVal = percent(50) ? static_cast<LONGLONG>(integer(type.enumValues)) : static_cast<LONGLONG>(engine());
        } else if (type.vt == VT_I2 || type.vt == VT_UI2) {
            into.iVal = static_cast<SHORT>(integer(type.enumValues));
        } else if (type.vt == VT_I1 || type.vt == VT_UI1) {
            into.bVal = static_cast<BYTE>(integer(type.enumValues));
        } else {
            into.lVal = integer(type.enumValues);
        }
        break;
    case ParamType::Kind::Boolean:
    case ParamType::Kind::Real:
    case ParamType::Kind::Date:
    case ParamType::Kind::Currency:
        scalar(into, type.vt);
        break;
    case ParamType::Kind::Text:
        into.vt = VT_BSTR;
        into.bstrVal = text();
        break;
    case ParamType::Kind::Variant:
        anyVariant(into);
        break;
    case ParamType::Kind::Array:
        into.vt = static_cast<VARTYPE>(VT_ARRAY | type.elementVt);
        into.parray = array(type.elementVt, type.elementEnumValues);
        break;
    case ParamType::Kind::Object:
        into.vt = type.vt;
        into.punkVal = object(type.iid);
        break;
    case ParamType::Kind::Unsupported:
        break;
    }
}

void HostileValues::byReference(const ParamType& type, VARIANT& into)
{
    VARIANT& pointee = storage();
    std::memset(&into, 0, sizeof(into));
    if (type.kind == ParamType::Kind::Variant || type.kind == ParamType::Kind::Unsupported) {
        into.vt = VT_BYREF | VT_VARIANT;
        into.pvarVal = &pointee;
        return;
    }
    pointee.vt = type.kind == ParamType::Kind::Array ? static_cast<VARTYPE>(VT_ARRAY | type.elementVt) : type.vt;
    into.vt = static_cast<VARTYPE>(VT_BYREF | pointee.vt);
    into.byref = &pointee.llVal; // every member of the union starts at the same address
}

IUnknown* HostileValues::objectOf(const std::vector<IUnknown*>& candidates, const IID& iid)
{
    if (candidates.empty() || percent(25)) {
        return nullptr;
    }
    IUnknown* candidate = candidates[below(static_cast<std::uint32_t>(candidates.size()))];
    IUnknown* answered = nullptr;
    if (candidate == nullptr || FAILED(candidate->QueryInterface(iid, reinterpret_cast<void**>(&answered)))) {
        return nullptr;
    }
    own(answered);
    answered->Release(); // `objects` holds the reference now
    return answered;
}

GUID HostileValues::guid(const std::vector<GUID>& known)
{
    const std::uint32_t choice = below(4);
    if (choice < 2 && !known.empty()) {
        return known[below(static_cast<std::uint32_t>(known.size()))];
    }
    if (choice == 2) {
        return GUID_NULL;
    }
    GUID random{};
    const std::uint64_t low = engine();
    const std::uint64_t high = engine();
    std::memcpy(&random, &low, 8);
    std::memcpy(reinterpret_cast<char*>(&random) + 8, &high, 8);
    return random;
}
