#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <mutex>

// A host helper that answers every presence question with "unknown" and prints the
// library's log records and requests to standard output.
class PrintingHelper final : public IOfficeAdapterPlatformHelper {
public:
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

private:
    std::mutex outputMutex;
};
