#pragma once

#include "host/LogLevel.h"

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

// The library keeps no log of its own: every record goes to the host's helper, or
// nowhere when there is none yet. An exception thrown by the host's log passes to the
// caller.
void logToHost(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
               const std::string& function);

// Streams an object's address as zero-padded upper-case hexadecimal of the pointer's
// width, without prefix: eight digits on the 32-bit product.
struct LogAddress {
    const void* pointer;
};
std::ostream& operator<<(std::ostream& stream, LogAddress address);

// Streams an HRESULT (or any 32-bit code) as lower-case hexadecimal of its unsigned bit
// pattern, without prefix: 0x80004005 prints as 80004005.
struct LogHex {
    std::uint32_t value;
    explicit LogHex(HRESULT code) : value(static_cast<std::uint32_t>(code)) {}
};
std::ostream& operator<<(std::ostream& stream, LogHex code);

// Composes one record in a single stream and hands it to the host. The translation unit
// that logs names its source file once, as `kLogSource`:
//
//     constexpr char kLogSource[] = "LocalServer";
//     ORVEX_LOG(LogLevel::Info, "LocalServer::startIntegration", "starting");
//     ORVEX_LOG(LogLevel::Debug, "LocalServer::LocalServer", "Constructor: " << LogAddress{this});
#define ORVEX_LOG(level, function, streamed)                                                                \
    do {                                                                                                    \
        std::ostringstream orvexLogStream;                                                                  \
        orvexLogStream << streamed;                                                                         \
        ::logToHost(orvexLogStream.str(), static_cast<std::int32_t>(level), __LINE__, kLogSource, function); \
    } while (false)
