#include "tools/office/ConnectionReport.h"

#include "tools/office/HResultText.h"

#include <algorithm>

std::string ConnectionReport::Event::field(const std::string& key) const
{
    for (const auto& entry : fields) {
        if (entry.key == key) {
            return entry.value;
        }
    }
    return {};
}

const char* ConnectionReport::linkName(Link link)
{
    switch (link) {
    case Link::Registry:
        return "registry";
    case Link::Process:
        return "process";
    case Link::ClassObject:
        return "class object";
    case Link::Marshalling:
        return "marshalling";
    case Link::Call:
        return "call";
    }
    return "?";
}

bool ConnectionReport::step(const std::string& name, Link link, HRESULT result, bool ok, const std::string& detail)
{
    Step recorded{0, name, link, result, ok, detail};
    std::string line;
    {
        std::lock_guard lock(mutex);
        recorded.number = static_cast<int>(recordedSteps.size()) + 1;
        recordedSteps.push_back(recorded);
        if (json) {
            line = "{\"type\":\"step\",\"number\":" + std::to_string(recorded.number) + ",\"name\":" + quoted(name) +
                   ",\"link\":" + quoted(linkName(link)) + ",\"hr\":" + quoted(HResultText::hex(result)) +
                   ",\"ok\":" + (ok ? "true" : "false") + ",\"meaning\":" + quoted(HResultText::meaning(result)) +
                   ",\"detail\":" + quoted(detail) + "}";
        } else {
            char head[160];
            std::snprintf(head, sizeof(head), "%3d  %-4s  %-12s  %s  %-50s ", recorded.number, ok ? "ok" : "FAIL",
                          linkName(link), HResultText::hex(result).c_str(), name.c_str());
            line = head + detail;
            if (!ok) {
                line += "\n                                   -> " + HResultText::meaning(result);
            }
            if (!headerPrinted) {
                headerPrinted = true;
                line = "  #  RESULT LINK          HRESULT     STEP                                                DETAIL\n" +
                       line;
            }
        }
    }
    printLine(line);
    return ok;
}

bool ConnectionReport::call(const std::string& name, Link link, HRESULT result, const std::string& detail)
{
    return step(name, link, result, SUCCEEDED(result), detail);
}

void ConnectionReport::event(const std::string& name, std::vector<Field> fields)
{
    std::string line;
    if (json) {
        line = "{\"type\":\"event\",\"name\":" + quoted(name);
        for (const auto& field : fields) {
            line += "," + quoted(field.key) + ":" + (field.number ? field.value : quoted(field.value));
        }
        line += "}";
    } else {
        line = "event " + name;
        for (const auto& field : fields) {
            line += " " + field.key + "=" + field.value;
        }
    }
    {
        std::lock_guard lock(mutex);
        recordedEvents.push_back(Event{name, std::move(fields)});
    }
    eventArrived.notify_all();
    printLine(line);
}

void ConnectionReport::note(const std::string& text)
{
    printLine(json ? "{\"type\":\"note\",\"text\":" + quoted(text) + "}" : "note " + text);
}

void ConnectionReport::summary()
{
    const auto failure = firstFailure();
    if (json) {
        printLine(std::string("{\"type\":\"summary\",\"ok\":") + (failure ? "false" : "true") + ",\"link\":" +
                  quoted(failure ? linkName(failure->link) : "") + ",\"step\":" +
                  quoted(failure ? failure->name : "") + ",\"hr\":" +
                  quoted(failure ? HResultText::hex(failure->result) : "") + "}");
    } else if (failure) {
        printLine("first failing link: " + std::string(linkName(failure->link)) + ", at step " +
                  std::to_string(failure->number) + " " + failure->name + ": " + HResultText::hex(failure->result) +
                  " " + HResultText::meaning(failure->result) +
                  (failure->detail.empty() ? "" : " (" + failure->detail + ")"));
    } else {
        printLine("every step passed");
    }
}

std::optional<ConnectionReport::Step> ConnectionReport::firstFailure() const
{
    std::lock_guard lock(mutex);
    const auto found = std::find_if(recordedSteps.begin(), recordedSteps.end(), [](const Step& s) { return !s.ok; });
    return found == recordedSteps.end() ? std::nullopt : std::optional<Step>(*found);
}

std::vector<ConnectionReport::Step> ConnectionReport::steps() const
{
    std::lock_guard lock(mutex);
    return recordedSteps;
}

std::vector<ConnectionReport::Event> ConnectionReport::events() const
{
    std::lock_guard lock(mutex);
    return recordedEvents;
}

bool ConnectionReport::waitForEvents(const std::function<bool(const Event&)>& accept, std::size_t count,
                                     std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    return eventArrived.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(recordedEvents.begin(), recordedEvents.end(), accept)) >= count;
    });
}

std::size_t ConnectionReport::countEvents(const std::function<bool(const Event&)>& accept) const
{
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count_if(recordedEvents.begin(), recordedEvents.end(), accept));
}

void ConnectionReport::printLine(const std::string& line)
{
    if (output == nullptr) {
        return;
    }
    std::lock_guard lock(mutex);
    std::fputs(line.c_str(), output);
    std::fputc('\n', output);
    std::fflush(output);
}

std::string ConnectionReport::quoted(const std::string& text)
{
    std::string result = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                result += escaped;
            } else {
                result += static_cast<char>(c);
            }
        }
    }
    return result + "\"";
}
