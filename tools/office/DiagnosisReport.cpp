#include "tools/office/DiagnosisReport.h"

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

} // namespace

void DiagnosisReport::add(Finding finding)
{
    recorded.push_back(std::move(finding));
}

void DiagnosisReport::ok(const std::string& check, const std::string& subject, const std::string& what)
{
    add({check, Status::Ok, subject, what, {}});
}

void DiagnosisReport::note(const std::string& check, const std::string& subject, const std::string& what)
{
    add({check, Status::Note, subject, what, {}});
}

void DiagnosisReport::fault(const std::string& check, const std::string& subject, const std::string& what,
                            const std::string& fix)
{
    add({check, Status::Fault, subject, what, fix});
}

void DiagnosisReport::skipped(const std::string& check, const std::string& subject, const std::string& why)
{
    add({check, Status::Skipped, subject, why, {}});
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
        out += mark + finding.subject + "\n           " + finding.what + "\n";
        if (!finding.fix.empty()) {
            out += "    fix:   " + finding.fix + "\n";
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
               ",\"what\":" + jsonString(finding.what);
        if (!finding.fix.empty()) {
            out += ",\"fix\":" + jsonString(finding.fix);
        }
        out += "}";
        first = false;
    }
    return out + "]}";
}
