#include "scan/local_time.h"

#include "scan/date_time.h"

std::int64_t FileTimeTicks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

FILETIME FileTimeOfTicks(std::int64_t ticks) {
    const auto value = static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

namespace {

constexpr std::int64_t TicksPerMinute = 600'000'000;

std::int64_t TicksOf(const SYSTEMTIME& fields) {
    FILETIME time;
    if (!SystemTimeToFileTime(&fields, &time)) {
        return 0;
    }
    return FileTimeTicks(time);
}

// The local moment of a transition in the given year. A rule without a year means "the wDay-th
// wDayOfWeek of wMonth" (5: the last one); a rule with a year is a fixed date.
std::int64_t TransitionTicks(const SYSTEMTIME& rule, int year) {
    SYSTEMTIME moment{};
    moment.wYear = static_cast<WORD>(year);
    moment.wMonth = rule.wMonth;
    moment.wHour = rule.wHour;
    moment.wMinute = rule.wMinute;
    moment.wSecond = rule.wSecond;
    moment.wMilliseconds = rule.wMilliseconds;
    if (rule.wYear != 0) {
        moment.wDay = rule.wDay;
        return TicksOf(moment);
    }
    moment.wDay = 1;
    FILETIME first;
    SYSTEMTIME withWeekday;
    if (!SystemTimeToFileTime(&moment, &first) || !FileTimeToSystemTime(&first, &withWeekday)) {
        return 0;
    }
    int day = 1 + (rule.wDayOfWeek + 7 - withWeekday.wDayOfWeek) % 7 + (rule.wDay - 1) * 7;
    while (day > DaysInMonth(year, rule.wMonth)) {
        day -= 7;
    }
    moment.wDay = static_cast<WORD>(day);
    return TicksOf(moment);
}

} // namespace

TLocalTimeConverter::TLocalTimeConverter() {
    GetTimeZoneInformation(&zone_);
    zoneHasDaylight_ = zone_.StandardDate.wMonth != 0 && zone_.DaylightDate.wMonth != 0;
}

TLocalTimeConverter::TLocalTimeConverter(const TIME_ZONE_INFORMATION& zone) : zone_(zone) {
    zoneHasDaylight_ = zone_.StandardDate.wMonth != 0 && zone_.DaylightDate.wMonth != 0;
}

const TLocalTimeConverter::TYear& TLocalTimeConverter::YearOf(std::int64_t utcTicks, int year) {
    if (last_ && utcTicks >= last_->Begin && utcTicks < last_->End) {
        return *last_;
    }
    auto found = years_.find(year);
    if (found == years_.end()) {
        TYear entry;
        SYSTEMTIME first{};
        first.wYear = static_cast<WORD>(year);
        first.wMonth = 1;
        first.wDay = 1;
        entry.Begin = TicksOf(first);
        if (year < 30827) {
            first.wYear = static_cast<WORD>(year + 1);
            entry.End = TicksOf(first);
        } else {
            entry.End = INT64_MAX;
        }
        entry.HasDaylight = zoneHasDaylight_;
        if (entry.HasDaylight) {
            // Daylight begins at a local standard time and ends at a local daylight time.
            entry.DaylightBegin = TransitionTicks(zone_.DaylightDate, year) +
                                  (zone_.Bias + zone_.StandardBias) * TicksPerMinute;
            entry.DaylightEnd = TransitionTicks(zone_.StandardDate, year) +
                                (zone_.Bias + zone_.DaylightBias) * TicksPerMinute;
        }
        found = years_.emplace(year, entry).first;
    }
    last_ = &found->second;
    return *last_;
}

std::int64_t TLocalTimeConverter::BiasTicks(const TYear& year, std::int64_t utcTicks) const {
    bool daylight = false;
    if (year.HasDaylight) {
        daylight = year.DaylightBegin < year.DaylightEnd
                       ? utcTicks >= year.DaylightBegin && utcTicks < year.DaylightEnd
                       : utcTicks >= year.DaylightBegin || utcTicks < year.DaylightEnd; // southern hemisphere
    }
    return (zone_.Bias + (daylight ? zone_.DaylightBias : zone_.StandardBias)) * TicksPerMinute;
}

bool TLocalTimeConverter::ToLocal(const FILETIME& utc, SYSTEMTIME& local) {
    const std::int64_t ticks = FileTimeTicks(utc);
    if (ticks < 0) {
        return false;
    }
    int year;
    if (last_ && ticks >= last_->Begin && ticks < last_->End) {
        year = 0; // unused: the cached year matches
    } else {
        SYSTEMTIME fields;
        if (!FileTimeToSystemTime(&utc, &fields)) {
            return false;
        }
        year = fields.wYear;
    }
    const std::int64_t bias = BiasTicks(YearOf(ticks, year), ticks);
    std::int64_t localTicks;
    if (__builtin_sub_overflow(ticks, bias, &localTicks) || localTicks < 0) {
        return false;
    }
    const FILETIME localTime = FileTimeOfTicks(localTicks);
    return FileTimeToSystemTime(&localTime, &local) != FALSE;
}

bool TLocalTimeConverter::ToUtc(const SYSTEMTIME& local, std::int64_t& utcTicks) const {
    FILETIME wallClock;
    if (!SystemTimeToFileTime(&local, &wallClock)) {
        return false;
    }
    const std::int64_t ticks = FileTimeTicks(wallClock);
    bool daylight = false;
    if (zoneHasDaylight_) {
        // The rules name the transitions in the wall-clock time before each: daylight begins at a
        // standard time and ends at a daylight time, so a wall-clock moment compares with both as
        // it stands.
        const std::int64_t begin = TransitionTicks(zone_.DaylightDate, local.wYear);
        const std::int64_t end = TransitionTicks(zone_.StandardDate, local.wYear);
        daylight = begin < end ? ticks >= begin && ticks < end
                               : ticks >= begin || ticks < end; // southern hemisphere
    }
    utcTicks = ticks + (zone_.Bias + (daylight ? zone_.DaylightBias : zone_.StandardBias)) * TicksPerMinute;
    return true;
}

bool TLocalTimeConverter::DayStart(const SYSTEMTIME& day, std::int64_t& utcTicks) const {
    const SYSTEMTIME midnight = CalendarFields(day.wYear, day.wMonth, day.wDay);
    if (!ToUtc(midnight, utcTicks)) {
        return false;
    }
    if (zoneHasDaylight_) {
        // ToUtc reads a skipped wall-clock moment with the daylight bias, which for midnight would be
        // an instant of the day before; the day begins when the clocks jump.
        const std::int64_t wallClock = TicksOf(midnight);
        const std::int64_t begin = TransitionTicks(zone_.DaylightDate, day.wYear);
        const std::int64_t skipped = (zone_.StandardBias - zone_.DaylightBias) * TicksPerMinute;
        if (wallClock >= begin && wallClock < begin + skipped) {
            utcTicks = begin + (zone_.Bias + zone_.StandardBias) * TicksPerMinute;
        }
    }
    return true;
}
