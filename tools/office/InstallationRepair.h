#pragma once

#include "tools/office/DiagnosisReport.h"

#include <functional>
#include <set>
#include <string>

// Applies the fixes of a diagnosis that concern this provider's own keys: the current
// user's always, the machine-wide ones only when asked and run as an administrator.
// Another provider's keys, and a default that names another installed provider, are never
// touched. Each change is printed as key, value before and value after.
class InstallationRepair {
public:
    struct Settings {
        bool machineWide = false; // --machine
        bool dryRun = false;      // --dry-run: print, change nothing
    };

    explicit InstallationRepair(Settings chosen) : settings(chosen) {}

    // One round: prints what it changes (or would change) and what it leaves, with why;
    // returns the number of changes that failed.
    int repair(const DiagnosisReport& diagnosis, std::string& out) const;

    struct Outcome {
        DiagnosisReport after;
        int failures = 0;
    };
    // Rounds of repair, each followed by a diagnosis: a link that was skipped behind a
    // broken one is judged only once that one is mended, and may want a change of its own.
    // The rounds end when one changes nothing new; a change that did not hold is not made twice.
    Outcome repairAndDiagnose(const DiagnosisReport& diagnosis, const std::function<DiagnosisReport()>& diagnose,
                              std::string& out) const;

    // Whether this process may write machine-wide keys.
    static bool isAdministrator();

private:
    struct Round {
        int failures = 0;
        int changed = 0;
    };
    Round applyFixes(const DiagnosisReport& diagnosis, std::set<std::string>& made, std::string& out) const;

    Settings settings;
};
