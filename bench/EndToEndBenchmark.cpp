// The library at work between two processes, measured: this program plays Office, the
// messenger stand-in runs the library. Prints figures; asserts nothing.
//   end_to_end_bench [COUNT]        round trips, push latency and rate, cross-process calls per
//                                   push, start-up, memory
//   end_to_end_bench soak SECONDS   contacts created and released in a loop while the host
//                                   pushes presence for them from several threads
#include "tools/common/CrossProcessCallCounter.h"
#include "tools/common/MessengerStandIn.h"
#include "tools/common/ProductInstallation.h"
#include "tools/office/ConnectionReport.h"
#include "tools/office/EventSink.h"
#include "tools/office/HResultText.h"
#include "tools/office/OfficeConnection.h"
#include "tools/office/ProviderRegistry.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

double ticksPerMicrosecond()
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1e6;
}

std::int64_t now()
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

template <class Call>
std::vector<double> timeCalls(int count, Call&& call)
{
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    const double perMicro = ticksPerMicrosecond();
    for (int i = 0; i < count; ++i) {
        const auto began = now();
        call();
        micros.push_back(static_cast<double>(now() - began) / perMicro);
    }
    return micros;
}

double millisecondsIn(const std::string& line, const std::string& after)
{
    const auto at = line.find(after);
    return at == std::string::npos ? -1 : std::atof(line.c_str() + at + after.size());
}

// Receives one contact's presence events, notes when each arrived, and wakes a waiter
// once a given number has arrived. The waiter sleeps on an event rather than polling: a
// thread of this process waking every millisecond would compete for the machine (and for
// Wine's server) with the unmarshalling the pushes are measured through.
class ArrivalSink {
public:
    explicit ArrivalSink(std::size_t capacity)
        : arrivals(capacity), reached(CreateEventW(nullptr, TRUE, FALSE, nullptr), &CloseHandle)
    {
    }
    ComPtr<EventSink> sink()
    {
        return EventSink::create(__uuidof(_IUCCContactEvents), [this](DISPID member, const DISPPARAMS&) {
            if (member == 400) {
                const std::size_t slot = received++;
                if (slot < arrivals.size()) {
                    arrivals[slot] = now();
                }
                if (slot + 1 == target) {
                    SetEvent(reached.get());
                }
            }
        });
    }
    // Waits until `count` events in all have arrived.
    bool waitFor(std::size_t count)
    {
        ResetEvent(reached.get());
        target = count;
        if (received < count) {
            WaitForSingleObject(reached.get(), static_cast<DWORD>(kPatience.count() * 1000));
        }
        return received >= count;
    }
    std::vector<std::int64_t> arrivals;
    std::atomic<std::size_t> received{0};

private:
    std::atomic<std::size_t> target{0};
    std::unique_ptr<void, decltype(&CloseHandle)> reached;
};

struct Advice {
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};

Advice advise(IUCCContact* contact, IUnknown* sink)
{
    Advice advice;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(contact->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(container.GetAddressOf()))) &&
        SUCCEEDED(container->FindConnectionPoint(__uuidof(_IUCCContactEvents), &advice.point))) {
        advice.point->Advise(sink, &advice.cookie);
    }
    return advice;
}

ComPtr<IUCCContact> contactFor(IUCCContactManager* manager, const std::string& address, HRESULT& result)
{
    ComPtr<IUCCContact> contact;
    const std::wstring wide(address.begin(), address.end());
    BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    result = manager->GetContactByUri(text, &contact);
    SysFreeString(text);
    return contact;
}

// The samples of the latency figures: three kinds of round trip and the push.
struct LatencySamples {
    std::vector<double> information;
    std::vector<double> nothing;
    std::vector<double> clientType;
    std::vector<double> pushes;
    double pushMilliseconds = 0; // the single-thread bursts' own durations, in the host
    int pushCount = 0;
};

void timeRoundTrips(OfficeConnection& office, IUCCContact* contact, int count, LatencySamples& samples)
{
    const auto append = [](std::vector<double>& to, const std::vector<double>& from) {
        to.insert(to.end(), from.begin(), from.end());
    };
    append(samples.information, timeCalls(count, [&] {
               VARIANT value;
               VariantInit(&value);
               contact->GetContactInformation(ucPresenceAvailability, &value);
               VariantClear(&value);
           }));
    append(samples.nothing, timeCalls(count, [&] {
               UnifiedCommunicationType type{};
               contact->get_UnifiedCommunicationType(&type);
           }));
    append(samples.clientType, timeCalls(count, [&] {
               ClientType type{};
               office.client()->get_Type(&type);
           }));
}

// One report at a time from one host thread: each report's start in the host against its
// arrival here (the same performance counter in both processes).
bool timePushes(MessengerStandIn& host, ArrivalSink& arrivals, int count, LatencySamples& samples)
{
    const std::size_t first = arrivals.received;
    const std::size_t from = host.lineCount();
    host.send("burst bench@orvex.example " + std::to_string(count) + " 1 starts");
    const auto starts = host.waitForLine("burst-starts", kPatience, from);
    const auto summary = host.waitForLine("burst address=bench", kPatience, from);
    if (!starts || !arrivals.waitFor(first + static_cast<std::size_t>(count))) {
        return false;
    }
    std::istringstream numbers(starts->substr(std::string("burst-starts").size()));
    const double perMicro = ticksPerMicrosecond();
    long long start = 0;
    for (std::size_t i = 0; numbers >> start && i < static_cast<std::size_t>(count); ++i) {
        samples.pushes.push_back(static_cast<double>(arrivals.arrivals[first + i] - start) / perMicro);
    }
    samples.pushMilliseconds += summary ? millisecondsIn(*summary, "ms=") : 0.0;
    samples.pushCount += count;
    return true;
}

double fastestMedian(const LatencySamples& samples)
{
    return std::min({percentile(samples.information, 0.5), percentile(samples.nothing, 0.5),
                     percentile(samples.clientType, 0.5)});
}

std::string interfaceName(const std::string& iid)
{
    // IRemUnknown is the system's interface for remote reference counts and QueryInterface.
    static const std::pair<IID, const char*> known[] = {
        {{0x00000131, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}, "IRemUnknown"},
        {IID_IDispatch, "IDispatch"},
        {__uuidof(_IUCCContactEvents), "_IUCCContactEvents"},
        {__uuidof(IUCCContact), "IUCCContact"},
        {__uuidof(IUCCLyncClient), "IUCCLyncClient"}};
    for (const auto& [id, name] : known) {
        wchar_t text[40] = {};
        StringFromGUID2(id, text, 40);
        if (iid == std::string(text, text + std::wcslen(text))) {
            return name;
        }
    }
    return iid;
}

// Prints the calls per operation, each by interface and by the process that sent it.
void printCalls(const char* what, const CrossProcessCallCounter::Counts& fromOffice,
                const CrossProcessCallCounter::Counts& fromHost, int operations)
{
    const double total =
        static_cast<double>(CrossProcessCallCounter::total(fromOffice) + CrossProcessCallCounter::total(fromHost));
    std::printf("  per %s: %.2f (", what, total / operations);
    const char* separator = "";
    for (const auto& [sender, calls] : {std::pair{"Office", &fromOffice}, std::pair{"host", &fromHost}}) {
        for (const auto& [iid, count] : *calls) {
            std::printf("%s%s from %s %.2f", separator, interfaceName(iid).c_str(), sender,
                        static_cast<double>(count) / operations);
            separator = ", ";
        }
    }
    std::printf(")\n");
}

// Counts the calls between the two processes that one push causes, and those of one round
// trip as the yardstick: each process counts the calls it sends. The counters go in only
// now, after the latencies they would add a lock to.
void countCalls(MessengerStandIn& host, IUCCContact* asked, ArrivalSink& arrivals, int count)
{
    const auto counter = CrossProcessCallCounter::install();
    auto hostBefore = host.calls();
    if (!counter || !hostBefore) {
        std::printf("cross-process calls: cannot be counted\n");
        return;
    }
    auto officeBefore = counter->counts();
    for (int i = 0; i < count; ++i) {
        UnifiedCommunicationType type{};
        asked->get_UnifiedCommunicationType(&type);
    }
    auto officeAfter = counter->counts();
    auto hostAfter = host.calls().value_or(CrossProcessCallCounter::Counts{});
    std::printf("cross-process calls, counted by each process as it sends them, over %d of each:\n", count);
    printCalls("round trip (contact get_UnifiedCommunicationType)",
               CrossProcessCallCounter::since(officeAfter, officeBefore),
               CrossProcessCallCounter::since(hostAfter, *hostBefore), count);

    LatencySamples ignored;
    officeBefore = counter->counts();
    const auto hostBeforePushes = hostAfter;
    if (timePushes(host, arrivals, count, ignored)) {
        officeAfter = counter->counts();
        hostAfter = host.calls().value_or(CrossProcessCallCounter::Counts{});
        printCalls("push", CrossProcessCallCounter::since(officeAfter, officeBefore),
                   CrossProcessCallCounter::since(hostAfter, hostBeforePushes), count);
    }
}

// Round trips and single-thread pushes, measured in alternating rounds after the same
// warm-up: the load of the machine changes over seconds, and measured one after the other
// the two figures would each catch a different load.
void latencies(OfficeConnection& office, MessengerStandIn& host, int count)
{
    constexpr int kRounds = 10;
    constexpr int kWarmUp = 20;
    HRESULT result = S_OK;
    const auto asked = contactFor(office.contactManager(), "alice@orvex.example", result);
    const auto pushed = contactFor(office.contactManager(), "bench@orvex.example", result);
    if (!asked || !pushed) {
        std::printf("latencies: no contact (%s)\n", HResultText::hex(result).c_str());
        return;
    }
    const int pushCount = std::max(kRounds, count / 2);
    ArrivalSink arrivals(static_cast<std::size_t>(pushCount + kWarmUp) * 8);
    const auto sink = arrivals.sink();
    const Advice advice = advise(pushed.Get(), sink.Get());

    LatencySamples warmUp;
    timeRoundTrips(office, asked.Get(), kWarmUp, warmUp);
    bool pushing = timePushes(host, arrivals, kWarmUp, warmUp);
    LatencySamples samples;
    std::vector<double> roundRatios;
    for (int round = 0; round < kRounds && pushing; ++round) {
        LatencySamples thisRound;
        timeRoundTrips(office, asked.Get(), std::max(1, count / kRounds), thisRound);
        pushing = timePushes(host, arrivals, pushCount / kRounds, thisRound);
        roundRatios.push_back(percentile(thisRound.pushes, 0.5) / fastestMedian(thisRound));
        for (auto [to, from] : {std::pair{&samples.information, &thisRound.information},
                                std::pair{&samples.nothing, &thisRound.nothing},
                                std::pair{&samples.clientType, &thisRound.clientType},
                                std::pair{&samples.pushes, &thisRound.pushes}}) {
            to->insert(to->end(), from->begin(), from->end());
        }
        samples.pushMilliseconds += thisRound.pushMilliseconds;
        samples.pushCount += thisRound.pushCount;
    }

    const double informationMedian = percentile(samples.information, 0.5);
    const double nothingMedian = percentile(samples.nothing, 0.5);
    std::printf("round trip, %zu calls each in %d rounds (median / p99, microseconds):\n", samples.nothing.size(),
                kRounds);
    std::printf("  contact GetContactInformation(availability)  %8.1f / %8.1f\n", informationMedian,
                percentile(samples.information, 0.99));
    std::printf("  contact get_UnifiedCommunicationType          %8.1f / %8.1f  (does nothing)\n", nothingMedian,
                percentile(samples.nothing, 0.99));
    std::printf("  client get_Type                               %8.1f / %8.1f  (does nothing)\n",
                percentile(samples.clientType, 0.5), percentile(samples.clientType, 0.99));
    std::printf("  availability / do-nothing member on the same proxy: %.2f (target at most 1.10)\n",
                nothingMedian > 0 ? informationMedian / nothingMedian : 0.0);

    const double fastestRoundTrip = fastestMedian(samples);
    const double pushMedian = percentile(samples.pushes, 0.5);
    std::printf("push latency, host callback to Office's sink, %zu reports in the same rounds: median %.1f us, "
                "p99 %.1f us\n",
                samples.pushes.size(), pushMedian, percentile(samples.pushes, 0.99));
    std::printf("  push / fastest round trip above: %.2f (target at most 1.20)\n",
                fastestRoundTrip > 0 ? pushMedian / fastestRoundTrip : 0.0);
    if (!roundRatios.empty()) {
        std::printf("  the same ratio round by round: lowest %.2f, median %.2f, highest %.2f\n",
                    percentile(roundRatios, 0.0), percentile(roundRatios, 0.5), percentile(roundRatios, 1.0));
    }
    std::printf("  one reporting thread: %.0f reports per second\n",
                samples.pushMilliseconds > 0 ? samples.pushCount * 1000.0 / samples.pushMilliseconds : -1.0);

    // Several threads at once: the rate the sink sees.
    const std::size_t before = arrivals.received;
    const int threads = 4;
    const std::size_t from = host.lineCount();
    const auto began = std::chrono::steady_clock::now();
    host.send("burst bench@orvex.example " + std::to_string(pushCount * 4) + " " + std::to_string(threads));
    arrivals.waitFor(before + static_cast<std::size_t>(pushCount) * 4);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    host.waitForLine("burst address=bench", kPatience, from);
    std::printf("  %d reporting threads: %.0f events per second received (%zu events)\n", threads,
                static_cast<double>(arrivals.received - before) / seconds, arrivals.received - before);
    countCalls(host, asked.Get(), arrivals, std::min(pushCount, 200));
    if (advice.point) {
        advice.point->Unadvise(advice.cookie);
    }
}

void memory(OfficeConnection& office, MessengerStandIn& host, int count)
{
    const auto before = host.stats();
    std::vector<ComPtr<IUCCContact>> held;
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        held.push_back(contactFor(office.contactManager(), "m" + std::to_string(i) + "@orvex.example", result));
    }
    const auto holding = host.stats();
    held.clear();
    Sleep(500);
    const auto after = host.stats();
    std::printf("memory, %d contacts held by Office:\n", count);
    std::printf("  live library objects: %lld before, %lld holding, %lld after release\n", before.live, holding.live,
                after.live);
    std::printf("  host private bytes: %lld before, +%lld holding (%.0f bytes per contact), %+lld after release\n",
                before.privateBytes, holding.privateBytes - before.privateBytes,
                static_cast<double>(holding.privateBytes - before.privateBytes) / count,
                after.privateBytes - before.privateBytes);
}

void startUp(MessengerStandIn& host, const std::chrono::steady_clock::time_point spawned, double connectMs)
{
    const auto loaded = host.waitForLine("library loaded", kPatience);
    const auto started = host.waitForLine("integration started in", kPatience);
    std::printf("start-up:\n");
    std::printf("  getOutlookIntegration: %.1f ms, startIntegration: %.1f ms (inside the host)\n",
                loaded ? millisecondsIn(*loaded, "received in ") : -1.0,
                started ? millisecondsIn(*started, "started in ") : -1.0);
    std::printf("  host process start to Office connected: %.0f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - spawned).count());
    std::printf("  Office's connection steps: %.1f ms\n", connectMs);
    const auto reads = timeCalls(200, [] {
        const auto name = ProviderRegistry::readText(HKEY_CURRENT_USER, L"Software\\IM Providers", L"DefaultIMApp");
        LONG error = ERROR_SUCCESS;
        ProviderRegistry::readUpAndRunning(name.value, error);
        ProviderRegistry::readProviderKey(ProviderRegistry::providerKeyPath(name.value, false));
    });
    std::printf("  Office's bare registry reads (DefaultIMApp, UpAndRunning, provider key): %.1f us median\n",
                percentile(reads, 0.5));
}

int soak(OfficeConnection& office, MessengerStandIn& host, int seconds)
{
    const int perRound = 40;
    const int people = 8;
    long long failures = 0;
    long long rounds = 0;
    std::atomic<std::size_t> events{0};
    auto counter = EventSink::create(__uuidof(_IUCCContactEvents), [&events](DISPID, const DISPPARAMS&) { ++events; });
    MessengerStandIn::Stats baseline;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<std::pair<ComPtr<IUCCContact>, Advice>> held;
        for (int i = 0; i < perRound; ++i) {
            HRESULT result = S_OK;
            auto contact = contactFor(office.contactManager(), "s" + std::to_string(i % people) + "@orvex.example",
                                      result);
            if (!contact) {
                ++failures;
                continue;
            }
            Advice advice = advise(contact.Get(), counter.Get());
            failures += advice.cookie == 0 ? 1 : 0;
            held.emplace_back(std::move(contact), std::move(advice));
        }
        const std::size_t from = host.lineCount();
        for (int person = 0; person < people; person += 2) {
            host.send("burst s" + std::to_string(person) + "@orvex.example 100 4");
        }
        for (auto& [contact, advice] : held) {
            VARIANT value;
            VariantInit(&value);
            failures += FAILED(contact->GetContactInformation(ucPresenceAvailability, &value)) ? 1 : 0;
            VariantClear(&value);
        }
        host.waitForLine("burst address=s6@", kPatience, from);
        for (auto& [contact, advice] : held) {
            failures += FAILED(advice.point->Unadvise(advice.cookie)) ? 1 : 0;
        }
        held.clear();
        if (++rounds == 3) {
            baseline = host.stats();
        }
    }
    Sleep(500);
    const auto end = host.stats();
    std::printf("soak, %d s: %lld rounds of %d contacts, %zu events received, %lld unexpected failures\n", seconds,
                rounds, perRound, events.load(), failures);
    std::printf("  live library objects: %lld after warm-up, %lld at the end\n", baseline.live, end.live);
    std::printf("  host private bytes: %lld after warm-up, %lld at the end (%+lld)\n", baseline.privateBytes,
                end.privateBytes, end.privateBytes - baseline.privateBytes);
    std::printf("  host watches: %lld at the end\n", end.watches);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool soaking = argc > 1 && std::string(argv[1]) == "soak";
    const int count = soaking ? 0 : (argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000);
    const int seconds = soaking ? (argc > 2 ? std::max(5, std::atoi(argv[2])) : 180) : 0;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int exitCode = 0;
    {
        const HRESULT installed = ProductInstallation::install();
        if (FAILED(installed)) {
            std::printf("cannot install the product: %s\n", HResultText::meaning(installed).c_str());
            return 1;
        }
        const auto spawned = std::chrono::steady_clock::now();
        MessengerStandIn host(L"--no-script --log-level warning", kPatience);
        ConnectionReport report(false, nullptr);
        OfficeConnection::Settings settings;
        settings.watchRegistry = false;
        settings.waitForUp = kPatience;
        OfficeConnection office(report, settings);
        host.waitUntilReady();
        const auto connecting = std::chrono::steady_clock::now();
        if (!office.connect()) {
            const auto failure = report.firstFailure();
            std::printf("cannot connect: %s\n", failure ? failure->name.c_str() : "?");
            return 1;
        }
        const double connectMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - connecting).count();
        if (soaking) {
            exitCode = soak(office, host, seconds);
        } else {
            startUp(host, spawned, connectMs);
            latencies(office, host, count);
            memory(office, host, count / 2);
        }
        office.release();
        const auto hostExit = host.stop();
        std::printf("host exit code: %ld\n", hostExit ? static_cast<long>(*hostExit) : -1L);
        ProductInstallation::uninstall();
    }
    CoUninitialize();
    return exitCode;
}
