#include "tools/fuzz/FuzzReport.h"

#include <cinttypes>
#include <cstdio>

const char* FuzzReport::pathName(Path path)
{
    return path == Invoke ? "Invoke" : path == Vtable ? "vtable" : "direct";
}

void FuzzReport::reached(const std::string& member, Path path)
{
    ++counts[path][member];
    ++byPath[path];
}

bool FuzzReport::wasReached(const std::string& member, Path path) const
{
    const auto found = counts[path].find(member);
    return found != counts[path].end() && found->second > 0;
}

void FuzzReport::fault(const std::string& member, Path path, std::uint64_t seed, const std::string& what)
{
    // One line for each kind of fault of a member; its first seed replays it.
    const std::string key = member + " (" + pathName(path) + "): " + what;
    if (faults.insert(key).second) {
        std::printf("fuzz: fault: %s seed=0x%016" PRIx64 "\n", key.c_str(), seed);
    }
}

void FuzzReport::failure(const std::string& what)
{
    failures.push_back(what);
    std::printf("fuzz: failure: %s\n", what.c_str());
}

std::vector<std::string> FuzzReport::unreached() const
{
    std::vector<std::string> missing;
    for (int path = Invoke; path <= System; ++path) {
        for (const auto& [member, count] : counts[path]) {
            if (count == 0) {
                missing.push_back(member + " (" + pathName(static_cast<Path>(path)) + ")");
            }
        }
    }
    return missing;
}

void FuzzReport::print(const std::string& mode, std::uint64_t seed, std::chrono::duration<double> elapsed) const
{
    const std::uint64_t total = byPath[Invoke] + byPath[Vtable] + byPath[System];
    std::printf("fuzz: %s seed=0x%" PRIx64 ": %" PRIu64 " calls (Invoke %" PRIu64 ", vtable %" PRIu64
                ", direct %" PRIu64 ") in %.1f s\n",
                mode.c_str(), seed, total, byPath[Invoke], byPath[Vtable], byPath[System], elapsed.count());
    for (int path = Invoke; path <= System; ++path) {
        std::size_t reachedHere = 0;
        for (const auto& [member, count] : counts[path]) {
            reachedHere += count > 0 ? 1 : 0;
        }
        std::printf("fuzz: %s: %zu of %zu members reached\n", pathName(static_cast<Path>(path)), reachedHere,
                    counts[path].size());
    }
    std::string names;
    for (const auto& name : answeredNames) {
        names += " " + name;
    }
    std::printf("fuzz: interfaces answered: %zu of the type library's %zu, and system interfaces:%s\n",
                answeredNames.size(), interfacesInLibrary, names.c_str());
    for (const auto& missing : unreached()) {
        std::printf("fuzz: not reached: %s\n", missing.c_str());
    }
    std::printf("fuzz: events received: %zu\n", eventsReceived);
    if (misreadAnswers > 0) {
        std::printf("fuzz: enumerator answers misread by the proxy (judged by their items): %zu\n", misreadAnswers);
    }
    std::printf("fuzz: live objects: at start %ld, at end %ld\n", liveAtStart.value_or(-1), liveAtEnd.value_or(-1));
    if (liveAfterLeavingCom) {
        std::printf("fuzz: live objects once this process left COM: %ld (until then Wine's proxies hold the "
                    "objects that arrived inside arrays of interface pointers), private bytes %llu\n",
                    *liveAfterLeavingCom, privateAfterLeavingCom.value_or(0));
    }
    if (privateAfterWarmUp && privateAtEnd) {
        std::printf("fuzz: private bytes: after warm-up %llu, at end %llu, growth %lld\n", *privateAfterWarmUp,
                    *privateAtEnd, static_cast<long long>(*privateAtEnd) - static_cast<long long>(*privateAfterWarmUp));
    }
    std::printf("fuzz: faults: %zu\n", faultCount());
}
