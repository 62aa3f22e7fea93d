// The two tests on pairs of names from which every run of numbered files is built.
#include "sequence/seq_match.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/text.h"

namespace tallyrun {

number_field current_field;

namespace {

// Positions are 1-based as everywhere in the engine; at(s, p) is s[p].
inline char at(std::string_view s, size_t p) { return s[p - 1]; }

// s[from..to] with the empty slice when to < from.
inline std::string_view slice(std::string_view s, size_t from, size_t to) {
    return to < from ? std::string_view() : s.substr(from - 1, to - from + 1);
}

// Equal slices from..to of two names of the same length.
inline bool same_slice(std::string_view a, std::string_view b, size_t from, size_t to) {
    return slice(a, from, to) == slice(b, from, to);
}

// The last three checks, shared by both tests: text after the field, digits,
// and the difference of the two numbers.
int compare_fields(std::string_view a, std::string_view b, size_t start, size_t end, bool set) {
    size_t n = a.size();
    if (!same_slice(a, b, end + 1, n)) return seq_skip;
    std::string_view x = slice(a, start, end), y = slice(b, start, end);
    if (!all_digits(x) || !all_digits(y)) return seq_stop;
    double d = number_of(y) - number_of(x);
    if (d == 0) return seq_skip;
    if (d != 1) return seq_stop;
    if (set) current_field = number_field{start, end};
    return seq_successor;
}

}  // namespace

bool all_digits(std::string_view s) {
    for (char c : s)
        if (!is_digit(static_cast<unsigned char>(c))) return false;
    return true;
}

double number_of(std::string_view digits) {
    // Up to 19 digits the integer is exact, so its conversion is the correctly
    // rounded value; longer fields go through strtod, which rounds correctly too.
    if (digits.size() <= 19) {
        uint64_t v = 0;
        for (char c : digits) v = v * 10 + static_cast<uint64_t>(c - '0');
        return static_cast<double>(v);
    }
    return std::strtod(std::string(digits).c_str(), nullptr);
}

int seq_def_lower(std::string_view a, std::string_view b, seq_range range) {
    size_t n = a.size();
    if (b.size() != n) return seq_skip;
    size_t first = range.first < 1 ? 1 : static_cast<size_t>(range.first);
    if (n < first) return seq_skip;
    size_t u = range.last == 0 ? n : std::min(static_cast<size_t>(range.last), n);

    size_t w = first;
    while (w <= u && at(a, w) == at(b, w)) ++w;

    size_t p = w - 1;
    while (p >= first && is_digit(static_cast<unsigned char>(at(a, p)))) --p;
    size_t start = p + 1;

    size_t end = u;
    for (size_t e = w; e <= u; ++e) {
        char c = at(a, e);
        if (c == at(b, e) && !is_digit(static_cast<unsigned char>(c))) {
            end = e - 1;
            break;
        }
    }

    if (!same_slice(a, b, 1, start - 1)) return seq_stop;
    return compare_fields(a, b, start, end, true);
}

int seq_next_lower(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return seq_skip;
    size_t s = current_field.field_start, e = current_field.field_end;
    if (s == 0 || e > a.size()) return seq_stop;  // no field yet, or one of another run's names
    if (!same_slice(a, b, 1, s - 1)) return seq_stop;
    return compare_fields(a, b, s, e, false);
}

int seq_def(std::string_view first_name, std::string_view candidate, seq_range range) {
    return seq_def_lower(win_lower(first_name), win_lower(candidate), range);
}

int seq_next(std::string_view member, std::string_view candidate) {
    return seq_next_lower(win_lower(member), win_lower(candidate));
}

}  // namespace tallyrun
