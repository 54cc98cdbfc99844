#include "host/HostLog.h"

#include "host/HostHelper.h"

#include <cstdint>
#include <iomanip>

void logToHost(const std::string& message, std::int32_t level, std::int32_t line, const std::string& file,
               const std::string& function)
{
    if (auto helper = HostHelper::current()) {
        helper->log(message, level, line, file, function);
    }
}

std::ostream& operator<<(std::ostream& stream, LogAddress address)
{
    const auto savedFlags = stream.flags();
    const auto savedFill = stream.fill('0');
    stream << std::hex << std::uppercase << std::setw(sizeof(void*) * 2)
           << reinterpret_cast<std::uintptr_t>(address.pointer);
    stream.fill(savedFill);
    stream.flags(savedFlags);
    return stream;
}

std::ostream& operator<<(std::ostream& stream, LogHex code)
{
    const auto savedFlags = stream.flags();
    stream << std::hex << std::nouppercase << code.value;
    stream.flags(savedFlags);
    return stream;
}
