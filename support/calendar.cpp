// The one calendar: civil dates, FILETIME ticks and local times at DOS resolution, all in integers.
#include "support/calendar.h"

namespace tallyrun {
namespace {

constexpr int64_t seconds_per_day = 86400;
constexpr uint64_t ticks_per_step = 2 * ticks_per_second;
// 1980-01-01 and 2108-01-01 in ticks: what a DOS date can hold lies between.
constexpr uint64_t first_dos_tick = 119600064000000000ull;
constexpr uint64_t after_last_dos_tick = 159992928000000000ull;

}  // namespace

bool operator==(const date_time& a, const date_time& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}
bool operator!=(const date_time& a, const date_time& b) { return !(a == b); }

// Howard Hinnant's days-from-civil and civil-from-days, moved from the 1970
// epoch to 1601 by the 134774 days between them.
int64_t days_since_1601(int year, int month, int day) {
    int64_t y = static_cast<int64_t>(year) - (month <= 2);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 134774;
}

void date_of_day(int64_t z, int* year, int* month, int* day_of_month) {
    z += 719468 - 134774;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(yoe + era * 400 + (m <= 2));
    *month = static_cast<int>(m);
    *day_of_month = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
}

bool ticks_of(const date_time& t, uint64_t* ticks) {
    if (t.year < 1601 || t.year > 60000) return false;  // 2^64 ticks end in the year 60056
    const int64_t seconds = days_since_1601(t.year, t.month, t.day) * seconds_per_day +
                            (t.hour * 60 + t.minute) * 60 + t.second;
    if (seconds < 0) return false;
    *ticks = static_cast<uint64_t>(seconds) * ticks_per_second;
    return true;
}

date_time date_time_of(uint64_t ticks) {
    const uint64_t seconds = ticks / ticks_per_second;
    const int rest = static_cast<int>(seconds % seconds_per_day);
    date_time t{};
    date_of_day(static_cast<int64_t>(seconds / seconds_per_day), &t.year, &t.month, &t.day);
    t.hour = rest / 3600;
    t.minute = rest / 60 % 60;
    t.second = rest % 60;
    return t;
}

local_step step_of_local(uint64_t ticks) {
    if (ticks < first_dos_tick || ticks >= after_last_dos_tick) return no_step;
    return static_cast<local_step>((ticks - first_dos_tick) / ticks_per_step);
}

local_step nearest_step_of_local(uint64_t ticks) {
    if (ticks < first_dos_tick) return 0;
    if (ticks >= after_last_dos_tick) return step_of_local(after_last_dos_tick - 1);
    return step_of_local(ticks);
}

uint64_t local_ticks_of(local_step step) { return first_dos_tick + step * ticks_per_step; }

date_time date_time_of_step(local_step step) {
    if (step == no_step) return date_time{0, 0, 0, 0, 0, 0};
    return date_time_of(local_ticks_of(step));
}

}  // namespace tallyrun
