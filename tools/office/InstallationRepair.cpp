#include "tools/office/InstallationRepair.h"

#include <windows.h>

bool InstallationRepair::isAdministrator()
{
    // What matters is the right to write the machine-wide keys, which is what an
    // administrator's token grants; asking for it answers for elevation and group alike.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

int InstallationRepair::repair(const DiagnosisReport& diagnosis, std::string& out) const
{
    std::set<std::string> made;
    return applyFixes(diagnosis, made, out).failures;
}

InstallationRepair::Outcome InstallationRepair::repairAndDiagnose(const DiagnosisReport& diagnosis,
                                                                  const std::function<DiagnosisReport()>& diagnose,
                                                                  std::string& out) const
{
    Outcome outcome{diagnosis};
    std::set<std::string> made;
    // Each round can only reveal the links behind those it mended; the chain is short, and
    // a diagnosis that kept asking for new values would otherwise never let the repair end.
    constexpr int kMostRounds = 8;
    for (int rounds = 1;; ++rounds) {
        const Round round = applyFixes(outcome.after, made, out);
        outcome.failures += round.failures;
        if (round.changed == 0 || settings.dryRun || rounds == kMostRounds) {
            return outcome;
        }
        outcome.after = diagnose();
        if (outcome.after.faultCount() == 0) {
            return outcome;
        }
    }
}

InstallationRepair::Round InstallationRepair::applyFixes(const DiagnosisReport& diagnosis, std::set<std::string>& made,
                                                         std::string& out) const
{
    const bool administrator = settings.machineWide && isAdministrator();
    const char* verb = settings.dryRun ? "would change " : "changed ";
    Round round;
    // Both Offices may read one key (Windows shares some between the views): set it once.
    for (const auto& finding : diagnosis.findings()) {
        if (finding.status != DiagnosisReport::Status::Fault) {
            continue;
        }
        const bool machine = finding.detail.scope == DiagnosisReport::Scope::Machine;
        std::string left;
        if (finding.detail.changes.empty()) {
            left = "not the repair's to make: " + finding.detail.fix;
        } else if (machine && !settings.machineWide) {
            left = "machine-wide: run as an administrator with --repair --machine, or " + finding.detail.fix;
        } else if (machine && !administrator) {
            left = "machine-wide, and this process may not write machine-wide keys: run it as an administrator";
        }
        if (!left.empty()) {
            out += "left     " + finding.subject + "\n           " + left + "\n";
            continue;
        }
        for (const auto& change : finding.detail.changes) {
            if (!made.insert(change.target()).second) {
                continue;
            }
            const LONG error = settings.dryRun ? ERROR_SUCCESS : change.apply();
            if (error == ERROR_SUCCESS) {
                out += verb + change.describe() + "\n";
                ++round.changed;
            } else {
                out += "FAILED   " + change.describe() + " (error " + std::to_string(error) + ")\n";
                ++round.failures;
            }
        }
    }
    return round;
}
