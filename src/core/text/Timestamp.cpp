#include "core/text/Timestamp.h"

#include <cstdio>

namespace tovi {

std::tm Clock::now() const {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::string ShortTimestamp(const std::tm& t) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%d/%d %d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    return buffer;
}

std::string LongTimestamp(const std::tm& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d-%d-%d %d:%d:%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

std::string ShortTimestamp(const Clock& clock) { return ShortTimestamp(clock.now()); }
std::string LongTimestamp(const Clock& clock) { return LongTimestamp(clock.now()); }

}  // namespace tovi
