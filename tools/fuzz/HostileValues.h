#pragma once

#include "tools/fuzz/TypeCatalog.h"

#include <oleauto.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <vector>

// Values for one call, all drawn from one seed so that the call replays exactly: from
// well-formed to hostile, but only of kinds a real caller can hand over (in process or
// across it): null, empty and odd strings and arrays, numbers at the edges and beyond an
// enumeration, objects of another kind than asked for, and in process through Invoke
// VARIANT types no VARIANT may hold. Everything made here is owned here and freed when
// the values go, after the call has returned.
class HostileValues {
public:
    struct Settings {
        // VARIANTs of types no VARIANT may hold (VT_VOID, 15...): a caller in the provider's
        // process can pass them to Invoke; no marshaller carries them.
        bool invalidTypes = false;
        // Objects a call may pass: the provider's own and foreign ones; borrowed.
        std::vector<IUnknown*> objects{};
        // Those an array of interface pointers may hold (empty: the same as `objects`).
        // Across processes Wine's stub keeps a reference on every element of such an array
        // it unmarshals for as long as the provider's process lives (a behaviour of Wine's marshaller),
        // so the provider's own are left out there.
        std::vector<IUnknown*> arrayObjects{};
        // Strings a friendly caller would pass (addresses the host knows, Office versions).
        std::vector<std::wstring> friendlyTexts{};
    };

    HostileValues(std::uint64_t seed, Settings chosen) : settings(std::move(chosen)), engine(seed) {}
    HostileValues(const HostileValues&) = delete;
    HostileValues& operator=(const HostileValues&) = delete;

    ~HostileValues()
    {
        for (VARIANT& value : owned) {
            VariantClear(&value);
        }
    }

    std::uint32_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::uint32_t>(engine() % bound); }
    bool percent(std::uint32_t chance) { return below(100) < chance; }
    // One of `items`, which are not empty.
    template <typename Items>
    auto pick(const Items& items)
    {
        return items[below(std::size(items))];
    }
    // A VARIANT cleared with the others once the call is over.
    VARIANT& storage() { return owned.emplace_back(); } // zeroed: VT_EMPTY

    // The edges of the range, an enumeration's values and one past each end of it, or anything.
    LONG integer(const std::vector<LONG>& enumValues)
    {
        constexpr std::array<LONG, 7> kEdges = {0, -1, 1, INT_MIN, INT_MAX, INT_MIN + 1, INT_MAX - 1};
        switch (below(enumValues.empty() ? 3 : 8)) {
        case 0: return pick(kEdges);
        case 1: return static_cast<LONG>(engine());
        case 2: return static_cast<LONG>(below(64));
        case 3: return enumValues.front() == INT_MIN ? INT_MAX : enumValues.front() - 1;
        case 4: return enumValues.back() == INT_MAX ? INT_MIN : enumValues.back() + 1;
        default: return pick(enumValues);
        }
    }

    BSTR text()
    {
        // Odd strings: an embedded NUL (the part after it is a second address), lone and
        // reversed surrogates, non-characters.
        static const std::array<std::wstring, 5> kOddTexts = {
            std::wstring(L"alice@orvex.example\0evil@orvex.example", 38), L"\xD800@x", L"a@\xDC00", L"\xDBFF\xDBFF@",
            L"@\xFFFF\xFFFE"};
        constexpr UINT kMillion = 1000000;
        VARIANT& value = storage();
        value.vt = VT_BSTR;
        const std::uint32_t choice = below(100);
        std::wstring chosen;
        if (choice < 8) {
            return nullptr;
        } else if (choice < 55 && choice >= 14 && !settings.friendlyTexts.empty()) {
            chosen = pick(settings.friendlyTexts);
        } else if (choice >= 55 && choice < 57) {
            chosen.assign(kMillion, L'x');
            chosen[kMillion / 2] = L'@';
        } else if (choice >= 57 && choice < 66) {
            // An odd number of bytes: the last character is only half there.
            return value.bstrVal = SysAllocStringByteLen("a@b.c", 1 + 2 * below(3));
        } else if (choice >= 66 && choice < 86) {
            chosen = pick(kOddTexts);
        } else if (choice >= 86) {
            chosen.resize(below(48));
            for (auto& c : chosen) {
                c = static_cast<wchar_t>(below(5) == 0 ? L'@' : 1 + below(0xFFFE));
            }
        }
        return value.bstrVal = SysAllocStringLen(chosen.data(), static_cast<UINT>(chosen.size()));
    }

    // A VARIANT of any type, BYREF ones and arrays included; `depth` bounds nesting.
    void anyVariant(VARIANT& into, int depth = 0)
    {
        constexpr std::array<VARTYPE, 21> kScalarTypes = {
            VT_EMPTY, VT_NULL, VT_ERROR, VT_I1,   VT_UI1,  VT_I2,      VT_UI2,  VT_I4, VT_UI4, VT_I8, VT_UI8,
            VT_INT,   VT_UINT, VT_R4,    VT_R8,   VT_CY,   VT_DATE,    VT_BOOL, VT_DECIMAL, VT_BSTR, VT_I4};
        constexpr std::array<VARTYPE, 5> kInvalidTypes = {VT_VOID, 15, VT_HRESULT, VT_PTR, VT_INT_PTR};
        const std::uint32_t choice = below(100);
        VariantInit(&into);
        if (choice < 8 && settings.invalidTypes && depth == 0) {
            into.vt = pick(kInvalidTypes);
        } else if (choice < 60) {
            scalar(into, pick(kScalarTypes), {});
        } else if (choice < 72) {
            into.vt = percent(50) ? VT_DISPATCH : VT_UNKNOWN;
            into.punkVal = object(into.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
        } else if (choice < 86 && depth < 2) {
            const VARTYPE element = pick(kElementTypes);
            into.vt = static_cast<VARTYPE>(VT_ARRAY | element);
            into.parray = array(element, {});
        } else if (depth < 1) {
            // BYREF: the callee may write through it, so the pointee owns what it holds.
            VARIANT& pointee = storage();
            const VARTYPE types[] = {VT_VARIANT, VT_BSTR, VT_I4, VT_DISPATCH};
            into.vt = static_cast<VARTYPE>(VT_BYREF | pick(types));
            into.byref = &pointee.llVal; // every member of the union starts at the same address
            if (into.vt == (VT_BYREF | VT_VARIANT)) {
                VARIANT view;
                anyVariant(view, depth + 1);
                if (FAILED(VariantCopy(&pointee, &view))) {
                    VariantInit(&pointee);
                }
                into.pvarVal = &pointee;
            } else if (into.vt == (VT_BYREF | VT_BSTR)) {
                pointee.vt = VT_BSTR;
                pointee.bstrVal = SysAllocString(L"byref@orvex.example");
            } else {
                pointee.vt = into.vt & ~VT_BYREF;
                pointee.lVal = pointee.vt == VT_I4 ? integer({}) : 0;
            }
        } else {
            into.vt = VT_NULL;
        }
    }

    SAFEARRAY* array(VARTYPE declared, const std::vector<LONG>& enumValues)
    {
        switch (below(8)) {
        case 0: return nullptr;
        case 1: return made(declared, enumValues, 0, static_cast<LONG>(below(3)) - 1);
        case 2: {
            // Two dimensions, the first of them as a one-dimensional reader would see it.
            SAFEARRAYBOUND bounds[2] = {{2, 0}, {1 + below(2), 0}};
            return own(SafeArrayCreate(declared, 2, bounds));
        }
        case 3: {
            // Indices that run past the end of the range.
            SAFEARRAYBOUND bound{2 + below(2), pick(std::array<LONG, 3>{LONG_MAX - 1, LONG_MAX, LONG_MIN})};
            return own(SafeArrayCreate(declared, 1, &bound));
        }
        case 4: {
            // Elements of another type than declared.
            const VARTYPE other = pick(kElementTypes);
            const VARTYPE instead = declared == VT_BSTR ? VT_I4 : VT_BSTR;
            return made(other != declared ? other : instead, {}, 1 + below(2), 0);
        }
        default: return made(declared, enumValues, below(4), below(4) == 0 ? 1 : 0);
        }
    }

    // A VARIANT of the declared type with a value that may still be hostile within it.
    void valueOf(const ParamType& type, VARIANT& into)
    {
        VariantInit(&into);
        if (type.kind == ParamType::Kind::Scalar || type.kind == ParamType::Kind::Text) {
            scalar(into, type.vt, type.enumValues);
        } else if (type.kind == ParamType::Kind::Variant) {
            anyVariant(into);
        } else if (type.kind == ParamType::Kind::Array) {
            into.vt = static_cast<VARTYPE>(VT_ARRAY | type.vt);
            into.parray = array(type.vt, type.enumValues);
        } else if (type.kind == ParamType::Kind::Object) {
            into.vt = type.vt;
            into.punkVal = object(type.iid);
        }
    }

    // Storage for an [out] parameter of `type` passed through IDispatch: a BYREF VARIANT.
    void byReference(const ParamType& type, VARIANT& into)
    {
        VARIANT& pointee = storage();
        VariantInit(&into);
        const bool anything = type.kind == ParamType::Kind::Variant || type.kind == ParamType::Kind::Unsupported;
        const auto arrayType = static_cast<VARTYPE>(VT_ARRAY | type.vt);
        pointee.vt = anything ? VARTYPE{VT_EMPTY} : type.kind == ParamType::Kind::Array ? arrayType : type.vt;
        into.vt = static_cast<VARTYPE>(VT_BYREF | (anything ? VARTYPE{VT_VARIANT} : pointee.vt));
        into.byref = anything ? static_cast<void*>(&pointee) : &pointee.llVal;
        // A script's variable still holding an object: the callee that writes over it must
        // release that first.
        IUnknown* held = anything && percent(25) ? object(IID_IUnknown) : nullptr;
        if (held != nullptr) {
            held->AddRef();
            pointee.vt = VT_UNKNOWN;
            pointee.punkVal = held;
        }
    }

    // An object answering `iid`, or null; `inArray`: one an array of interface pointers may hold.
    IUnknown* object(const IID& iid, bool inArray = false)
    {
        const auto& candidates = inArray && !settings.arrayObjects.empty() ? settings.arrayObjects : settings.objects;
        if (candidates.empty() || percent(25)) {
            return nullptr;
        }
        IUnknown* candidate = pick(candidates);
        VARIANT& holder = storage();
        if (candidate == nullptr || FAILED(candidate->QueryInterface(iid, reinterpret_cast<void**>(&holder.punkVal)))) {
            return nullptr;
        }
        holder.vt = VT_UNKNOWN; // holds the reference
        return holder.punkVal;
    }

    GUID guid(const std::vector<GUID>& known)
    {
        const std::uint32_t choice = below(4);
        if (choice < 2 && !known.empty()) {
            return pick(known);
        }
        GUID random{};
        const std::uint64_t halves[2] = {engine(), engine()};
        std::memcpy(&random, halves, choice == 2 ? 0 : sizeof(random));
        return random;
    }

private:
    static constexpr std::array<VARTYPE, 9> kElementTypes = {VT_I4,       VT_BSTR,    VT_VARIANT, VT_UI1, VT_R8,
                                                             VT_DISPATCH, VT_UNKNOWN, VT_BOOL,    VT_I2};

    // Frees the array with the other values.
    SAFEARRAY* own(SAFEARRAY* array)
    {
        VARIANT& holder = storage();
        holder.vt = VT_ARRAY | VT_I4; // whatever its elements, VariantClear destroys the array
        holder.parray = array;
        return array;
    }

    SAFEARRAY* made(VARTYPE element, const std::vector<LONG>& enumValues, ULONG count, LONG lowerBound)
    {
        SAFEARRAYBOUND bound{count, lowerBound};
        SAFEARRAY* array = own(SafeArrayCreate(element, 1, &bound));
        for (LONG index = lowerBound; array != nullptr && index < lowerBound + static_cast<LONG>(count); ++index) {
            // The array takes copies of what it is given.
            VARIANT value;
            if (element == VT_VARIANT) {
                anyVariant(value, 1);
                SafeArrayPutElement(array, &index, &value);
            } else if (element == VT_DISPATCH || element == VT_UNKNOWN) {
                SafeArrayPutElement(array, &index, object(element == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, true));
            } else {
                scalar(value, element, enumValues);
                SafeArrayPutElement(array, &index, element == VT_BSTR ? static_cast<void*>(value.bstrVal) : &value.lVal);
            }
        }
        return array;
    }

    // A view: a string in it is owned by the values.
    void scalar(VARIANT& into, VARTYPE type, const std::vector<LONG>& enumValues)
    {
        constexpr double kInfinity = std::numeric_limits<double>::infinity();
        constexpr std::array<double, 7> kReals = {0.0,       -0.0,       1.5, std::numeric_limits<double>::quiet_NaN(),
                                                  kInfinity, -kInfinity, std::numeric_limits<double>::max()};
        std::memset(&into, 0, sizeof(into));
        switch (type) {
        case VT_EMPTY:
        case VT_NULL: break;
        case VT_ERROR: into.scode = percent(50) ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(integer({})); break;
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            into.llVal = percent(50) ? std::numeric_limits<LONGLONG>::min() + below(2) : static_cast<LONGLONG>(engine());
            break;
        case VT_R4: into.fltVal = static_cast<float>(pick(kReals)); break;
        case VT_R8:
        case VT_DATE: into.dblVal = pick(kReals); break;
        case VT_BOOL:
            // A C caller's TRUE and any other short, besides VARIANT_TRUE and VARIANT_FALSE.
            into.boolVal =
                static_cast<VARIANT_BOOL>(pick(std::array<int, 4>{VARIANT_TRUE, VARIANT_FALSE, 1, 0x7FFF}));
            break;
        case VT_DECIMAL:
            into.decVal.Lo64 = engine();
            into.decVal.Hi32 = static_cast<ULONG>(engine());
            into.decVal.scale = static_cast<BYTE>(below(29));
            into.decVal.sign = static_cast<BYTE>(below(2) ? DECIMAL_NEG : 0);
            break;
        case VT_BSTR: into.bstrVal = text(); break;
        default:
            // Every integer narrower than 64 bits, cut to its size by the callee.
            into.lVal = integer(enumValues);
            if (type == VT_I1 || type == VT_UI1 || type == VT_I2 || type == VT_UI2) {
                into.lVal &= type == VT_I1 || type == VT_UI1 ? 0xFF : 0xFFFF;
            }
            break;
        }
        into.vt = type; // after the decimal, which overlays it
    }

    Settings settings;
    std::mt19937_64 engine;
    // Owned values live in VARIANTs, so that one VariantClear frees each of them; the deque
    // keeps their addresses stable for BYREF pointers into them.
    std::deque<VARIANT> owned;
};
