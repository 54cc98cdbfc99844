#pragma once

#include "tools/office/RegistryChange.h"

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// What the installation doctor found, link by link: each finding says what was looked at,
// what is there, which Office bitness it concerns and, for a problem, why Office fails, the
// fix, where the fix acts and whether it needs an administrator. Printed as a readable
// report or as one JSON object, for support staff and for the scripts they run.
class DiagnosisReport {
public:
    // A note is information that is not wrong by itself (another provider registered, a
    // masked machine-wide path that a per-user one overrides). A check skipped because a
    // link before it is broken says so, naming that link, instead of failing a second time.
    enum class Status { Ok, Note, Fault, Skipped };
    // Where a fix acts: the current user's keys, the machine-wide ones (an administrator's
    // task), or outside the registry (start the messenger, restart Outlook).
    enum class Scope { None, CurrentUser, Machine };

    struct Problem {
        std::string what; // what is wrong
        std::string why;  // why Office fails because of it
        std::string fix;
        Scope scope = Scope::None;
        // What --repair sets; empty when the fix is not the repair's to make.
        std::vector<RegistryChange> changes;
    };

    struct Finding {
        std::string check;   // stable name of the link: "default-im-app", "type-library", ...
        Status status = Status::Ok;
        std::string subject; // the key, file or object looked at
        std::string office;  // the Office bitness concerned: "64-bit", "32-bit" or "both"
        Problem detail;      // `what` for every finding, the rest for a problem
    };

    void ok(const std::string& check, const std::string& subject, const std::string& office, const std::string& what);
    void note(const std::string& check, const std::string& subject, const std::string& office,
              const std::string& what);
    void problem(const std::string& check, const std::string& subject, const std::string& office, Problem problem);
    void skipped(const std::string& check, const std::string& subject, const std::string& office,
                 const std::string& because);

    // Why a link that depends on `checks` cannot be judged for `office`: the first of them
    // found broken (or itself skipped) for that Office or for both, named.
    std::optional<std::string> blockedBy(std::initializer_list<const char*> checks, const std::string& office) const;

    const std::vector<Finding>& findings() const { return recorded; }
    std::size_t faultCount() const;
    bool hasFault(const std::string& check) const;

    std::string text() const;
    std::string json() const;

    static const char* statusName(Status status);
    static const char* scopeName(Scope scope);

private:
    std::vector<Finding> recorded;
};

// A registry name or value as findings print it: in UTF-8, and quoted as a value.
std::string utf8(const std::wstring& text);
std::string quoted(const std::wstring& text);
