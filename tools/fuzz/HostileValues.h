#pragma once

#include "tools/fuzz/TypeCatalog.h"

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <vector>

// Values for one call, all drawn from one seed so that the call replays exactly: strings,
// VARIANTs, SAFEARRAYs, integers and objects, from well-formed to hostile. Everything made
// here is owned here and freed when the call's values go, after the call has returned.
//
// Where only what the marshaller carries may be passed, there are no arrays whose features
// contradict their type, no locked arrays and no array descriptors without data.
class HostileValues {
public:
    struct Settings {
        // Only values the marshaller carries: what reaches the provider across processes,
        // and what IDispatch::Invoke is handed by the system's dispatch code.
        bool marshallable = false;
        // Objects a call may pass: the provider's own and foreign ones; borrowed.
        std::vector<IUnknown*> objects;
        // Those an array of interface pointers may hold (empty: the same as `objects`).
        // Across processes Wine's stub keeps a reference on every element of such an
        // array it unmarshals, for as long as the provider's process lives (reproduced
        // without the library by WineMarshallerTests), so the provider's own are left out.
        std::vector<IUnknown*> arrayObjects;
        // VARIANTs of types no VARIANT may hold (VT_VOID, 15, ...): a caller in the
        // provider's process can pass them, through Invoke too; no marshaller carries them.
        bool invalidTypes = false;
        // Strings a friendly caller would pass (addresses the host knows, Office versions).
        const std::vector<std::wstring>* friendlyTexts = nullptr;
    };

    HostileValues(std::uint64_t seed, const Settings& chosen);
    ~HostileValues();
    HostileValues(const HostileValues&) = delete;
    HostileValues& operator=(const HostileValues&) = delete;

    std::uint32_t below(std::uint32_t bound);
    bool percent(std::uint32_t chance) { return below(100) < chance; }

    // An integer for a parameter: the edges of the range, an enumeration's values and one
    // past each end of it, or anything.
    LONG integer(const std::vector<LONG>& enumValues);
    BSTR text();
    SAFEARRAY* array(VARTYPE declaredElement, const std::vector<LONG>& elementEnumValues);
    // A VARIANT of any type, BYREF ones and arrays included; `depth` bounds nesting.
    void anyVariant(VARIANT& into, int depth = 0);
    // A VARIANT of the declared type with a value that may still be hostile within it.
    void valueOf(const ParamType& type, VARIANT& into);
    // Storage for an [out] parameter of `type` passed through IDispatch: a BYREF VARIANT.
    void byReference(const ParamType& type, VARIANT& into);
    // An object answering `iid` (with a reference owned here), or null.
    IUnknown* object(const IID& iid) { return objectOf(settings.objects, iid); }
    GUID guid(const std::vector<GUID>& known);

private:
    IUnknown* objectOf(const std::vector<IUnknown*>& candidates, const IID& iid);
    VARIANT& storage();
    void own(IUnknown* object);
    void repairLater(std::function<void()> repair) { repairs.push_back(std::move(repair)); }
    SAFEARRAY* wellFormed(VARTYPE element, const std::vector<LONG>& enumValues, ULONG count, LONG lowerBound);
    void putElement(SAFEARRAY* array, VARTYPE element, const std::vector<LONG>& enumValues, LONG index);
    void scalar(VARIANT& into, VARTYPE type);
    bool malformedAllowed() const { return !settings.marshallable && nesting == 0; }

    Settings settings;
    std::mt19937_64 engine;
    // Above 0 while elements of an array are made: the system copies them, so they must be
    // well-formed.
    int nesting = 0;
    // Owned values live in VARIANTs, so that one VariantClear frees each of them; the
    // deque keeps their addresses stable for BYREF pointers into them.
    std::deque<VARIANT> owned;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;
    // Run before the owned values are freed: restore what was made hostile on purpose
    // (features, locks), so that the system can free it.
    std::vector<std::function<void()>> repairs;
};
