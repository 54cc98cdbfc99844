#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <atomic>
#include <string>

class HostConsole;
class PresenceTable;

// The messenger's side of the boundary as the stand-in plays it: presence comes from the
// table, conversations and log records are printed.
class StandInHelper final : public IOfficeAdapterPlatformHelper {
public:
    StandInHelper(PresenceTable& presence, HostConsole& output, std::string self);

    OutlookContactStatus getContactPresence(const std::string& address, PresenceCallback callback) override;
    void stopContactPresence(const std::string& address) override;
    std::string getSelfUri() override;
    void hostReservedSlot4() override {}
    void startInstantMessage(const std::vector<std::string>& participantUris, const std::string& subject) override;
    void startCall(const std::vector<std::string>& participantUris) override;
    void hostReservedSlot7() override {}
    void hostReservedSlot8() override {}
    void log(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
             const std::string& function) override;
    void classFactoryRegistered(HRESULT result) override;

    HRESULT lastRegistrationResult() const { return registration.load(); }

    static std::string listOf(const std::vector<std::string>& items);

private:
    PresenceTable& table;
    HostConsole& console;
    const std::string identity;
    std::atomic<HRESULT> registration{S_FALSE};
};
