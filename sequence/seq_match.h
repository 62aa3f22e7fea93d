// The two tests on pairs of names from which every run of numbered files is built.
#pragma once

#include <cstddef>
#include <string_view>

#include "config/text.h"
#include "support/unit.h"

namespace tallyrun {

// Where in a name the number may lie: it begins at or after `first` (>= 1) and
// ends at or before `last`; last = 0 means the end of the name. When last is
// not 0 it is at least first. Positions count the name's units (bytes on the
// 8-bit side, UTF-16 units on the wide one).
struct seq_range {
    int first = 1;
    int last = 0;
};

// The number field of a run: 1-based inclusive positions (0 before any).
struct number_field {
    size_t field_start = 0;
    size_t field_end = 0;
};

// The parts of a name around a number field, as views of it: the text before
// the field, the field itself and the text after it. A part that lies outside
// the name is empty; with no field (start 0) the text before it is the whole
// name. These alone turn the field's 1-based positions into parts of a name.
template <typename C>
std::basic_string_view<C> before_field(std::basic_string_view<C> name, number_field field) {
    return slice(name, 1, field.field_start - 1);
}
template <typename C>
std::basic_string_view<C> field_text(std::basic_string_view<C> name, number_field field) {
    return slice(name, field.field_start, field.field_end);
}
template <typename C>
std::basic_string_view<C> after_field(std::basic_string_view<C> name, number_field field) {
    return slice(name, field.field_end + 1, name.size());
}

// What both tests answer of a candidate.
enum class seq_answer {
    stop,       // the candidate cannot continue the run: stop looking
    skip,       // not this one, but a later name still may
    successor,  // the candidate's number is exactly one more
};

// Both tests take names already lower-cased by the Windows rules of their side
// (sequence/case_map.h), so that case is ignored.
//
// Is b the second member of a run that a starts? On successor it sets field, and only then.
template <typename C>
seq_answer seq_def(std::basic_string_view<C> a, std::basic_string_view<C> b, seq_range range, number_field& field);
// Is b the successor of the member a, with the run's field?
template <typename C>
seq_answer seq_next(std::basic_string_view<C> a, std::basic_string_view<C> b, number_field field);

// True when every unit of s is a digit ("0" to "9" only); true for the empty text.
template <typename C>
bool all_digits(std::basic_string_view<C> s);
// A field of digits read as a decimal number in a double (exact up to 15
// digits, correctly rounded beyond); 0 for the empty field.
template <typename C>
double number_of(std::basic_string_view<C> digits);

}  // namespace tallyrun
