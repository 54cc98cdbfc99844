#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The links of the chain from Office to the provider, in the order Office walks them.
// The first step that fails names the link a messenger team has to look at.
enum class Link { Registry, Process, ClassObject, Marshalling, Call };

// What the Office stand-in saw: each connection step with its HRESULT, and each event
// with its data. Printed as it happens, as a readable table or as one JSON object per
// line, and kept for whoever drives the connection in-process (the tests).
class ConnectionReport {
public:
    struct Step {
        int number = 0;
        std::string name;
        Link link = Link::Call;
        HRESULT result = S_OK;
        bool ok = true;
        std::string detail;
    };
    struct Field {
        std::string key;
        std::string value;
        bool number = false; // printed without quotes in JSON: a number or a list of numbers
    };
    struct Event {
        std::string name;
        std::vector<Field> fields;
        std::string field(const std::string& key) const;
    };

    explicit ConnectionReport(bool asJson, std::FILE* destination = stdout) : json(asJson), output(destination) {}

    static const char* linkName(Link link);

    // Records and prints a step; answers `ok`.
    bool step(const std::string& name, Link link, HRESULT result, bool ok, const std::string& detail = {});
    // A step whose success is the HRESULT's.
    bool call(const std::string& name, Link link, HRESULT result, const std::string& detail = {});
    void event(const std::string& name, std::vector<Field> fields);
    void note(const std::string& text);
    // Prints which link failed first, or that every step passed.
    void summary();

    std::optional<Step> firstFailure() const;
    std::vector<Step> steps() const;
    std::vector<Event> events() const;
    // Waits until `count` events satisfy `accept`; answers whether they arrived in time.
    bool waitForEvents(const std::function<bool(const Event&)>& accept, std::size_t count,
                       std::chrono::milliseconds timeout) const;
    std::size_t countEvents(const std::function<bool(const Event&)>& accept) const;

private:
    void printLine(const std::string& line);
    static std::string quoted(const std::string& text);

    const bool json;
    std::FILE* const output;
    mutable std::mutex mutex;
    mutable std::condition_variable eventArrived;
    std::vector<Step> recordedSteps;
    std::vector<Event> recordedEvents;
    bool headerPrinted = false;
};
