#pragma once

#include "tools/fuzz/TypeCatalog.h"

#include <cstdint>
#include <deque>
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

    HostileValues(std::uint64_t seed, Settings chosen);
    ~HostileValues();
    HostileValues(const HostileValues&) = delete;
    HostileValues& operator=(const HostileValues&) = delete;

    std::uint32_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::uint32_t>(engine() % bound); }
    bool percent(std::uint32_t chance) { return below(100) < chance; }

    // The edges of the range, an enumeration's values and one past each end of it, or anything.
    LONG integer(const std::vector<LONG>& enumValues);
    BSTR text();
    SAFEARRAY* array(VARTYPE element, const std::vector<LONG>& enumValues);
    // A VARIANT of any type, BYREF ones and arrays included; `depth` bounds nesting.
    void anyVariant(VARIANT& into, int depth = 0);
    // A VARIANT of the declared type with a value that may still be hostile within it.
    void valueOf(const ParamType& type, VARIANT& into);
    // Storage for an [out] parameter of `type` passed through IDispatch: a BYREF VARIANT.
    void byReference(const ParamType& type, VARIANT& into);
    // An object answering `iid`, or null; `inArray`: one an array of interface pointers may hold.
    IUnknown* object(const IID& iid, bool inArray = false);
    GUID guid(const std::vector<GUID>& known);
    // A VARIANT cleared with the others once the call is over.
    VARIANT& storage() { return owned.emplace_back(); } // zeroed: VT_EMPTY

private:
    // Frees the array with the other values.
    SAFEARRAY* own(SAFEARRAY* array);
    SAFEARRAY* made(VARTYPE element, const std::vector<LONG>& enumValues, ULONG count, LONG lowerBound);
    void scalar(VARIANT& into, VARTYPE type, const std::vector<LONG>& enumValues);

    Settings settings;
    std::mt19937_64 engine;
    // Owned values live in VARIANTs, so that one VariantClear frees each of them; the deque
    // keeps their addresses stable for BYREF pointers into them.
    std::deque<VARIANT> owned;
};
