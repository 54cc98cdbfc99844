#include "tools/fuzz/FuzzReport.h"

#include <cinttypes>
#include <cstdio>

const char* FuzzReport::pathName(Path path)
{
    switch (path) {
    case Invoke:
        return "Invoke";
    case Vtable:
        return "vtable";
    default:
        return "direct";
    }
}

void FuzzReport::know(const std::string& member, Path path)
{
    counts[path].try_emplace(member, 0);
}

void FuzzReport::reached(const std::string& member, Path path)
{
    ++counts[path][member];
    ++byPath[path];
    ++total;
}

void FuzzReport::fault(const std::string& member, Path path, std::uint64_t seed, const std::string& what)
{
    // One line per kind of fault of a member; its first seed replays it.
    const std::string key = member + " (" + pathName(path) + "): " + what;
    if (faults.insert(key).second) {
        std::printf("fuzz: fault: %s seed=0x%016" PRIx64 "\n", key.c_str(), seed);
        std::fflush(stdout);
    }
}

void FuzzReport::failure(const std::string& what)
{
    failures.push_back(what);
    std::printf("fuzz: failure: %s\n", what.c_str());
    std::fflush(stdout);
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
    const double seconds = elapsed.count();
    std::printf("fuzz: %s seed=0x%" PRIx64 ": %" PRIu64 " calls (Invoke %" PRIu64 ", vtable %" PRIu64
                ", direct %" PRIu64 ") in %.1f s, %.0f calls/s\n",
                mode.c_str(), seed, total, byPath[Invoke], byPath[Vtable], byPath[System], seconds,
                seconds > 0 ? static_cast<double>(total) / seconds : 0.0);
    std::set<std::string> members;
    std::size_t reachedMembers = 0;
    for (int path = Invoke; path <= System; ++path) {
        std::size_t reachedHere = 0;
        for (const auto& [member, count] : counts[path]) {
            members.insert(member);
            reachedHere += count > 0 ? 1 : 0;
        }
        std::printf("fuzz: %s: %zu of %zu members reached\n", pathName(static_cast<Path>(path)), reachedHere,
                    counts[path].size());
        reachedMembers += reachedHere;
    }
    std::printf("fuzz: interfaces answered: %zu of the type library's %zu, and system interfaces; %zu distinct "
                "members\n",
                interfacesAnswered, interfacesInLibrary, members.size());
    std::string names;
    for (const auto& name : answeredNames) {
        names += (names.empty() ? "" : " ") + name;
    }
    std::printf("fuzz: answered: %s\n", names.c_str());
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
                    "objects that arrived inside arrays of interface pointers)\n",
                    *liveAfterLeavingCom);
    }
    if (privateAfterWarmUp && privateAtEnd) {
        std::printf("fuzz: private bytes: after warm-up %llu, at end %llu, growth %lld (bound %llu)\n",
                    *privateAfterWarmUp, *privateAtEnd,
                    static_cast<long long>(*privateAtEnd) - static_cast<long long>(*privateAfterWarmUp),
                    privateBound);
    }
    if (privateAfterLeavingCom) {
        std::printf("fuzz: private bytes once this process left COM: %llu\n", *privateAfterLeavingCom);
    }
    std::printf("fuzz: faults: %zu\n", faultCount());
    std::fflush(stdout);
}
