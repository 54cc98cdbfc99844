#pragma once

#include "tools/office/DiagnosisReport.h"

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

    // Prints what it changes (or would change) and what it leaves, with why; returns the
    // number of changes that failed.
    int repair(const DiagnosisReport& diagnosis, std::string& out) const;

    // Whether this process may write machine-wide keys.
    static bool isAdministrator();

private:
    Settings settings;
};
