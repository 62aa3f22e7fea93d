// FILETIME arithmetic for stand-ins that must agree with Windows' own conversions.
#include "support/native_time.h"

#include "support/calendar.h"

namespace tallyrun {

win_filetime shift_file_time(win_filetime time, long long seconds) {
    long long ticks = static_cast<long long>(time.ticks()) + seconds * static_cast<long long>(ticks_per_second);
    return win_filetime::of_ticks(ticks < 0 ? 0 : static_cast<unsigned long long>(ticks));
}

win_filetime file_time_of(int year, int month, int day, int hour, int minute, int second) {
    uint64_t ticks = 0;
    ticks_of(date_time{year, month, day, hour, minute, second}, &ticks);
    return win_filetime::of_ticks(ticks);
}

}  // namespace tallyrun
