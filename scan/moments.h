#pragma once
// The moments people say rather than type: today, yesterday, the last seven days, the last hour.
#include <cstdint>

#include "scan/local_time.h"

enum class TMoment { Today, Yesterday, LastWeek, LastHour };

// The instant (UTC ticks) a moment names, seen at nowUtc by the zone's rules: a day begins at its
// local midnight, turned into an instant by the rules for that date (DayStart); the last hour is
// counted back on the instant. False where the local calendar has no such day.
bool MomentInstant(TMoment moment, std::int64_t nowUtc, TLocalTimeConverter& zone, std::int64_t& instant);
