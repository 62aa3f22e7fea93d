// The one calendar: civil dates, FILETIME ticks and local times at DOS resolution, all in integers.
#pragma once

#include <cstdint>

namespace tallyrun {

// A calendar date and time of day (proleptic Gregorian).
struct date_time {
    int year, month, day, hour, minute, second;
};
bool operator==(const date_time& a, const date_time& b);
bool operator!=(const date_time& a, const date_time& b);

inline constexpr uint64_t ticks_per_second = 10000000;  // a FILETIME counts 100 ns since 1601-01-01

// Days from 1601-01-01 (day 0) to a date, and back.
int64_t days_since_1601(int year, int month, int day);
void date_of_day(int64_t day, int* year, int* month, int* day_of_month);

// The FILETIME ticks of a date and time, no time zone involved; false for
// dates before 1601 or beyond what 64 bits of ticks hold.
bool ticks_of(const date_time& t, uint64_t* ticks);
date_time date_time_of(uint64_t ticks);

// A local time as a folder listing keeps it: whole 2-second steps since
// 1980-01-01 00:00:00, what a DOS date and time can hold (up to 2107-12-31
// 23:59:58), or no_step.
using local_step = uint32_t;
inline constexpr local_step no_step = 0xFFFFFFFFu;
// The step of local FILETIME ticks; no_step outside 1980..2107.
local_step step_of_local(uint64_t ticks);
// The same, with a time outside 1980..2107 taken as the nearest step of that span.
local_step nearest_step_of_local(uint64_t ticks);
uint64_t local_ticks_of(local_step step);
// The step's date and time ({0,0,0,0,0,0} for no_step).
date_time date_time_of_step(local_step step);

}  // namespace tallyrun
