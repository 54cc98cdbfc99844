#include "tools/fuzz/SystemMembers.h"

#include "tools/fuzz/ResultChecker.h"
#include "tools/office/EventSink.h"

#include <servprov.h>

#include <array>
#include <climits>
#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

// Positions in interfaces().
enum Which : std::size_t {
    UnknownAt,
    DispatchAt,
    ContainerAt,
    PointAt,
    EnumPointsAt,
    EnumConnectionsAt,
    ServiceProviderAt,
    ClassFactoryAt
};

constexpr std::array<LCID, 3> kLocales = {0, 0x0409, 0x7FFFFFFF};

IUnknown* objectOf(const CONNECTDATA& item) { return item.pUnk; }
IUnknown* objectOf(IConnectionPoint* item) { return item; }

// Keeps an object handed out through an [out] pointer, or reports one handed out with a
// failure. `slot` started as null.
template <class Interface>
void keep(Interface* object, CallOutcome& outcome)
{
    if (object == nullptr) {
        return;
    }
    if (FAILED(outcome.result)) {
        outcome.faults.push_back("failed yet handed out an object");
        return;
    }
    outcome.adopt(object);
}

void expectObjectOnSuccess(const void* object, CallOutcome& outcome)
{
    if (SUCCEEDED(outcome.result) && object == nullptr) {
        outcome.faults.push_back("succeeded with a null object");
    }
}

} // namespace

const std::vector<SystemMembers::Interface>& SystemMembers::interfaces()
{
    static const std::vector<Interface> all = {
        {"IUnknown", IID_IUnknown, {"QueryInterface"}},
        {"IDispatch", IID_IDispatch, {"GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames"}},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, {"FindConnectionPoint", "EnumConnectionPoints"}},
        {"IConnectionPoint",
         IID_IConnectionPoint,
         {"GetConnectionInterface", "GetConnectionPointContainer", "Advise", "Unadvise", "EnumConnections"}},
        {"IEnumConnectionPoints", IID_IEnumConnectionPoints, {"Next", "Skip", "Reset", "Clone"}},
        {"IEnumConnections", IID_IEnumConnections, {"Next", "Skip", "Reset", "Clone"}},
        {"IServiceProvider", IID_IServiceProvider, {"QueryService"}},
        {"IClassFactory", IID_IClassFactory, {"CreateInstance", "LockServer"}},
    };
    return all;
}

SystemMembers::SystemMembers(std::vector<GUID> knownIids, std::vector<std::wstring> memberNames)
    : iids(std::move(knownIids)), names(std::move(memberNames))
{
    for (const Interface& system : interfaces()) {
        iids.push_back(system.iid);
    }
}

SystemMembers::~SystemMembers() { unadviseAll(); }

void SystemMembers::unadviseAll()
{
    for (auto& [point, cookie] : advised) {
        point->Unadvise(cookie);
    }
    advised.clear();
}

CallOutcome SystemMembers::call(std::size_t interfaceIndex, std::size_t memberIndex, IUnknown* face,
                                HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    switch (interfaceIndex) {
    case UnknownAt:
        outcome = unknown(memberIndex, face, values, crossProcess);
        break;
    case DispatchAt:
        outcome = dispatch(memberIndex, static_cast<IDispatch*>(face), values, crossProcess);
        break;
    case ContainerAt:
        outcome = container(memberIndex, static_cast<IConnectionPointContainer*>(face), values, crossProcess);
        break;
    case PointAt:
        outcome = point(memberIndex, static_cast<IConnectionPoint*>(face), values, crossProcess);
        break;
    case EnumPointsAt:
        outcome = enumerate<IEnumConnectionPoints, IConnectionPoint*>(
            memberIndex, static_cast<IEnumConnectionPoints*>(face), values, crossProcess);
        break;
    case EnumConnectionsAt:
        outcome = enumerate<IEnumConnections, CONNECTDATA>(memberIndex, static_cast<IEnumConnections*>(face), values,
                                                           crossProcess);
        break;
    case ServiceProviderAt:
        outcome = serviceProvider(static_cast<IServiceProvider*>(face), values, crossProcess);
        break;
    case ClassFactoryAt:
        outcome = classFactory(memberIndex, static_cast<IClassFactory*>(face), values, crossProcess);
        break;
    default:
        break;
    }
    ResultChecker::checkResult(outcome);
    return outcome;
}

CallOutcome SystemMembers::unknown(std::size_t, IUnknown* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    // Across processes a question for an interface nobody registered costs Wine a good
    // part of a second: such questions are asked there now and then, not every other call.
    const GUID iid = crossProcess && values.percent(90) ? iids[values.below(static_cast<std::uint32_t>(iids.size()))]
                                                        : values.guid(iids);
    if (!crossProcess && values.percent(10)) {
        outcome.result = face->QueryInterface(iid, nullptr);
        return outcome;
    }
    void* answered = nullptr;
    outcome.result = face->QueryInterface(iid, &answered);
    expectObjectOnSuccess(answered, outcome);
    keep(static_cast<IUnknown*>(answered), outcome);
    return outcome;
}

CallOutcome SystemMembers::dispatch(std::size_t member, IDispatch* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    const bool nullOut = !crossProcess && values.percent(10);
    if (member == 0) {
        UINT count = 0;
        outcome.result = face->GetTypeInfoCount(nullOut ? nullptr : &count);
    } else if (member == 1) {
        constexpr std::array<UINT, 4> indices = {0, 1, UINT_MAX, 0x80000000u};
        ITypeInfo* info = nullptr;
        outcome.result = face->GetTypeInfo(indices[values.below(indices.size())], kLocales[values.below(3)],
                                           nullOut ? nullptr : &info);
        if (info != nullptr) {
            if (FAILED(outcome.result)) {
                outcome.faults.push_back("failed yet handed out type information");
            } else {
                info->Release();
            }
        } else if (!nullOut) {
            expectObjectOnSuccess(info, outcome);
        }
    } else {
        // Names of members (some in another letter case), hostile strings and null names;
        // now and then a count of none for names that are there, which across processes
        // arrives as an empty array.
        const std::size_t count = 1 + values.below(3);
        const bool noneCounted = values.percent(10);
        std::vector<std::wstring> spelled(count);
        std::vector<LPOLESTR> pointers(count);
        for (std::size_t at = 0; at < count; ++at) {
            const std::uint32_t kind = values.below(10);
            if (kind < 5 && !names.empty()) {
                spelled[at] = names[values.below(static_cast<std::uint32_t>(names.size()))];
                if (kind == 0) {
                    for (auto& c : spelled[at]) {
                        c = static_cast<wchar_t>(towlower(c));
                    }
                }
                pointers[at] = spelled[at].data();
            } else if (kind < 9) {
                BSTR text = values.text();
                pointers[at] = text == nullptr ? const_cast<LPOLESTR>(L"") : text;
            } else {
                pointers[at] = nullptr;
            }
        }
        std::vector<DISPID> dispids(count, 0);
        const GUID iid = values.percent(90) ? GUID_NULL : values.guid(iids);
        // In this process a count of none may come without any array at all.
        LPOLESTR* named = noneCounted && !crossProcess && values.percent(50) ? nullptr : pointers.data();
        outcome.result = face->GetIDsOfNames(iid, named, noneCounted ? 0 : static_cast<UINT>(count),
                                             kLocales[values.below(3)], nullOut ? nullptr : dispids.data());
        // Across processes a provider that reads the name it was not given takes an access
        // violation, which comes back as the call's answer.
        if (noneCounted && (SUCCEEDED(outcome.result) || outcome.result == static_cast<HRESULT>(0xC0000005))) {
            outcome.faults.push_back("looked up names although none were counted");
        }
    }
    return outcome;
}

CallOutcome SystemMembers::container(std::size_t member, IConnectionPointContainer* face, HostileValues& values,
                                     bool crossProcess)
{
    CallOutcome outcome;
    const bool nullOut = !crossProcess && values.percent(10);
    if (member == 0) {
        IConnectionPoint* point = nullptr;
        outcome.result = face->FindConnectionPoint(values.guid(iids), nullOut ? nullptr : &point);
        if (!nullOut) {
            expectObjectOnSuccess(point, outcome);
        }
        keep(point, outcome);
    } else {
        IEnumConnectionPoints* enumerator = nullptr;
        outcome.result = face->EnumConnectionPoints(nullOut ? nullptr : &enumerator);
        if (!nullOut) {
            expectObjectOnSuccess(enumerator, outcome);
        }
        keep(enumerator, outcome);
    }
    return outcome;
}

CallOutcome SystemMembers::point(std::size_t member, IConnectionPoint* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    const bool nullOut = !crossProcess && values.percent(10);
    switch (member) {
    case 0: {
        IID iid{};
        outcome.result = face->GetConnectionInterface(nullOut ? nullptr : &iid);
        break;
    }
    case 1: {
        IConnectionPointContainer* owner = nullptr;
        outcome.result = face->GetConnectionPointContainer(nullOut ? nullptr : &owner);
        if (!nullOut) {
            expectObjectOnSuccess(owner, outcome);
        }
        keep(owner, outcome);
        break;
    }
    case 2: {
        // No sink, a sink of another interface, or a proper one.
        ComPtr<IUnknown> sink;
        const std::uint32_t kind = values.below(3);
        IID events{};
        if (kind == 1) {
            sink = EventSink::create(values.guid({}), [](DISPID, const DISPPARAMS&) {});
        } else if (kind == 2 && SUCCEEDED(face->GetConnectionInterface(&events))) {
            sink = EventSink::create(events, [](DISPID, const DISPPARAMS&) {});
        }
        DWORD cookie = 0xFFFFFFFF;
        const bool nullCookie = !crossProcess && values.percent(10);
        outcome.result = face->Advise(sink.Get(), nullCookie ? nullptr : &cookie);
        if (SUCCEEDED(outcome.result) && !nullCookie) {
            if (cookie == 0) {
                outcome.faults.push_back("Advise succeeded with cookie 0");
            } else {
                advised.emplace_back(face, cookie);
            }
        } else if (FAILED(outcome.result) && !nullCookie && cookie != 0) {
            outcome.faults.push_back("Advise failed yet left a cookie");
        }
        break;
    }
    case 3: {
        DWORD cookie = static_cast<DWORD>(values.integer({}));
        std::size_t held = advised.size();
        for (std::size_t at = 0; at < advised.size(); ++at) {
            if (advised[at].first.Get() == face && values.percent(70)) {
                held = at;
                cookie = advised[at].second;
                break;
            }
        }
        outcome.result = face->Unadvise(cookie);
        if (held < advised.size() && SUCCEEDED(outcome.result)) {
            advised.erase(advised.begin() + static_cast<std::ptrdiff_t>(held));
        }
        break;
    }
    default: {
        IEnumConnections* enumerator = nullptr;
        outcome.result = face->EnumConnections(nullOut ? nullptr : &enumerator);
        if (!nullOut) {
            expectObjectOnSuccess(enumerator, outcome);
        }
        keep(enumerator, outcome);
        break;
    }
    }
    return outcome;
}

template <class Enumerator, class Item>
CallOutcome SystemMembers::enumerate(std::size_t member, Enumerator* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    switch (member) {
    case 0: {
        constexpr std::array<ULONG, 5> counts = {0, 1, 2, 3, 100};
        const ULONG count = counts[values.below(counts.size())];
        // Zeroed: the items handed out are the non-null ones at the front.
        std::vector<Item> items(count);
        ULONG fetched = 0;
        const bool nullFetched = values.percent(crossProcess ? 0 : 20);
        const bool nullItems = !crossProcess && values.percent(5);
        outcome.result = face->Next(count, nullItems ? nullptr : items.data(), nullFetched ? nullptr : &fetched);
        ULONG written = 0;
        while (!nullItems && written < count && objectOf(items[written]) != nullptr) {
            ++written;
        }
        if (crossProcess && written > 0) {
            // Wine's proxy of Next reads the fetched count and the HRESULT from the wrong place
            // in an answer that carries items, while the items and their references arrive
            // intact: the items tell what the enumerator answered.
            ++misread;
            fetched = written;
            outcome.result = written == count ? S_OK : S_FALSE;
        }
        // S_OK for all asked for, S_FALSE for fewer, nothing with a failure; the count as handed out.
        const bool answerWrong = SUCCEEDED(outcome.result) ? (outcome.result == S_OK) != (written == count) : written != 0;
        if (answerWrong || (!nullFetched && fetched != written)) {
            char text[128];
            std::snprintf(text, sizeof(text), "Next reported %lu fetched of %lu asked for, with 0x%08lX, and handed out %lu",
                          fetched, count, static_cast<unsigned long>(outcome.result), written);
            outcome.faults.push_back(text);
        }
        for (ULONG at = 0; at < written; ++at) {
            if constexpr (std::is_same_v<Item, CONNECTDATA>) {
                if (items[at].pUnk != nullptr) {
                    items[at].pUnk->Release(); // the sinks are this program's own
                }
            } else {
                keep(items[at], outcome);
            }
        }
        break;
    }
    case 1: {
        constexpr std::array<ULONG, 5> counts = {0, 1, 2, ULONG_MAX, 0x80000000u};
        outcome.result = face->Skip(counts[values.below(counts.size())]);
        break;
    }
    case 2:
        outcome.result = face->Reset();
        break;
    default: {
        Enumerator* clone = nullptr;
        const bool nullOut = !crossProcess && values.percent(10);
        outcome.result = face->Clone(nullOut ? nullptr : &clone);
        if (!nullOut) {
            expectObjectOnSuccess(clone, outcome);
        }
        keep(clone, outcome);
        break;
    }
    }
    return outcome;
}

CallOutcome SystemMembers::serviceProvider(IServiceProvider* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    const GUID service = values.guid(iids);
    const GUID iid = values.guid(iids);
    const bool nullOut = !crossProcess && values.percent(10);
    void* answered = nullptr;
    outcome.result = face->QueryService(service, iid, nullOut ? nullptr : &answered);
    if (!nullOut) {
        expectObjectOnSuccess(answered, outcome);
    }
    keep(static_cast<IUnknown*>(answered), outcome);
    return outcome;
}

CallOutcome SystemMembers::classFactory(std::size_t member, IClassFactory* face, HostileValues& values,
                                        bool crossProcess)
{
    CallOutcome outcome;
    if (member == 1) {
        outcome.result = face->LockServer(values.percent(50) ? TRUE : FALSE);
        return outcome;
    }
    ComPtr<IUnknown> outer;
    if (values.percent(20)) {
        outer = EventSink::create(GUID_NULL, [](DISPID, const DISPPARAMS&) {});
    }
    const GUID iid = values.guid(iids);
    const bool nullOut = !crossProcess && values.percent(10);
    // The object Office holds: a request that is refused must leave it to its holders.
    ComPtr<IUnknown> handedOut;
    face->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(handedOut.GetAddressOf()));
    void* created = nullptr;
    outcome.result = face->CreateInstance(outer.Get(), iid, nullOut ? nullptr : &created);
    if (!nullOut) {
        expectObjectOnSuccess(created, outcome);
    }
    keep(static_cast<IUnknown*>(created), outcome);
    ComPtr<IUnknown> after;
    if (handedOut && FAILED(outcome.result) &&
        SUCCEEDED(face->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(after.GetAddressOf()))) &&
        after.Get() != handedOut.Get()) {
        outcome.faults.push_back("a refused request replaced the object already handed out");
    }
    return outcome;
}
