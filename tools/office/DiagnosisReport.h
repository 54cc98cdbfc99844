#pragma once

#include <cstdio>
#include <string>
#include <vector>

// What the installation doctor found, link by link: each finding says what was looked at,
// what is there and, for a fault, how to fix it. Printed as a readable report or as one
// JSON object, for support staff and for the scripts they run.
class DiagnosisReport {
public:
    // A note is information that is not wrong by itself (another provider registered, a
    // masked machine-wide path that a per-user one overrides). A check skipped because a
    // link before it is broken says so instead of failing a second time.
    enum class Status { Ok, Note, Fault, Skipped };

    struct Finding {
        std::string check;   // stable name of the link: "default-im-app", "type-library", ...
        Status status = Status::Ok;
        std::string subject; // the key, file or object looked at
        std::string what;    // what is there, or what is wrong
        std::string fix;     // for a fault: what to do about it
    };

    void add(Finding finding);
    void ok(const std::string& check, const std::string& subject, const std::string& what);
    void note(const std::string& check, const std::string& subject, const std::string& what);
    void fault(const std::string& check, const std::string& subject, const std::string& what, const std::string& fix);
    void skipped(const std::string& check, const std::string& subject, const std::string& why);

    const std::vector<Finding>& findings() const { return recorded; }
    std::size_t faultCount() const;
    bool hasFault(const std::string& check) const;

    std::string text() const;
    std::string json() const;

    static const char* statusName(Status status);

private:
    std::vector<Finding> recorded;
};
