#include "tests/client/LogRecorder.h"

#include <iomanip>
#include <sstream>

using ::testing::_;

void LogRecorder::attachTo(MockPlatformHelper& helper)
{
    ON_CALL(helper, log(_, _, _, _, _))
        .WillByDefault([shared = store](const std::string& message, std::int32_t level, std::int32_t,
                                        const std::string& file, const std::string& function) {
            std::lock_guard lock(shared->mutex);
            shared->kept.push_back(Record{message, level, file, function});
        });
}

std::vector<LogRecorder::Record> LogRecorder::records() const
{
    std::lock_guard lock(store->mutex);
    return store->kept;
}

std::vector<std::string> LogRecorder::messages() const
{
    std::lock_guard lock(store->mutex);
    std::vector<std::string> result;
    for (const auto& record : store->kept) {
        result.push_back(record.message);
    }
    return result;
}

std::vector<std::string> LogRecorder::messages(std::int32_t level) const
{
    std::lock_guard lock(store->mutex);
    std::vector<std::string> result;
    for (const auto& record : store->kept) {
        if (record.level == level) {
            result.push_back(record.message);
        }
    }
    return result;
}

void LogRecorder::clear()
{
    std::lock_guard lock(store->mutex);
    store->kept.clear();
}

std::string LogRecorder::address(const void* object)
{
    std::ostringstream text;
    text << std::hex << std::uppercase << std::setw(sizeof(void*) * 2) << std::setfill('0')
         << reinterpret_cast<std::uintptr_t>(object);
    return text.str();
}
