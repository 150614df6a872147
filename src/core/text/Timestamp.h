#pragma once
#include <ctime>
#include <string>

namespace tovi {

// The local time source, so tests can pin the time in status lines and stored rows.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::tm now() const;
};

// month/day hour:minute, minute always two digits: 9 December 07:05 gives "12/9 7:05".
std::string shortTimestamp(const std::tm& t);
// year-month-day hour:minute:second without leading zeros: "2016-12-9 7:5:3".
std::string longTimestamp(const std::tm& t);

std::string shortTimestamp(const Clock& clock);
std::string longTimestamp(const Clock& clock);

}  // namespace tovi
