// The two tests on pairs of names from which every run of numbered files is built.
#pragma once

#include <cstddef>
#include <string_view>

namespace tallyrun {

// Where in a name the number may lie: it begins at or after `first` (>= 1) and
// ends at or before `last`; last = 0 means the end of the name. When last is
// not 0 it is at least first.
struct seq_range {
    int first = 1;
    int last = 0;
};

// The number field of the run being built: 1-based inclusive positions.
struct number_field {
    size_t field_start = 0;
    size_t field_end = 0;
};

// The current number field. seq_def sets it when, and only when, it returns 2;
// seq_next, and the naming of a run, read it.
extern number_field current_field;

// Results of both tests.
inline constexpr int seq_stop = 0;       // the candidate cannot continue the run: stop looking
inline constexpr int seq_skip = 1;       // not this one, but a later name still may
inline constexpr int seq_successor = 2;  // the candidate's number is exactly one more

// Is candidate the second member of a run that first_name starts? On 2 the
// number field is fixed. Case is ignored (win_lower of both names).
int seq_def(std::string_view first_name, std::string_view candidate, seq_range range);
// Is candidate the successor of member, with the current number field? Never
// changes the field. Case is ignored.
int seq_next(std::string_view member, std::string_view candidate);

// The same tests on names the caller has already lower-cased with win_lower.
int seq_def_lower(std::string_view a, std::string_view b, seq_range range);
int seq_next_lower(std::string_view a, std::string_view b);

// "0" to "9" only.
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
// True when every byte of s is a digit; true for the empty text.
bool all_digits(std::string_view s);
// A field of digits read as a decimal number in a double (exact up to 15
// digits, correctly rounded beyond); 0 for the empty field.
double number_of(std::string_view digits);

}  // namespace tallyrun
