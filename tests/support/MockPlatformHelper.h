#pragma once

#include "host/IOfficeAdapterPlatformHelper.h"

#include <gmock/gmock.h>

// The host's helper as the tests see it. Log records are routed to the mock like every
// other call; tests that do not care about them use a NiceMock.
class MockPlatformHelper : public IOfficeAdapterPlatformHelper {
public:
    MOCK_METHOD(OutlookContactStatus, getContactPresence, (const std::string& address, PresenceCallback callback),
                (override));
    MOCK_METHOD(void, stopContactPresence, (const std::string& address), (override));
    MOCK_METHOD(std::string, getSelfUri, (), (override));
    MOCK_METHOD(void, hostReservedSlot4, (), (override));
    MOCK_METHOD(void, startInstantMessage,
                (const std::vector<std::string>& participantUris, const std::string& subject), (override));
    MOCK_METHOD(void, startCall, (const std::vector<std::string>& participantUris), (override));
    MOCK_METHOD(void, hostReservedSlot7, (), (override));
    MOCK_METHOD(void, hostReservedSlot8, (), (override));
    MOCK_METHOD(void, log,
                (const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
                 const std::string& function),
                (override));
    MOCK_METHOD(void, classFactoryRegistered, (HRESULT result), (override));
};
