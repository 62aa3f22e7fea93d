// FILETIME arithmetic for stand-ins that must agree with Windows' own conversions.
#include "support/native_time.h"

#include "support/calendar.h"

namespace tallyrun {
namespace {

unsigned long long ticks_in(win_filetime t) { return (static_cast<unsigned long long>(t.high) << 32) | t.low; }

win_filetime from_ticks(unsigned long long ticks) {
    return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

}  // namespace

win_filetime shift_file_time(win_filetime time, long long seconds) {
    long long ticks = static_cast<long long>(ticks_in(time)) + seconds * static_cast<long long>(ticks_per_second);
    return from_ticks(ticks < 0 ? 0 : static_cast<unsigned long long>(ticks));
}

win_filetime file_time_of(int year, int month, int day, int hour, int minute, int second) {
    uint64_t ticks = 0;
    ticks_of(date_time{year, month, day, hour, minute, second}, &ticks);
    return from_ticks(ticks);
}

}  // namespace tallyrun
