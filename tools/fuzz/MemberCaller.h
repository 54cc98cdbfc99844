#pragma once

#include "client/UCOfficeIntegration.h"
#include "tools/fuzz/HostileValues.h"
#include "tools/fuzz/TypeCatalog.h"
#include "tools/office/EventSink.h"
#include "tools/office/HResultText.h"

#include <ocidl.h>
#include <oleauto.h>
#include <servprov.h>
#include <wrl/client.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

// What one call gave back: its HRESULT, what was wrong with the answer, and the objects
// it handed out (for the walk to call next).
struct CallOutcome {
    HRESULT result = S_OK;
    std::vector<std::string> faults;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects;

    // Takes over the reference that came with `object`. (This toolchain's ComPtr::Attach
    // adds a reference of its own, so it cannot be used for that.)
    void adopt(IUnknown* object) { *objects.emplace_back().GetAddressOf() = object; }
};

// Sinks advised on connection points, with their cookies.
using Advised = std::vector<std::pair<Microsoft::WRL::ComPtr<IConnectionPoint>, DWORD>>;
// Takes back every sink of `advised` and forgets them.
inline void unadviseAll(Advised& advised)
{
    for (auto& [point, cookie] : advised) {
        point->Unadvise(cookie);
    }
    advised.clear();
}

// One call through IDispatch::Invoke, decided before it is made (from a seed, or by a
// regression case). Its VARIANTs are views of values owned elsewhere.
struct InvokeCall {
    DISPID dispid = DISPID_UNKNOWN;
    WORD flags = DISPATCH_METHOD;
    std::vector<VARIANT> arguments{}; // the last first, as dispatch arguments go
    std::vector<DISPID> named{};
    LCID locale = 0;
    GUID iid = GUID_NULL;
    bool wantResult = true;
    bool wantException = true;
    bool wantArgumentError = true;
    // The member's own call as declared, asking for the result: its answer can be judged.
    bool asDeclared = false;
};

// Calls one member of one of the provider's objects and judges the answer: a success that
// wrote every [out] it should, a failure that wrote none. The library's members go through
// their vtable slot or through IDispatch::Invoke; those of the system interfaces its objects
// answer (IUnknown, IDispatch, connection points and their enumerators, service provider,
// class factory), which no type library describes, are called as the system declares them,
// with hostile values where a caller could pass them.
class MemberCaller {
public:
    // "direct": the members of system interfaces.
    enum Path { Invoke, Vtable, Direct };
    static const char* pathName(Path path) { return path == Invoke ? "Invoke" : path == Vtable ? "vtable" : "direct"; }

    explicit MemberCaller(const TypeCatalog& catalog) : dispids(catalog.knownDispids())
    {
        for (const InterfaceEntry& entry : catalog.interfaces()) {
            iids.push_back(entry.iid);
            for (const Member& member : entry.members) {
                names.emplace_back(member.name.begin(), member.name.end());
            }
        }
    }
    ~MemberCaller() { unadviseAll(); }
    MemberCaller(const MemberCaller&) = delete;
    MemberCaller& operator=(const MemberCaller&) = delete;

    CallOutcome call(const InterfaceEntry& described, std::size_t index, Path path, IUnknown* face,
                     HostileValues& values, bool crossProcess)
    {
        if (path == Direct) {
            return system(described.iid, index, face, values, crossProcess);
        }
        const Member& member = described.members[index];
        if (path == Invoke) {
            InvokeCall planned = planInvoke(member, values, crossProcess);
            return throughInvoke(static_cast<IDispatch*>(face), member, planned);
        }
        std::vector<VARIANT> arguments(member.params.size());
        for (std::size_t at = 0; at < arguments.size(); ++at) {
            // A null [out] pointer: a direct caller may pass one. Across processes the provider's
            // stub always hands it storage of its own, so a null pointer there would test only
            // the proxy, and Wine's makes the call and unmarshals the answer into storage it
            // never frees: an object in it is held for good.
            if (member.params[at].out) {
                arguments[at].vt = values.percent(8) && !crossProcess ? VT_NULL : VT_EMPTY;
            } else {
                values.valueOf(member.params[at].type, arguments[at]);
            }
        }
        return throughVtable(face, member, arguments, !crossProcess);
    }

    // One argument for each declared parameter; for an [out] one, VT_NULL passes a null
    // pointer and anything else storage that the call judges afterwards. Across processes
    // the proxy, not the provider, receives that storage: an [out] VARIANT is handed to it
    // initialised, as some proxies clear it before they unmarshal into it.
    static CallOutcome throughVtable(IUnknown* face, const Member& member, std::vector<VARIANT>& arguments,
                                     bool inProcess)
    {
        const std::size_t count = member.params.size();
        std::vector<VARIANT*> pointers(count);
        std::vector<VARTYPE> types(count);
        std::vector<OutSlot> slots(count);
        std::vector<VARIANT> outs(count); // zeroed: VT_EMPTY
        for (std::size_t at = 0; at < count; ++at) {
            const Param& param = member.params[at];
            pointers[at] = &arguments[at];
            types[at] = passingType(param.type);
            if (!param.out) {
                continue;
            }
            // COM leaves an [out] VARIANT uninitialised: in process, a string whose pointer is
            // the poison, which a callee that clears it before writing frees, and crashes on.
            if (param.type.kind == ParamType::Kind::Variant) {
                auto* slot = reinterpret_cast<VARIANT*>(slots[at].bytes);
                if (inProcess) {
                    slot->vt = VT_BSTR;
                } else {
                    VariantInit(slot);
                }
            }
            outs[at].vt = VT_BYREF | VT_UI1;
            outs[at].byref = arguments[at].vt == VT_NULL ? nullptr : slots[at].bytes;
            pointers[at] = &outs[at];
            types[at] = VT_UNKNOWN;
        }
        VARIANT returned{};
        CallOutcome outcome;
        const HRESULT called = DispCallFunc(face, static_cast<ULONG_PTR>(member.vtableOffset), CC_STDCALL, VT_ERROR,
                                            static_cast<UINT>(count), types.data(), pointers.data(), &returned);
        if (FAILED(called)) {
            outcome.result = called;
            outcome.faults.push_back("DispCallFunc could not make the call");
            return outcome;
        }
        outcome.result = returned.scode;
        for (std::size_t at = 0; at < count; ++at) {
            if (member.params[at].out && outs[at].byref != nullptr) {
                checkOut(member.params[at], slots[at].bytes, outcome);
            }
        }
        return outcome;
    }

    // The arguments a call through Invoke declares: the return value is not one.
    static std::size_t argumentCount(const Member& member)
    {
        // The return value, if any, is the last parameter.
        return member.params.size() - (!member.params.empty() && member.params.back().retval ? 1 : 0);
    }

    static CallOutcome throughInvoke(IDispatch* face, const Member& member, InvokeCall& call)
    {
        DISPPARAMS parameters{call.arguments.empty() ? nullptr : call.arguments.data(),
                              call.named.empty() ? nullptr : call.named.data(), static_cast<UINT>(call.arguments.size()),
                              static_cast<UINT>(call.named.size())};
        VARIANT result{};
        EXCEPINFO exception{};
        UINT argumentError = 0;
        CallOutcome outcome;
        outcome.result = face->Invoke(call.dispid, call.iid, call.locale, call.flags, &parameters,
                                      call.wantResult ? &result : nullptr, call.wantException ? &exception : nullptr,
                                      call.wantArgumentError ? &argumentError : nullptr);
        // The system's dispatch code may leave a typed but empty result behind a failure: a
        // client finds nothing in it. A value in it would be garbage.
        const bool holdsValue = (result.vt & VT_ARRAY) != 0 ? result.parray != nullptr
                                : result.vt == VT_BSTR      ? SysStringLen(result.bstrVal) > 0
                                : result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN
                                    ? result.punkVal != nullptr
                                    : result.vt != VT_EMPTY && (result.llVal != 0 || result.vt == VT_NULL);
        if (FAILED(outcome.result) && holdsValue) {
            outcome.faults.push_back("Invoke failed " + HResultText::hex(outcome.result) + " yet set a result of type " +
                                     std::to_string(result.vt));
        }
        if (SUCCEEDED(outcome.result) && call.asDeclared && !holdsValue &&
            std::ranges::any_of(member.params, [](const Param& param) {
                return param.retval && param.type.kind == ParamType::Kind::Object && !param.optional;
            })) {
            outcome.faults.push_back("Invoke succeeded with a null object");
        }
        harvest(result, outcome);
        if (exception.pfnDeferredFillIn != nullptr) {
            exception.pfnDeferredFillIn(&exception);
        }
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return outcome;
    }

    // Takes back every sink that calls of Advise left advised.
    void unadviseAll() { ::unadviseAll(advised); }
    // Enumerator answers whose fetched count and HRESULT Wine's proxy misread (across
    // processes, whenever items came back); judged by the items instead.
    std::size_t misreadAnswers() const { return misread; }

private:
    static constexpr std::array<LCID, 3> kLocales = {0, 0x0409, 0x7FFFFFFF};
    // What an [out] slot of a direct call holds before the call: a callee that succeeds
    // without writing it, or fails after writing into it, is caught by it.
    static constexpr unsigned char kPoison = 0x5A;

    // One [out] slot of a direct call: large enough for a VARIANT, aligned for one.
    struct alignas(16) OutSlot {
        OutSlot() { std::memset(bytes, kPoison, sizeof(bytes)); }
        unsigned char bytes[sizeof(VARIANT)];
    };

    static std::size_t sizeOf(VARTYPE type)
    {
        const bool wide = type == VT_I8 || type == VT_UI8 || type == VT_R8 || type == VT_DATE || type == VT_CY;
        const bool narrow = type == VT_I2 || type == VT_UI2 || type == VT_BOOL;
        return type == VT_I1 || type == VT_UI1 ? 1 : narrow ? 2 : wide ? 8 : 4;
    }

    // How DispCallFunc is to pass an argument of this type.
    static VARTYPE passingType(const ParamType& type)
    {
        if (type.kind != ParamType::Kind::Scalar) {
            return type.kind == ParamType::Kind::Variant ? VT_VARIANT : VT_UNKNOWN; // VT_UNKNOWN: pointer-sized
        }
        if (type.vt == VT_R4 || type.vt == VT_R8 || type.vt == VT_DATE) {
            return type.vt; // in floating-point registers
        }
        return sizeOf(type.vt) == 8 ? VT_I8 : VT_I4;
    }

    // INVOKEKIND's values are the DISPATCH_ flags of the same kind of call.
    static_assert(INVOKE_FUNC == DISPATCH_METHOD && INVOKE_PROPERTYGET == DISPATCH_PROPERTYGET &&
                  INVOKE_PROPERTYPUT == DISPATCH_PROPERTYPUT && INVOKE_PROPERTYPUTREF == DISPATCH_PROPERTYPUTREF);

    static bool poisoned(const void* slot, std::size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*>(slot);
        return std::all_of(bytes, bytes + size, [](unsigned char held) { return held == kPoison; });
    }

    static void harvest(SAFEARRAY* array, CallOutcome& outcome)
    {
        VARTYPE type = VT_EMPTY;
        LONG lower = 0;
        LONG upper = -1;
        if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) ||
            (type != VT_DISPATCH && type != VT_UNKNOWN) || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(array, 1, &upper))) {
            return;
        }
        for (LONG index = lower; index <= upper && index - lower < 64; ++index) {
            IUnknown* element = nullptr;
            if (SUCCEEDED(SafeArrayGetElement(array, &index, &element)) && element != nullptr) {
                outcome.adopt(element);
            }
        }
    }

    // Keeps every object inside a VARIANT the callee handed out (arrays included) and clears it.
    static void harvest(VARIANT& value, CallOutcome& outcome)
    {
        if ((value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal != nullptr) {
            outcome.objects.emplace_back(value.punkVal);
        } else if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0) {
            harvest(value.parray, outcome);
        }
        VariantClear(&value);
    }

    // An [out] slot of a direct call, holding whatever the callee left there.
    static void checkOut(const Param& param, void* slot, CallOutcome& outcome)
    {
        const bool succeeded = SUCCEEDED(outcome.result);
        const ParamType::Kind kind = param.type.kind;
        if (kind == ParamType::Kind::Variant) {
            auto* value = static_cast<VARIANT*>(slot);
            if (value->vt == VT_BSTR && poisoned(&value->bstrVal, sizeof(BSTR))) {
                if (succeeded) {
                    outcome.faults.push_back("succeeded without writing its [out] VARIANT");
                }
                return;
            }
            if (!succeeded && value->vt != VT_EMPTY) {
                outcome.faults.push_back("failed " + HResultText::hex(outcome.result) +
                                         " yet wrote a VARIANT into its [out]");
            }
            harvest(*value, outcome);
            return;
        }
        const bool scalar = kind == ParamType::Kind::Scalar;
        const std::size_t size = scalar ? sizeOf(param.type.vt) : sizeof(void*);
        const std::string noun =
            std::array{"value", "string", "VARIANT", "array", "object", "value"}[static_cast<int>(kind)];
        if (poisoned(slot, size)) {
            if (succeeded) {
                outcome.faults.push_back("succeeded without writing its [out] " + noun);
            }
            return;
        }
        void* written = nullptr;
        if (scalar) {
            const unsigned char zero[8] = {};
            written = std::memcmp(slot, zero, size) == 0 ? nullptr : slot;
        } else {
            std::memcpy(&written, slot, sizeof(written));
        }
        if (written == nullptr) {
            if (succeeded && kind == ParamType::Kind::Object && !param.optional) {
                outcome.faults.push_back("succeeded with a null object");
            }
            return;
        }
        if (!succeeded) {
            outcome.faults.push_back("failed " + HResultText::hex(outcome.result) + " yet wrote into its [out] " + noun);
            if (kind == ParamType::Kind::Object) {
                return; // possibly garbage: never touched
            }
        }
        if (kind == ParamType::Kind::Object) {
            outcome.adopt(static_cast<IUnknown*>(written));
        } else if (kind == ParamType::Kind::Text) {
            SysFreeString(static_cast<BSTR>(written));
        } else if (kind == ParamType::Kind::Array) {
            harvest(static_cast<SAFEARRAY*>(written), outcome);
            SafeArrayDestroy(static_cast<SAFEARRAY*>(written));
        }
    }

    // The [out] object of a member of a system interface, judged as a declared one is.
    static inline const Param kObjectOut{.type = ParamType{.kind = ParamType::Kind::Object}, .out = true};

    // The member's DISPID or another, any invoke kind, missing, extra and named arguments.
    InvokeCall planInvoke(const Member& member, HostileValues& values, bool crossProcess)
    {
        constexpr std::array<DISPID, 4> kUnused = {0x7FFF1234, INT_MIN, 0x60FFFFFF, 12345};
        constexpr std::array<WORD, 7> kKinds = {DISPATCH_METHOD,        DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                                DISPATCH_PROPERTYPUTREF, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                0,                       DISPATCH_METHOD | 0x10};
        // Which member: its own DISPID mostly, else DISPID_UNKNOWN, one nobody has, or another's.
        const std::uint32_t which = values.below(100);
        const DISPID dispid = which < 75 || (which >= 90 && dispids.empty()) ? member.dispid
                              : which < 82                                   ? DISPID_UNKNOWN
                              : which < 90                                   ? values.pick(kUnused)
                                                                             : values.pick(dispids);
        // How: as declared mostly, else any kind, puts on read-only properties and method
        // calls on properties included.
        const WORD flags = values.percent(30) ? values.pick(kKinds) : static_cast<WORD>(member.invokeKind);
        InvokeCall call{.dispid = dispid, .flags = flags};
        // With what: the declared arguments, or one fewer, one more, or any number.
        const std::size_t declared = argumentCount(member);
        const std::uint32_t shape = values.below(100);
        const std::size_t count = shape < 70 || (shape < 80 && declared == 0) ? declared
                                  : shape < 80                                 ? declared - 1
                                  : shape < 90                                 ? declared + 1
                                                                               : values.below(5);
        call.arguments.resize(count);
        for (std::size_t position = 0; position < count; ++position) {
            VARIANT& argument = call.arguments[count - 1 - position];
            const Param* param = position < declared ? &member.params[position] : nullptr;
            if (param != nullptr && values.percent(70)) {
                if (param->out) {
                    values.byReference(param->type, argument);
                } else {
                    values.valueOf(param->type, argument);
                }
            } else {
                values.anyVariant(argument);
            }
        }
        call.asDeclared = call.dispid == member.dispid && call.flags == static_cast<WORD>(member.invokeKind) &&
                          count == declared;
        if ((call.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 && count > 0 && values.percent(80)) {
            call.named.push_back(DISPID_PROPERTYPUT);
        } else if (count > 0 && values.percent(10)) {
            call.named.resize(1 + values.below(count));
            for (DISPID& name : call.named) {
                name = values.pick(std::array<DISPID, 5>{0, 1, 2, DISPID_UNKNOWN, DISPID_PROPERTYPUT});
            }
            call.asDeclared = false;
        }
        call.iid = values.percent(90) ? GUID_NULL : values.guid({});
        call.locale = values.pick(kLocales);
        // Across processes the provider's stub always passes a result of its own, so leaving it
        // out would test only the proxy; and Wine's proxy, given none, unmarshals the result
        // into a VARIANT of its own that it never clears, holding an object in it for good.
        call.wantResult = values.percent(85) || crossProcess;
        call.wantException = values.percent(85);
        call.wantArgumentError = values.percent(85);
        call.asDeclared = call.asDeclared && call.wantResult;
        return call;
    }

    CallOutcome system(const IID& iid, std::size_t member, IUnknown* face, HostileValues& values, bool crossProcess)
    {
        // A null [out] pointer only where the caller is in the provider's process: across
        // processes the stub always hands the provider storage of its own.
        const bool nullOut = !crossProcess && values.percent(10);
        const bool ofPoints = iid == IID_IEnumConnectionPoints;
        CallOutcome outcome;
        HRESULT& result = outcome.result;
        // Members that hand out an object write it over the poison; it is judged and kept below.
        OutSlot slot;
        bool handsOut = false;
        const auto into = [&] {
            handsOut = true;
            return nullOut ? nullptr : reinterpret_cast<void**>(slot.bytes);
        };
        auto* point = static_cast<IConnectionPoint*>(face);
        auto* points = static_cast<IEnumConnectionPoints*>(face);
        auto* connections = static_cast<IEnumConnections*>(face);
        if (iid == IID_IUnknown) {
            // Across processes a question for an interface nobody registered costs Wine a good
            // part of a second: such questions are asked there now and then, not every time.
            result = face->QueryInterface(
                crossProcess && values.percent(90) ? values.pick(iids) : values.guid(iids), into());
        } else if (iid == IID_IDispatch && member == 0) {
            UINT count = 0;
            result = static_cast<IDispatch*>(face)->GetTypeInfoCount(nullOut ? nullptr : &count);
        } else if (iid == IID_IDispatch && member == 2) {
            // Names of members (some in another letter case), hostile strings and null names; now
            // and then a count of none for names that are there, which across processes arrives as
            // an empty array.
            const std::size_t count = 1 + values.below(3);
            const bool noneCounted = values.percent(10);
            std::vector<std::wstring> spelled(count);
            std::vector<LPOLESTR> pointers(count);
            for (std::size_t at = 0; at < count; ++at) {
                const std::uint32_t kind = values.below(10);
                if (kind < 5) {
                    spelled[at] = values.pick(names);
                    std::transform(spelled[at].begin(), spelled[at].end(), spelled[at].begin(),
                                   [&](wchar_t c) { return kind == 0 ? static_cast<wchar_t>(std::towlower(c)) : c; });
                    pointers[at] = spelled[at].data();
                } else if (kind < 9) {
                    BSTR text = values.text();
                    pointers[at] = text == nullptr ? const_cast<LPOLESTR>(L"") : text;
                }
            }
            // No lookup answers this: a success that leaves it behind named fewer than it was asked.
            constexpr DISPID kUnwritten = 0x5EEDF00D;
            std::vector<DISPID> found(count, kUnwritten);
            const GUID of = values.percent(90) ? GUID_NULL : values.guid(iids);
            // In this process a count of none may come without any array at all.
            LPOLESTR* named = noneCounted && !crossProcess && values.percent(50) ? nullptr : pointers.data();
            result = static_cast<IDispatch*>(face)->GetIDsOfNames(of, named, noneCounted ? 0 : static_cast<UINT>(count),
                                                                  values.pick(kLocales),
                                                                  nullOut ? nullptr : found.data());
            // Across processes a provider that reads the name it was not given takes an access
            // violation, which comes back as the call's answer.
            if (noneCounted && (SUCCEEDED(result) || result == static_cast<HRESULT>(0xC0000005))) {
                outcome.faults.push_back("looked up names although none were counted");
            }
            if (result == S_OK && !nullOut && std::ranges::find(found, kUnwritten) != found.end()) {
                outcome.faults.push_back("GetIDsOfNames succeeded without an ID for every name");
            }
        } else if (iid == IID_IDispatch) {
            result = static_cast<IDispatch*>(face)->GetTypeInfo(
                values.pick(std::array<UINT, 4>{0, 1, UINT_MAX, 0x80000000u}), values.pick(kLocales),
                reinterpret_cast<ITypeInfo**>(into()));
        } else if (iid == IID_IConnectionPointContainer) {
            auto* container = static_cast<IConnectionPointContainer*>(face);
            result = member == 0 ? container->FindConnectionPoint(values.guid(iids),
                                                                  reinterpret_cast<IConnectionPoint**>(into()))
                                 : container->EnumConnectionPoints(reinterpret_cast<IEnumConnectionPoints**>(into()));
        } else if (iid == IID_IConnectionPoint && member == 0) {
            IID events{};
            result = point->GetConnectionInterface(nullOut ? nullptr : &events);
        } else if (iid == IID_IConnectionPoint && member == 1) {
            result = point->GetConnectionPointContainer(reinterpret_cast<IConnectionPointContainer**>(into()));
        } else if (iid == IID_IConnectionPoint && member == 2) {
            // No sink, an object that is no sink of these events (a refused one must not be
            // kept), or a proper sink.
            Microsoft::WRL::ComPtr<IUnknown> sink;
            const std::uint32_t kind = values.below(3);
            IID events{};
            if (kind == 1) {
                sink = values.object(IID_IUnknown);
            } else if (kind == 2 && SUCCEEDED(point->GetConnectionInterface(&events))) {
                sink = EventSink::create(events, [](DISPID, const DISPPARAMS&) {});
            }
            DWORD cookie = 0xFFFFFFFF;
            result = point->Advise(sink.Get(), nullOut ? nullptr : &cookie);
            if (SUCCEEDED(result) && !nullOut && cookie == 0) {
                outcome.faults.push_back("Advise succeeded with cookie 0");
            } else if (SUCCEEDED(result) && !nullOut) {
                advised.emplace_back(point, cookie);
            } else if (FAILED(result) && !nullOut && cookie != 0) {
                outcome.faults.push_back("Advise failed yet left a cookie");
            }
        } else if (iid == IID_IConnectionPoint && member == 3) {
            // Mostly a cookie this point gave out, else any number.
            const auto cookie = static_cast<DWORD>(values.integer({}));
            const auto held = std::find_if(advised.begin(), advised.end(), [&](const auto& given) {
                return given.first.Get() == point && values.percent(70);
            });
            result = point->Unadvise(held != advised.end() ? held->second : cookie);
            if (held != advised.end() && SUCCEEDED(result)) {
                advised.erase(held);
            }
        } else if (iid == IID_IConnectionPoint) {
            result = point->EnumConnections(reinterpret_cast<IEnumConnections**>(into()));
        } else if ((ofPoints || iid == IID_IEnumConnections) && member == 0) {
            // Asked for more than there are now and then; zeroed items, so that those handed out are
            // the non-null ones at the front.
            const ULONG count = values.pick(std::array<ULONG, 5>{0, 1, 2, 3, 100});
            std::vector<IConnectionPoint*> pointItems(count);
            std::vector<CONNECTDATA> connectionItems(count);
            ULONG fetched = 0;
            ULONG* fetchedInto = !crossProcess && values.percent(20) ? nullptr : &fetched;
            const bool nullItems = !crossProcess && values.percent(5);
            result = ofPoints ? points->Next(count, nullItems ? nullptr : pointItems.data(), fetchedInto)
                              : connections->Next(count, nullItems ? nullptr : connectionItems.data(), fetchedInto);
            const auto item = [&](ULONG at) -> IUnknown* {
                return ofPoints ? pointItems[at] : connectionItems[at].pUnk;
            };
            ULONG written = 0;
            while (!nullItems && written < count && item(written) != nullptr) {
                ++written;
            }
            if (crossProcess && written > 0) {
                // Wine's proxy of Next reads the fetched count and the HRESULT from the wrong place in
                // an answer that carries items, while the items and their references arrive intact:
                // the items tell what the enumerator answered.
                ++misread;
                fetched = written;
                result = written == count ? S_OK : S_FALSE;
            }
            // S_OK for all asked for, S_FALSE for fewer, nothing with a failure; the count as handed out.
            const bool answerWrong = SUCCEEDED(result) ? (result == S_OK) != (written == count) : written != 0;
            if (answerWrong || (fetchedInto != nullptr && fetched != written)) {
                outcome.faults.push_back("Next reported " + std::to_string(fetched) + " fetched of " +
                                         std::to_string(count) + " asked for, with " + HResultText::hex(result) +
                                         ", and handed out " + std::to_string(written));
            }
            for (ULONG at = 0; at < written; ++at) {
                if (ofPoints) {
                    outcome.adopt(item(at));
                } else {
                    item(at)->Release(); // the sinks are this program's own
                }
            }
        } else if (ofPoints || iid == IID_IEnumConnections) {
            const ULONG count = values.pick(std::array<ULONG, 5>{0, 1, 2, ULONG_MAX, 0x80000000u});
            result = member == 1   ? (ofPoints ? points->Skip(count) : connections->Skip(count))
                     : member == 2 ? (ofPoints ? points->Reset() : connections->Reset())
                     : ofPoints    ? points->Clone(reinterpret_cast<IEnumConnectionPoints**>(into()))
                                   : connections->Clone(reinterpret_cast<IEnumConnections**>(into()));
        } else if (iid == IID_IServiceProvider) {
            // Half the time the one service Office asks for, which the provider answers.
            const GUID service =
                values.percent(50) ? UCOfficeIntegration::kOfficeIntegrationService : values.guid(iids);
            result = static_cast<IServiceProvider*>(face)->QueryService(service, values.guid(iids), into());
        } else if (member == 1) {
            result = static_cast<IClassFactory*>(face)->LockServer(values.percent(50) ? TRUE : FALSE);
        } else {
            // Now and then an outer object, asking for aggregation.
            const Microsoft::WRL::ComPtr<IUnknown> outer =
                values.percent(20) ? EventSink::create(GUID_NULL, [](DISPID, const DISPPARAMS&) {}) : nullptr;
            const GUID wanted = values.guid(iids);
            result = static_cast<IClassFactory*>(face)->CreateInstance(outer.Get(), wanted, into());
        }
        if (handsOut && !nullOut) {
            checkOut(kObjectOut, slot.bytes, outcome);
        }
        if (iid == IID_IDispatch) {
            outcome.objects.clear(); // type information is not the provider's object
        }
        return outcome;
    }

    const std::vector<MEMBERID>& dispids;
    std::vector<GUID> iids;
    std::vector<std::wstring> names;
    Advised advised;
    std::size_t misread = 0;
};
