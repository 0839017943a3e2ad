// Seconds since 1970 to a UTC civil time, the same on every system.
#include "platform/platform.h"

#include <climits>
#include <cstdint>

namespace trevox {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void civil_from_days(std::int64_t days, std::int64_t& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

// The calendar computed here, the same on every system (runtimes stop at
// different years: Windows' at 3000); false when the year does not fit the
// calendar fields.
bool utc_time_from_epoch(std::int64_t seconds, CivilTime& out) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    civil_from_days(days, year, month, day);
    if (year > INT_MAX || year < static_cast<std::int64_t>(INT_MIN) + 1900) {
        return false;
    }
    out.year = static_cast<int>(year);
    out.month = month;
    out.day = day;
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest / 60 % 60);
    out.second = static_cast<int>(rest % 60);
    return true;
}

} // namespace trevox
