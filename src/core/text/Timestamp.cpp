#include "core/text/Timestamp.h"

#include <cstdio>

namespace tovi {

std::tm Clock::now() const {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::string shortTimestamp(const std::tm& t) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%d/%d %d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    return buffer;
}

std::string longTimestamp(const std::tm& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d-%d-%d %d:%d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

std::string shortTimestamp(const Clock& clock) { return shortTimestamp(clock.now()); }
std::string longTimestamp(const Clock& clock) { return longTimestamp(clock.now()); }

}  // namespace tovi
