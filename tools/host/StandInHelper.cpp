#include "tools/host/StandInHelper.h"

#include "tools/host/HostConsole.h"
#include "tools/host/PresenceTable.h"

#include <cstdio>

StandInHelper::StandInHelper(PresenceTable& presence, HostConsole& output, std::string self)
    : table(presence), console(output), identity(std::move(self))
{
}

OutlookContactStatus StandInHelper::getContactPresence(const std::string& address, PresenceCallback callback)
{
    const bool watching = static_cast<bool>(callback);
    const OutlookContactStatus status = table.watch(address, std::move(callback));
    console.detail(std::string("getContactPresence ") + address + " -> " + PresenceTable::statusName(status) +
                   (watching ? " (watching)" : ""));
    return status;
}

void StandInHelper::stopContactPresence(const std::string& address)
{
    table.unwatch(address);
    console.detail("stopContactPresence " + address);
}

std::string StandInHelper::getSelfUri()
{
    return identity;
}

void StandInHelper::startInstantMessage(const std::vector<std::string>& participantUris, const std::string& subject)
{
    console.print("startInstantMessage participants=" + listOf(participantUris) + " subject=\"" + subject + "\"");
}

void StandInHelper::startCall(const std::vector<std::string>& participantUris)
{
    console.print("startCall participants=" + listOf(participantUris));
}

void StandInHelper::log(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
                        const std::string& function)
{
    console.logRecord(message, level, line, file, function);
}

void StandInHelper::classFactoryRegistered(HRESULT result)
{
    registration = result;
    char text[64];
    std::snprintf(text, sizeof(text), "classFactoryRegistered hr=0x%08lX", static_cast<unsigned long>(result));
    console.print(text);
}

std::string StandInHelper::listOf(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : ", ") + items[i];
    }
    return text + "]";
}
