#include "scan/moments.h"

namespace {

constexpr std::int64_t TicksPerHour = 36'000'000'000;
constexpr std::int64_t TicksPerDay = 24 * TicksPerHour;

} // namespace

bool MomentInstant(TMoment moment, std::int64_t nowUtc, TLocalTimeConverter& zone, std::int64_t& instant) {
    if (moment == TMoment::LastHour) {
        instant = nowUtc - TicksPerHour;
        return nowUtc >= TicksPerHour;
    }
    SYSTEMTIME today;
    if (!zone.ToLocal(FileTimeOfTicks(nowUtc), today)) {
        return false;
    }
    // Days are counted on the calendar, never as 24 hours: a day of a daylight-saving change has 23
    // or 25.
    const std::int64_t daysBack = moment == TMoment::Today ? 0 : moment == TMoment::Yesterday ? 1 : 7;
    today.wHour = today.wMinute = today.wSecond = today.wMilliseconds = 0;
    FILETIME date;
    SYSTEMTIME day;
    if (!SystemTimeToFileTime(&today, &date) || FileTimeTicks(date) < daysBack * TicksPerDay) {
        return false;
    }
    const FILETIME earlier = FileTimeOfTicks(FileTimeTicks(date) - daysBack * TicksPerDay);
    return FileTimeToSystemTime(&earlier, &day) && zone.DayStart(day, instant);
}
