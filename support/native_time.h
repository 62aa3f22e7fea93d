// FILETIME arithmetic for stand-ins that must agree with Windows' own conversions.
#pragma once

#include "support/bindings.h"

namespace tallyrun {

// The time moved by a number of seconds; never wraps below 1601.
win_filetime shift_file_time(win_filetime time, long long seconds);

// The FILETIME of a calendar date and time (proleptic Gregorian, no time zone).
win_filetime file_time_of(int year, int month, int day, int hour, int minute, int second);

}  // namespace tallyrun
