#pragma once
// Converts file times (UTC) to local calendar fields with the daylight-saving rule in force at each
// time stamp, as SystemTimeToTzSpecificLocalTime does, but cheaply: a year's two transitions are
// worked out once and every later time stamp of that year costs two comparisons.
#include <cstdint>
#include <unordered_map>
#include <windows.h>

// A file time as one number of 100-nanosecond ticks since 1601, and back.
std::int64_t FileTimeTicks(const FILETIME& time);
FILETIME FileTimeOfTicks(std::int64_t ticks);

class TLocalTimeConverter {
  public:
    // The zone of the system at construction.
    TLocalTimeConverter();
    explicit TLocalTimeConverter(const TIME_ZONE_INFORMATION& zone);

    // False when the time stamp or its local time cannot be expressed as calendar fields.
    bool ToLocal(const FILETIME& utc, SYSTEMTIME& local);

  private:
    struct TYear {
        std::int64_t Begin = 0, End = 0;                 // UTC ticks of the year [Begin, End)
        std::int64_t DaylightBegin = 0, DaylightEnd = 0; // UTC ticks of the two transitions
        bool HasDaylight = false;
    };
    const TYear& YearOf(std::int64_t utcTicks, int year);
    std::int64_t BiasTicks(const TYear& year, std::int64_t utcTicks) const;

    TIME_ZONE_INFORMATION zone_{};
    bool zoneHasDaylight_ = false;
    std::unordered_map<int, TYear> years_;
    const TYear* last_ = nullptr;
};
