// The registration diagnostics next to the registry reads they are made of: one run of
// CheckAllInterfaces (1,092 interface keys and 4 type library values) against the same
// 1,096 keys opened, queried and closed bare, measured alternately in the same process.
// Prints both durations and their ratio; the diagnostics should stay within 1.2 times the
// bare reads. The per-user registration is made complete in the 64-bit view for the run,
// as the messenger leaves it, and every key touched is put back afterwards.
//
// Usage: registration_diagnostics_bench [rounds]   (default 30)
#include "host/IOfficeIntegration.h"
#include "registration/ExpectedInterfaces.h"
#include "registration/RegistrationDiagnostics.h"
#include "registration/RegistryTreeSnapshot.h"
#include "registration/RegistryUtils.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace Registry = Utils::Registry;

namespace {

// A host that only counts the records, so that the figures hold the composing and the
// hand-over of every record but no sink of its own.
class CountingHost final : public IOfficeAdapterPlatformHelper {
public:
    OutlookContactStatus getContactPresence(const std::string&, PresenceCallback) override { return {}; }
    void stopContactPresence(const std::string&) override {}
    std::string getSelfUri() override { return {}; }
    void hostReservedSlot4() override {}
    void startInstantMessage(const std::vector<std::string>&, const std::string&) override {}
    void startCall(const std::vector<std::string>&) override {}
    void hostReservedSlot7() override {}
    void hostReservedSlot8() override {}
    void log(const std::string&, std::int32_t, std::int32_t, const std::string&, const std::string&) override
    {
        ++records;
    }
    void classFactoryRegistered(HRESULT) override {}

    std::atomic<long> records{0};
};

struct KeyRead {
    HKEY root;
    std::wstring path;
};

// The keys the diagnostics read, in their order.
std::vector<KeyRead> diagnosticKeys()
{
    std::vector<KeyRead> keys;
    for (const auto& row : Registry::ExpectedInterfaces) {
        const std::wstring view = std::wstring(L"SOFTWARE\\Classes\\Interface\\") + row.iid + L"\\TypeLib";
        const std::wstring wow = std::wstring(L"SOFTWARE\\Classes\\WOW6432Node\\Interface\\") + row.iid + L"\\TypeLib";
        keys.push_back({HKEY_CURRENT_USER, view});
        keys.push_back({HKEY_CURRENT_USER, wow});
        keys.push_back({HKEY_LOCAL_MACHINE, view});
        keys.push_back({HKEY_LOCAL_MACHINE, wow});
    }
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const wchar_t* platform : {L"win64", L"win32"}) {
            keys.push_back({root, Registry::typeLibPath() + L"\\1.0\\0\\" + platform});
        }
    }
    return keys;
}

// The floor: each key opened for reading, its default value queried once into a buffer
// large enough for a type library identifier, and closed.
std::size_t bareReads(const std::vector<KeyRead>& keys)
{
    std::size_t found = 0;
    for (const KeyRead& read : keys) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(read.root, read.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t buffer[64];
        DWORD type = 0;
        DWORD size = sizeof(buffer);
        if (RegQueryValueExW(key, L"", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
            ++found;
        }
        RegCloseKey(key);
    }
    return found;
}

template <typename Work>
double milliseconds(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const auto host = std::make_shared<CountingHost>();
    const auto integration = getOutlookIntegration(host);

    // The registration the messenger leaves: every interface in the per-user 64-bit view.
    std::vector<RegistryTreeSnapshot> saved;
    for (const auto& row : Registry::ExpectedInterfaces) {
        const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\Interface\\") + row.iid;
        saved.emplace_back(HKEY_CURRENT_USER, key);
        Registry::WriteString(HKEY_CURRENT_USER, key + L"\\TypeLib", L"", Registry::TypeLibId());
    }

    const std::vector<KeyRead> keys = diagnosticKeys();
    std::vector<double> diagnostics;
    std::vector<double> bare;
    bool verdict = false;
    std::size_t found = 0;
    // One warm-up each, then alternating rounds, so that both see the same cache state.
    Registry::CheckAllInterfaces();
    bareReads(keys);
    for (int round = 0; round < rounds; ++round) {
        diagnostics.push_back(milliseconds([&] { verdict = Registry::CheckAllInterfaces(); }));
        bare.push_back(milliseconds([&] { found = bareReads(keys); }));
    }

    for (auto snapshot = saved.rbegin(); snapshot != saved.rend(); ++snapshot) {
        snapshot->restore();
    }

    const double diagnosticsMedian = median(diagnostics);
    const double bareMedian = median(bare);
    std::printf("registration diagnostics: %d rounds, %zu key reads per round, %zu values found, verdict %d, "
                "%ld log records\n",
                rounds, keys.size(), found, verdict ? 1 : 0, host->records.load());
    std::printf("CheckAllInterfaces    median %8.3f ms   min %8.3f ms\n", diagnosticsMedian,
                *std::min_element(diagnostics.begin(), diagnostics.end()));
    std::printf("bare open/query/close median %8.3f ms   min %8.3f ms\n", bareMedian,
                *std::min_element(bare.begin(), bare.end()));
    std::printf("ratio (medians)       %8.3f   (target <= 1.200)\n", diagnosticsMedian / bareMedian);
    return 0;
}
