#pragma once
// Converts file times (UTC) to local calendar fields with the daylight-saving rule in force at each
// time stamp, as SystemTimeToTzSpecificLocalTime does, but cheaply: a year's two transitions are
// worked out once and every later time stamp of that year costs two comparisons. And a local moment
// back to an instant, by the same year rules.
#include <windows.h>
#include <cstdint>
#include <unordered_map>

// A file time as one number of 100-nanosecond ticks since 1601, and back.
std::int64_t FileTimeTicks(const FILETIME& time);
FILETIME FileTimeOfTicks(std::int64_t ticks);

class TLocalTimeConverter {
  public:
    // The zone of the system at construction.
    TLocalTimeConverter();
    explicit TLocalTimeConverter(const TIME_ZONE_INFORMATION& zone);
    // A copy has caches of its own, so that another thread may use it.
    TLocalTimeConverter(const TLocalTimeConverter& other) : TLocalTimeConverter(other.zone_) {}
    TLocalTimeConverter& operator=(const TLocalTimeConverter& other) {
        if (this != &other) {
            zone_ = other.zone_;
            zoneHasDaylight_ = other.zoneHasDaylight_;
            years_.clear();
            last_ = nullptr;
        }
        return *this;
    }

    // False when the time stamp or its local time cannot be expressed as calendar fields.
    bool ToLocal(const FILETIME& utc, SYSTEMTIME& local);
    // The instant of a local moment, in UTC ticks, as TzSpecificLocalTimeToSystemTime gives it: a
    // moment of the hour that repeats when daylight saving ends is its first occurrence, the
    // daylight one; one of the hour skipped when it begins is read with the daylight bias. False
    // before 1601 or outside the calendar.
    bool ToUtc(const SYSTEMTIME& local, std::int64_t& utcTicks) const;
    // The first instant of a local day (its time of day ignored): its midnight, or where daylight
    // saving begins at midnight and skips it, the moment of the change.
    bool DayStart(const SYSTEMTIME& day, std::int64_t& utcTicks) const;

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
