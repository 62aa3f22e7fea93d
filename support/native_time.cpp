// FILETIME arithmetic for stand-ins that must agree with Windows' own conversions.
#include "support/native_time.h"

namespace tallyrun {
namespace {

constexpr long long ticks_per_second = 10000000;

unsigned long long ticks_of(win_filetime t) {
    return (static_cast<unsigned long long>(t.high) << 32) | t.low;
}

win_filetime from_ticks(unsigned long long ticks) {
    return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

// Days since 1601-01-01 of a civil date, and back (Howard Hinnant's algorithms,
// shifted from the 1970 epoch by the 134774 days between the two).
long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468 + 134774;
}

void civil_from_days(long long z, int* year, int* month, int* day) {
    z += 719468 - 134774;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
    *month = static_cast<int>(m);
    *day = static_cast<int>(d);
}

}  // namespace

win_filetime shift_file_time(win_filetime time, long long seconds) {
    long long ticks = static_cast<long long>(ticks_of(time)) + seconds * ticks_per_second;
    return from_ticks(ticks < 0 ? 0 : static_cast<unsigned long long>(ticks));
}

bool file_time_to_dos(win_filetime time, uint16_t* dos_date, uint16_t* dos_time) {
    unsigned long long seconds = ticks_of(time) / ticks_per_second;
    long long days = static_cast<long long>(seconds / 86400);
    unsigned rest = static_cast<unsigned>(seconds % 86400);
    int year, month, day;
    civil_from_days(days, &year, &month, &day);
    if (year < 1980 || year > 2107) return false;
    *dos_date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    *dos_time = static_cast<uint16_t>(((rest / 3600) << 11) | ((rest / 60 % 60) << 5) |
                                      (rest % 60 / 2));
    return true;
}

win_filetime file_time_of(int year, int month, int day, int hour, int minute, int second) {
    long long days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    long long seconds = days * 86400 + hour * 3600LL + minute * 60LL + second;
    return from_ticks(static_cast<unsigned long long>(seconds * ticks_per_second));
}

}  // namespace tallyrun
