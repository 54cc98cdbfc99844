#include "tools/host/PrintingHelper.h"

#include <cstdio>

OutlookContactStatus PrintingHelper::getContactPresence(const std::string& address, PresenceCallback /*callback*/)
{
    std::lock_guard lock(outputMutex);
    std::printf("host: presence asked for %s\n", address.c_str());
    return OutlookContactStatus::PresenceUnknown;
}

void PrintingHelper::stopContactPresence(const std::string& address)
{
    std::lock_guard lock(outputMutex);
    std::printf("host: stop watching %s\n", address.c_str());
}

std::string PrintingHelper::getSelfUri() { return "me@orvex.example"; }

void PrintingHelper::startInstantMessage(const std::vector<std::string>& participantUris, const std::string& subject)
{
    std::lock_guard lock(outputMutex);
    std::printf("host: instant message with %zu participant(s), subject \"%s\"\n", participantUris.size(),
                subject.c_str());
}

void PrintingHelper::startCall(const std::vector<std::string>& participantUris)
{
    std::lock_guard lock(outputMutex);
    std::printf("host: call with %zu participant(s)\n", participantUris.size());
}

void PrintingHelper::log(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
                         const std::string& function)
{
    std::lock_guard lock(outputMutex);
    std::printf("log [%d] %s:%d %s: %s\n", level, file.c_str(), line, function.c_str(), message.c_str());
}

void PrintingHelper::classFactoryRegistered(HRESULT result)
{
    std::lock_guard lock(outputMutex);
    std::printf("host: class factory registered, hr 0x%08lx\n", static_cast<unsigned long>(result));
}
