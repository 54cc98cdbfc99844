#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The figures of one run: calls by path, which members were reached and how often, the
// faults found (each printed once, with the member and the seed that found it), and the
// live objects and private bytes measured.
class FuzzReport {
public:
    // "direct": the system interfaces' members, called as the system declares them.
    enum Path { Invoke, Vtable, System };
    static const char* pathName(Path path);

    // A member the walk could reach by this path (its object answered the interface).
    void know(const std::string& member, Path path) { counts[path].try_emplace(member, 0); }
    void reached(const std::string& member, Path path);
    bool wasReached(const std::string& member, Path path) const;
    void fault(const std::string& member, Path path, std::uint64_t seed, const std::string& what);
    void failure(const std::string& what);
    std::vector<std::string> unreached() const;
    std::size_t faultCount() const { return faults.size() + failures.size(); }

    void print(const std::string& mode, std::uint64_t seed, std::chrono::duration<double> elapsed) const;

    std::optional<long> liveAtStart;
    std::optional<long> liveAtEnd;
    // Across processes: the figures again once this process has left COM.
    std::optional<long> liveAfterLeavingCom;
    std::optional<unsigned long long> privateAfterLeavingCom;
    std::optional<unsigned long long> privateAfterWarmUp;
    std::optional<unsigned long long> privateAtEnd;
    std::size_t eventsReceived = 0;
    std::size_t misreadAnswers = 0;
    std::size_t interfacesInLibrary = 0;
    std::vector<std::string> answeredNames;

private:
    std::map<std::string, std::uint64_t> counts[3];
    std::set<std::string> faults;
    std::vector<std::string> failures;
    std::uint64_t byPath[3] = {};
};
