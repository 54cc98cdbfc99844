// Contacts and presence, measured against the machinery they are built on. Prints
// figures; asserts nothing.
//
//     contacts_bench [rounds]       (default 100000; CI passes a small count)
//
// 1. A contact's whole round (GetContactByUri, one availability read, release, with its
//    log records going to a host that drops them) next to creating and releasing a bare
//    machinery object.
// 2. A host presence report delivered as an event to one advised sink next to a bare
//    IDispatch::Invoke on that sink with the same arguments.
// 3. The memory each live contact costs, over up to 10,000 live contacts, next to that
//    of a bare machinery object.
#include "client/com/Atl.h"
#include "client/com/Bstr.h"
#include "client/com/Variant.h"
#include "contacts/ContactResolver.h"
#include "contacts/UCCContactManager.h"
#include "host/IOfficeIntegration.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using orvex::com::CComObject;

namespace {

// A host that answers at once and drops every log record; it keeps the last presence
// callback it was given, so that reports can be pushed.
class QuietHost final : public IOfficeAdapterPlatformHelper {
public:
    OutlookContactStatus getContactPresence(const std::string&, PresenceCallback callback) override
    {
        if (callback) {
            lastCallback = std::move(callback);
        }
        return OutlookContactStatus::OnlinePresent;
    }
    void stopContactPresence(const std::string&) override {}
    std::string getSelfUri() override { return "me@example.org"; }
    void hostReservedSlot4() override {}
    void startInstantMessage(const std::vector<std::string>&, const std::string&) override {}
    void startCall(const std::vector<std::string>&) override {}
    void hostReservedSlot7() override {}
    void hostReservedSlot8() override {}
    void log(const std::string&, std::int32_t, std::int32_t, const std::string&, const std::string&) override {}
    void classFactoryRegistered(HRESULT) override {}

    PresenceCallback lastCallback;
};

// The smallest COM object the machinery makes.
class BareObject : public orvex::com::CComObjectRootEx, public orvex::com::Implements<IUnknown> {
public:
    using InterfaceTable = orvex::com::InterfaceTable<IUnknown>;
};

// A sink of contact events that does nothing with them.
class CountingSink : public orvex::com::CComObjectRootEx, public orvex::com::Implements<_IUCCContactEvents> {
public:
    using InterfaceTable =
        orvex::com::InterfaceTable<_IUCCContactEvents, orvex::com::Via<IDispatch, _IUCCContactEvents>>;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) noexcept override
    {
        invocations += parameters->cArgs;
        return S_OK;
    }

    std::size_t invocations = 0;
};

using Clock = std::chrono::steady_clock;

double microsecondsPer(Clock::duration elapsed, std::size_t count)
{
    return std::chrono::duration<double, std::micro>(elapsed).count() / static_cast<double>(count);
}

// The best of three runs, so that a busy machine disturbs the figure less.
template <class Body>
double timePerIteration(std::size_t count, Body body)
{
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        for (std::size_t index = 0; index < count; ++index) {
            body();
        }
        const double perIteration = microsecondsPer(Clock::now() - start, count);
        best = run == 0 ? perIteration : std::min(best, perIteration);
    }
    return best;
}

// What the process holds: its private bytes, and the bytes in use in all its heaps
// (with their bookkeeping). Some Windows layers do not report private bytes; the heap
// walk counts the same allocations everywhere.
struct Memory {
    SIZE_T privateBytes;
    SIZE_T heapBytes;
};

Memory memoryInUse()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    SIZE_T heapBytes = 0;
    for (const HANDLE heap : heaps) {
        if (!HeapLock(heap)) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                heapBytes += entry.cbData + entry.cbOverhead;
            }
        }
        HeapUnlock(heap);
    }
    return {counters.PrivateUsage, heapBytes};
}

// Bytes per object between two readings: private bytes where the system reports them,
// the heap walk otherwise.
double perObject(const Memory& before, const Memory& after, std::size_t count, const char** source)
{
    const bool havePrivate = after.privateBytes > before.privateBytes;
    *source = havePrivate ? "private bytes" : "heap bytes (no private bytes here)";
    const SIZE_T grown = havePrivate ? after.privateBytes - before.privateBytes : after.heapBytes - before.heapBytes;
    return static_cast<double>(grown) / static_cast<double>(count);
}

ComPtr<IUCCContact> contactFor(UCCContactManager& manager, const orvex::com::Bstr& address)
{
    ComPtr<IUCCContact> contact;
    if (manager.GetContactByUri(address.get(), &contact) != S_OK) {
        std::fprintf(stderr, "GetContactByUri failed\n");
        std::exit(1);
    }
    return contact;
}

void printLine(const char* what, double value, const char* unit, const char* baselineName, double baseline)
{
    std::printf("%-44s %10.3f %-6s | %-34s %10.3f %-6s | ratio %7.2f\n", what, value, unit, baselineName, baseline,
                unit, baseline > 0 ? value / baseline : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t rounds = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const std::size_t liveContacts = std::min<std::size_t>(10000, std::max<std::size_t>(rounds / 10, 100));
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    const auto host = std::make_shared<QuietHost>();
    getOutlookIntegration(host);
    ComPtr<CComObject<UCCContactManager>> manager;
    CComObject<UCCContactManager>::CreateInstance(manager);
    manager->setResolver(std::make_shared<ContactResolver>());
    const orvex::com::Bstr address(L"ann.example@example.org");

    // 1. The contact round.
    const double bare = timePerIteration(rounds, [] {
        ComPtr<CComObject<BareObject>> object;
        CComObject<BareObject>::CreateInstance(object);
    });
    const double round = timePerIteration(rounds, [&] {
        const auto contact = contactFor(*manager.Get(), address);
        orvex::com::Variant availability;
        contact->GetContactInformation(ucPresenceAvailability, availability.out());
    });

    // 2. Presence delivery to one sink.
    const auto contact = contactFor(*manager.Get(), address);
    ComPtr<CComObject<CountingSink>> sink;
    CComObject<CountingSink>::CreateInstance(sink);
    ComPtr<IConnectionPointContainer> container;
    contact.As(&container);
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID__IUCCContactEvents, &point);
    DWORD cookie = 0;
    point->Advise(static_cast<_IUCCContactEvents*>(sink.Get()), &cookie);
    const auto report = host->lastCallback;
    const double delivery = timePerIteration(rounds, [&] { report(OutlookContactStatus::OnlineDoNotDisturb); });
    std::array arguments{orvex::com::dispatchArgument(contact.Get()), orvex::com::dispatchArgument(contact.Get())};
    DISPPARAMS parameters{&arguments[0].get(), nullptr, 2, 0};
    IDispatch* asDispatch = static_cast<_IUCCContactEvents*>(sink.Get());
    const double invoke = timePerIteration(rounds, [&] {
        asDispatch->Invoke(400, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                           nullptr);
    });
    const std::size_t delivered = sink->invocations;
    point->Unadvise(cookie);

    // 3. Memory per live contact.
    std::vector<ComPtr<IUCCContact>> contacts;
    contacts.reserve(liveContacts);
    std::vector<ComPtr<CComObject<BareObject>>> bareObjects;
    bareObjects.reserve(liveContacts);
    const Memory beforeBare = memoryInUse();
    for (std::size_t index = 0; index < liveContacts; ++index) {
        bareObjects.emplace_back();
        CComObject<BareObject>::CreateInstance(bareObjects.back());
    }
    const Memory afterBare = memoryInUse();
    for (std::size_t index = 0; index < liveContacts; ++index) {
        const orvex::com::Bstr distinct(L"person" + std::to_wstring(index) + L"@example.org");
        contacts.push_back(contactFor(*manager.Get(), distinct));
    }
    const Memory afterContacts = memoryInUse();
    const char* source = nullptr;
    const double perBare = perObject(beforeBare, afterBare, liveContacts, &source);
    const double perContact = perObject(afterBare, afterContacts, liveContacts, &source);

    std::printf("contacts benchmark: %zu rounds, %zu live contacts, %zu-bit build\n", rounds, liveContacts,
                sizeof(void*) * 8);
    printLine("contact round (create, read, release)", round, "us", "bare object create+release", bare);
    std::printf("%-44s %10.0f /s\n", "contacts created and released", 1e6 / round);
    printLine("presence report delivered to one sink", delivery, "us", "bare IDispatch::Invoke", invoke);
    std::printf("%-44s %10.0f /s (%zu event arguments seen)\n", "presence reports delivered", 1e6 / delivery,
                delivered);
    printLine("memory per live contact", perContact, "B", "per bare object", perBare);
    std::printf("%-44s %s\n", "memory measured as", source);
    return 0;
}
