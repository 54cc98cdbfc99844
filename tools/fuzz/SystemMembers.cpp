#include "tools/fuzz/SystemMembers.h"

#include "tools/office/EventSink.h"

#include <servprov.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::array<LCID, 3> kLocales = {0, 0x0409, 0x7FFFFFFF};

// Keeps an object handed out through an [out] pointer that started as null; reports one
// handed out with a failure, and a success with none.
void keep(IUnknown* object, bool nullOut, CallOutcome& outcome)
{
    if (object != nullptr && FAILED(outcome.result)) {
        outcome.faults.push_back("failed yet handed out an object");
    } else if (object != nullptr) {
        outcome.adopt(object);
    } else if (SUCCEEDED(outcome.result) && !nullOut) {
        outcome.faults.push_back("succeeded with a null object");
    }
}

ComPtr<IUnknown> sinkFor(const IID& events)
{
    return EventSink::create(events, [](DISPID, const DISPPARAMS&) {});
}

} // namespace

SystemMembers::SystemMembers(const TypeCatalog& catalog) : iids(catalog.iids())
{
    for (const InterfaceEntry& entry : catalog.interfaces()) {
        for (const Member& member : entry.members) {
            names.emplace_back(member.name.begin(), member.name.end());
        }
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

CallOutcome SystemMembers::call(const InterfaceEntry& described, std::size_t member, IUnknown* face,
                                HostileValues& values, bool crossProcess)
{
    // A null [out] pointer only where the caller is in the provider's process: across
    // processes the stub always hands the provider storage of its own.
    const bool nullOut = !crossProcess && values.percent(10);
    const IID& iid = described.iid;
    if (iid == IID_IUnknown) {
        return queryInterface(face, values, crossProcess);
    }
    if (iid == IID_IDispatch) {
        return dispatch(member, static_cast<IDispatch*>(face), values, crossProcess);
    }
    if (iid == IID_IConnectionPointContainer) {
        return container(member, static_cast<IConnectionPointContainer*>(face), values, nullOut);
    }
    if (iid == IID_IConnectionPoint) {
        return point(member, static_cast<IConnectionPoint*>(face), values, nullOut);
    }
    if (iid == IID_IEnumConnectionPoints || iid == IID_IEnumConnections) {
        return enumerator(member, face, iid == IID_IEnumConnectionPoints, values, crossProcess);
    }
    if (iid == IID_IClassFactory) {
        return create(member, static_cast<IClassFactory*>(face), values, nullOut);
    }
    CallOutcome outcome;
    void* answered = nullptr;
    const GUID service = values.guid(iids);
    outcome.result =
        static_cast<IServiceProvider*>(face)->QueryService(service, values.guid(iids), nullOut ? nullptr : &answered);
    keep(static_cast<IUnknown*>(answered), nullOut, outcome);
    return outcome;
}

CallOutcome SystemMembers::queryInterface(IUnknown* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    // Across processes a question for an interface nobody registered costs Wine a good part
    // of a second: such questions are asked there now and then, not every other call.
    const GUID iid = crossProcess && values.percent(90) ? iids[values.below(iids.size())] : values.guid(iids);
    if (!crossProcess && values.percent(10)) {
        outcome.result = face->QueryInterface(iid, nullptr);
        return outcome;
    }
    void* answered = nullptr;
    outcome.result = face->QueryInterface(iid, &answered);
    keep(static_cast<IUnknown*>(answered), false, outcome);
    return outcome;
}

CallOutcome SystemMembers::dispatch(std::size_t member, IDispatch* face, HostileValues& values, bool crossProcess)
{
    CallOutcome outcome;
    const bool nullOut = !crossProcess && values.percent(10);
    if (member == 0) {
        UINT count = 0;
        outcome.result = face->GetTypeInfoCount(nullOut ? nullptr : &count);
        return outcome;
    }
    if (member == 1) {
        constexpr std::array<UINT, 4> indices = {0, 1, UINT_MAX, 0x80000000u};
        ITypeInfo* info = nullptr;
        outcome.result = face->GetTypeInfo(indices[values.below(indices.size())], kLocales[values.below(3)],
                                           nullOut ? nullptr : &info);
        keep(info, nullOut, outcome);
        outcome.objects.clear(); // type information is not the provider's object
        return outcome;
    }
    // Names of members (some in another letter case), hostile strings and null names; now
    // and then a count of none for names that are there, which across processes arrives as
    // an empty array.
    const std::size_t count = 1 + values.below(3);
    const bool noneCounted = values.percent(10);
    std::vector<std::wstring> spelled(count);
    std::vector<LPOLESTR> pointers(count);
    for (std::size_t at = 0; at < count; ++at) {
        const std::uint32_t kind = values.below(10);
        if (kind < 5 && !names.empty()) {
            spelled[at] = names[values.below(names.size())];
            for (auto& c : spelled[at]) {
                c = kind == 0 ? static_cast<wchar_t>(std::towlower(c)) : c;
            }
            pointers[at] = spelled[at].data();
        } else if (kind < 9) {
            BSTR text = values.text();
            pointers[at] = text == nullptr ? const_cast<LPOLESTR>(L"") : text;
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
    return outcome;
}

CallOutcome SystemMembers::container(std::size_t member, IConnectionPointContainer* face, HostileValues& values,
                                     bool nullOut)
{
    CallOutcome outcome;
    if (member == 0) {
        IConnectionPoint* point = nullptr;
        outcome.result = face->FindConnectionPoint(values.guid(iids), nullOut ? nullptr : &point);
        keep(point, nullOut, outcome);
    } else {
        IEnumConnectionPoints* points = nullptr;
        outcome.result = face->EnumConnectionPoints(nullOut ? nullptr : &points);
        keep(points, nullOut, outcome);
    }
    return outcome;
}

CallOutcome SystemMembers::point(std::size_t member, IConnectionPoint* face, HostileValues& values, bool nullOut)
{
    CallOutcome outcome;
    if (member == 0) {
        IID events{};
        outcome.result = face->GetConnectionInterface(nullOut ? nullptr : &events);
    } else if (member == 1) {
        IConnectionPointContainer* owner = nullptr;
        outcome.result = face->GetConnectionPointContainer(nullOut ? nullptr : &owner);
        keep(owner, nullOut, outcome);
    } else if (member == 2) {
        // No sink, a sink of another interface, or a proper one.
        ComPtr<IUnknown> sink;
        const std::uint32_t kind = values.below(3);
        IID events{};
        if (kind == 1) {
            sink = sinkFor(values.guid({}));
        } else if (kind == 2 && SUCCEEDED(face->GetConnectionInterface(&events))) {
            sink = sinkFor(events);
        }
        DWORD cookie = 0xFFFFFFFF;
        outcome.result = face->Advise(sink.Get(), nullOut ? nullptr : &cookie);
        if (SUCCEEDED(outcome.result) && !nullOut) {
            if (cookie == 0) {
                outcome.faults.push_back("Advise succeeded with cookie 0");
            } else {
                advised.emplace_back(face, cookie);
            }
        } else if (FAILED(outcome.result) && !nullOut && cookie != 0) {
            outcome.faults.push_back("Advise failed yet left a cookie");
        }
    } else if (member == 3) {
        // Mostly a cookie this point gave out, else any number.
        DWORD cookie = static_cast<DWORD>(values.integer({}));
        auto held = advised.end();
        for (auto at = advised.begin(); at != advised.end() && held == advised.end(); ++at) {
            if (at->first.Get() == face && values.percent(70)) {
                held = at;
                cookie = at->second;
            }
        }
        outcome.result = face->Unadvise(cookie);
        if (held != advised.end() && SUCCEEDED(outcome.result)) {
            advised.erase(held);
        }
    } else {
        IEnumConnections* connections = nullptr;
        outcome.result = face->EnumConnections(nullOut ? nullptr : &connections);
        keep(connections, nullOut, outcome);
    }
    return outcome;
}

CallOutcome SystemMembers::enumerator(std::size_t member, IUnknown* face, bool ofPoints, HostileValues& values,
                                      bool crossProcess)
{
    auto* points = static_cast<IEnumConnectionPoints*>(face);
    auto* connections = static_cast<IEnumConnections*>(face);
    CallOutcome outcome;
    if (member == 1) {
        constexpr std::array<ULONG, 5> counts = {0, 1, 2, ULONG_MAX, 0x80000000u};
        const ULONG count = counts[values.below(counts.size())];
        outcome.result = ofPoints ? points->Skip(count) : connections->Skip(count);
        return outcome;
    }
    if (member == 2) {
        outcome.result = ofPoints ? points->Reset() : connections->Reset();
        return outcome;
    }
    if (member == 3) {
        const bool nullOut = !crossProcess && values.percent(10);
        IUnknown* clone = nullptr;
        outcome.result = ofPoints ? points->Clone(nullOut ? nullptr : reinterpret_cast<IEnumConnectionPoints**>(&clone))
                                  : connections->Clone(nullOut ? nullptr : reinterpret_cast<IEnumConnections**>(&clone));
        keep(clone, nullOut, outcome);
        return outcome;
    }
    // Next, asked for more than there are now and then; zeroed items, so that those handed
    // out are the non-null ones at the front.
    constexpr std::array<ULONG, 5> counts = {0, 1, 2, 3, 100};
    const ULONG count = counts[values.below(counts.size())];
    std::vector<IConnectionPoint*> pointItems(count);
    std::vector<CONNECTDATA> connectionItems(count);
    ULONG fetched = 0;
    const bool nullFetched = values.percent(crossProcess ? 0 : 20);
    const bool nullItems = !crossProcess && values.percent(5);
    outcome.result = ofPoints ? points->Next(count, nullItems ? nullptr : pointItems.data(),
                                             nullFetched ? nullptr : &fetched)
                              : connections->Next(count, nullItems ? nullptr : connectionItems.data(),
                                                  nullFetched ? nullptr : &fetched);
    ULONG written = 0;
    while (!nullItems && written < count &&
           (ofPoints ? pointItems[written] != nullptr : connectionItems[written].pUnk != nullptr)) {
        ++written;
    }
    if (crossProcess && written > 0) {
        // Wine's proxy of Next reads the fetched count and the HRESULT from the wrong place in
        // an answer that carries items, while the items and their references arrive intact:
        // the items tell what the enumerator answered.
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
        if (ofPoints) {
            outcome.adopt(pointItems[at]);
        } else {
            connectionItems[at].pUnk->Release(); // the sinks are this program's own
        }
    }
    return outcome;
}

CallOutcome SystemMembers::create(std::size_t member, IClassFactory* face, HostileValues& values, bool nullOut)
{
    CallOutcome outcome;
    if (member == 1) {
        outcome.result = face->LockServer(values.percent(50) ? TRUE : FALSE);
        return outcome;
    }
    const ComPtr<IUnknown> outer = values.percent(20) ? sinkFor(GUID_NULL) : nullptr;
    const GUID iid = values.guid(iids);
    // The object Office holds: a request that is refused must leave it to its holders.
    ComPtr<IUnknown> handedOut;
    face->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(handedOut.GetAddressOf()));
    void* created = nullptr;
    outcome.result = face->CreateInstance(outer.Get(), iid, nullOut ? nullptr : &created);
    keep(static_cast<IUnknown*>(created), nullOut, outcome);
    ComPtr<IUnknown> after;
    if (handedOut && FAILED(outcome.result) &&
        SUCCEEDED(face->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(after.GetAddressOf()))) &&
        after.Get() != handedOut.Get()) {
        outcome.faults.push_back("a refused request replaced the object already handed out");
    }
    return outcome;
}
