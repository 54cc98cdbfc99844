#include "tools/office/DiagnosisReport.h"

#include "host/TextConversion.h"

#include <algorithm>

namespace {

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

bool concerns(const std::string& findingOffice, const std::string& office)
{
    return findingOffice == office || findingOffice == "both" || office == "both";
}

} // namespace

void DiagnosisReport::ok(const std::string& check, const std::string& subject, const std::string& office,
                         const std::string& what)
{
    recorded.push_back({check, Status::Ok, subject, office, {what, {}, {}, Scope::None, {}}});
}

void DiagnosisReport::note(const std::string& check, const std::string& subject, const std::string& office,
                           const std::string& what)
{
    recorded.push_back({check, Status::Note, subject, office, {what, {}, {}, Scope::None, {}}});
}

void DiagnosisReport::problem(const std::string& check, const std::string& subject, const std::string& office,
                              Problem problem)
{
    recorded.push_back({check, Status::Fault, subject, office, std::move(problem)});
}

void DiagnosisReport::skipped(const std::string& check, const std::string& subject, const std::string& office,
                              const std::string& because)
{
    recorded.push_back({check, Status::Skipped, subject, office, {"skipped: because " + because, {}, {}, Scope::None, {}}});
}

std::optional<std::string> DiagnosisReport::blockedBy(std::initializer_list<const char*> checks,
                                                      const std::string& office) const
{
    for (const char* check : checks) {
        for (const auto& finding : recorded) {
            if (finding.check != check || !concerns(finding.office, office)) {
                continue;
            }
            if (finding.status == Status::Fault) {
                return "the " + finding.check + " link is broken (" + finding.subject + ")";
            }
            if (finding.status == Status::Skipped) {
                return finding.detail.what.substr(std::string("skipped: because ").size());
            }
        }
    }
    return std::nullopt;
}

std::size_t DiagnosisReport::faultCount() const
{
    return static_cast<std::size_t>(
        std::count_if(recorded.begin(), recorded.end(), [](const Finding& f) { return f.status == Status::Fault; }));
}

bool DiagnosisReport::hasFault(const std::string& check) const
{
    return std::any_of(recorded.begin(), recorded.end(),
                       [&](const Finding& f) { return f.status == Status::Fault && f.check == check; });
}

std::string utf8(const std::wstring& text)
{
    return TextConversion::toUtf8(text);
}

std::string quoted(const std::wstring& text)
{
    return "\"" + utf8(text) + "\"";
}

const char* DiagnosisReport::statusName(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::Note: return "note";
    case Status::Fault: return "fault";
    case Status::Skipped: return "skipped";
    }
    return "?";
}

const char* DiagnosisReport::scopeName(Scope scope)
{
    switch (scope) {
    case Scope::CurrentUser: return "HKCU";
    case Scope::Machine: return "HKLM";
    case Scope::None: break;
    }
    return "";
}

std::string DiagnosisReport::text() const
{
    std::string out;
    std::string section;
    for (const auto& finding : recorded) {
        if (finding.check != section) {
            section = finding.check;
            out += "\n[" + section + "]\n";
        }
        char mark[16];
        std::snprintf(mark, sizeof(mark), "  %-8s", finding.status == Status::Fault ? "PROBLEM" : statusName(finding.status));
        const std::string office = finding.office == "both" ? "" : " (" + finding.office + " Office)";
        out += mark + finding.subject + office + "\n           " + finding.detail.what;
        out += finding.detail.why.empty() ? "\n" : ": " + finding.detail.why + "\n";
        if (finding.status == Status::Fault) {
            const Scope scope = finding.detail.scope;
            out += "    fix:   " + finding.detail.fix +
                   (scope == Scope::None          ? std::string()
                    : scope == Scope::CurrentUser ? std::string(" [HKCU, no administrator needed")
                                                  : std::string(" [HKLM, as an administrator")) +
                   (scope == Scope::None              ? ""
                    : finding.detail.changes.empty() ? "]"
                    : scope == Scope::Machine        ? "; --repair --machine does it]"
                                                     : "; --repair does it]") + "\n";
        }
    }
    const std::size_t faults = faultCount();
    out += faults == 0 ? "\nNo problem found: Office can reach the provider.\n"
                       : "\n" + std::to_string(faults) + (faults == 1 ? " problem" : " problems") +
                             " found. Fix them in the order shown, then restart Outlook.\n";
    return out;
}

std::string DiagnosisReport::json() const
{
    std::string out = "{\"ok\":" + std::string(faultCount() == 0 ? "true" : "false") +
                      ",\"problems\":" + std::to_string(faultCount()) + ",\"findings\":[";
    bool first = true;
    for (const auto& finding : recorded) {
        out += (first ? "" : ",") + std::string("{\"check\":") + jsonString(finding.check) +
               ",\"status\":" + jsonString(statusName(finding.status)) + ",\"subject\":" + jsonString(finding.subject) +
               ",\"office\":" + jsonString(finding.office) + ",\"what\":" + jsonString(finding.detail.what);
        if (finding.status == Status::Fault) {
            out += ",\"why\":" + jsonString(finding.detail.why) + ",\"fix\":" + jsonString(finding.detail.fix) +
                   ",\"scope\":" + jsonString(scopeName(finding.detail.scope)) + ",\"administrator\":" +
                   (finding.detail.scope == Scope::Machine ? "true" : "false") +
                   ",\"repairable\":" + (finding.detail.changes.empty() ? "false" : "true");
        }
        out += "}";
        first = false;
    }
    return out + "]}";
}
