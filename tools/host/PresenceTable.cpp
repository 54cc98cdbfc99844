#include "tools/host/PresenceTable.h"

#include <array>
#include <sstream>
#include <utility>

namespace {

struct StatusName {
    const char* name;
    OutlookContactStatus status;
};

constexpr std::array<StatusName, 6> kStatusNames{{
    {"present", OutlookContactStatus::OnlinePresent},
    {"away", OutlookContactStatus::OnlineAwayFromComputer},
    {"dnd", OutlookContactStatus::OnlineDoNotDisturb},
    {"oof", OutlookContactStatus::OfflineOOF},
    {"unknown", OutlookContactStatus::PresenceUnknown},
    {"evicted", OutlookContactStatus::ContactEvicted},
}};

} // namespace

std::optional<OutlookContactStatus> PresenceTable::parseStatus(const std::string& name)
{
    for (const auto& entry : kStatusNames) {
        if (name == entry.name) {
            return entry.status;
        }
    }
    return std::nullopt;
}

const char* PresenceTable::statusName(OutlookContactStatus status)
{
    for (const auto& entry : kStatusNames) {
        if (status == entry.status) {
            return entry.name;
        }
    }
    return "other";
}

void PresenceTable::loadBuiltIn()
{
    setStatus("alice@orvex.example", OutlookContactStatus::OnlinePresent);
    setStatus("bob@orvex.example", OutlookContactStatus::OnlineAwayFromComputer);
    setStatus("carol@orvex.example", OutlookContactStatus::OnlineDoNotDisturb);
    setStatus("dave@orvex.example", OutlookContactStatus::OfflineOOF);
    setStatus("erin@orvex.example", OutlookContactStatus::PresenceUnknown);
}

bool PresenceTable::load(const std::string& text, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream fields(line);
        std::string address;
        std::string statusText;
        std::string extra;
        if (!(fields >> address) || address.front() == '#') {
            continue;
        }
        fields >> statusText;
        const auto status = parseStatus(statusText);
        if (!status || status == OutlookContactStatus::ContactEvicted || (fields >> extra)) {
            error = "line " + std::to_string(number) + ": expected 'address status', got '" + line + "'";
            return false;
        }
        setStatus(address, *status);
    }
    return true;
}

void PresenceTable::setStatus(const std::string& address, OutlookContactStatus status)
{
    std::lock_guard lock(mutex);
    table[address].status = status;
}

OutlookContactStatus PresenceTable::watch(const std::string& address, Callback callback)
{
    std::lock_guard lock(mutex);
    const auto found = table.find(address);
    if (!callback) {
        return found == table.end() ? OutlookContactStatus::PresenceUnknown : found->second.status;
    }
    Entry& entry = found == table.end() ? table[address] : found->second;
    entry.callbacks.push_back(std::move(callback));
    ++entry.watches;
    return entry.status;
}

void PresenceTable::unwatch(const std::string& address)
{
    std::vector<Callback> released;
    {
        std::lock_guard lock(mutex);
        const auto found = table.find(address);
        if (found == table.end() || found->second.watches == 0) {
            return;
        }
        if (--found->second.watches == 0) {
            released.swap(found->second.callbacks);
        }
    }
    // The callbacks are destroyed here, outside the lock: they may release library objects.
}

std::vector<PresenceTable::Callback> PresenceTable::update(const std::string& address, OutlookContactStatus status)
{
    std::lock_guard lock(mutex);
    Entry& entry = table[address];
    entry.status = status;
    return entry.callbacks;
}

std::vector<PresenceTable::Callback> PresenceTable::evict(const std::string& address)
{
    std::lock_guard lock(mutex);
    const auto found = table.find(address);
    if (found == table.end()) {
        return {};
    }
    found->second.watches = 0;
    return std::exchange(found->second.callbacks, {});
}

void PresenceTable::forgetCallbacks()
{
    std::map<std::string, Entry> dropped;
    {
        std::lock_guard lock(mutex);
        for (auto& [address, entry] : table) {
            dropped[address].callbacks.swap(entry.callbacks);
            entry.watches = 0;
        }
    }
}

std::vector<std::pair<std::string, OutlookContactStatus>> PresenceTable::entries() const
{
    std::lock_guard lock(mutex);
    std::vector<std::pair<std::string, OutlookContactStatus>> result;
    for (const auto& [address, entry] : table) {
        result.emplace_back(address, entry.status);
    }
    return result;
}

std::size_t PresenceTable::callbackCount() const
{
    std::lock_guard lock(mutex);
    std::size_t count = 0;
    for (const auto& [address, entry] : table) {
        count += entry.callbacks.size();
    }
    return count;
}

std::size_t PresenceTable::watchCount() const
{
    std::lock_guard lock(mutex);
    std::size_t count = 0;
    for (const auto& [address, entry] : table) {
        count += entry.watches;
    }
    return count;
}
