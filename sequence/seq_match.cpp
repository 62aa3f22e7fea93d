// The two tests on pairs of names from which every run of numbered files is built.
#include "sequence/seq_match.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace tallyrun {
namespace {

// Positions are 1-based as everywhere in the engine; at(s, p) is s[p].
template <typename C>
inline C at(std::basic_string_view<C> s, size_t p) {
    return s[p - 1];
}

// The last three checks, shared by both tests: text after the field, digits
// (not_digits answers a field that is not all digits), and the difference of
// the two numbers.
template <typename C>
seq_answer compare_fields(std::basic_string_view<C> a, std::basic_string_view<C> b, number_field field,
                          seq_answer not_digits, number_field* set) {
    if (after_field(a, field) != after_field(b, field)) return seq_answer::skip;
    std::basic_string_view<C> x = field_text(a, field), y = field_text(b, field);
    if (!all_digits(x) || !all_digits(y)) return not_digits;
    double d = number_of(y) - number_of(x);
    if (d == 0) return seq_answer::skip;
    if (d != 1) return seq_answer::stop;
    if (set) *set = field;
    return seq_answer::successor;
}

}  // namespace

template <typename C>
bool all_digits(std::basic_string_view<C> s) {
    for (C c : s)
        if (!is_digit(c)) return false;
    return true;
}

template <typename C>
double number_of(std::basic_string_view<C> digits) {
    // Up to 19 digits the integer is exact, so its conversion is the correctly
    // rounded value; longer fields go through strtod, which rounds correctly too.
    if (digits.size() <= 19) {
        uint64_t v = 0;
        for (C c : digits) v = v * 10 + static_cast<uint64_t>(c - C('0'));
        return static_cast<double>(v);
    }
    return std::strtod(std::string(digits.begin(), digits.end()).c_str(), nullptr);
}

template <typename C>
seq_answer seq_def(std::basic_string_view<C> a, std::basic_string_view<C> b, seq_range range, number_field& field) {
    size_t n = a.size();
    if (b.size() != n) return seq_answer::skip;
    size_t first = range.first < 1 ? 1 : static_cast<size_t>(range.first);
    if (n < first) return seq_answer::skip;
    size_t u = range.last == 0 ? n : std::min(static_cast<size_t>(range.last), n);

    size_t w = first;
    while (w <= u && at(a, w) == at(b, w)) ++w;

    size_t p = w - 1;
    while (p >= first && is_digit(at(a, p))) --p;
    size_t start = p + 1;

    size_t end = u;
    for (size_t e = w; e <= u; ++e) {
        C c = at(a, e);
        if (c == at(b, e) && !is_digit(c)) {
            end = e - 1;
            break;
        }
    }

    const number_field found{start, end};
    if (before_field(a, found) != before_field(b, found)) return seq_answer::stop;
    // A field that is no number means only "not this candidate": img01.jpg meets
    // img01.png before img02.jpg, and each format is a run of its own.
    return compare_fields(a, b, found, seq_answer::skip, &field);
}

template <typename C>
seq_answer seq_next(std::basic_string_view<C> a, std::basic_string_view<C> b, number_field field) {
    if (a.size() != b.size()) return seq_answer::skip;
    // No field yet, or the field of another run's names.
    if (field.field_start == 0 || field.field_end > a.size()) return seq_answer::stop;
    if (before_field(a, field) != before_field(b, field)) return seq_answer::stop;
    return compare_fields<C>(a, b, field, seq_answer::stop, nullptr);
}

#define TALLYRUN_SEQ_MATCH(C)                                                                                \
    template bool all_digits<C>(std::basic_string_view<C>);                                                  \
    template double number_of<C>(std::basic_string_view<C>);                                                 \
    template seq_answer seq_def<C>(std::basic_string_view<C>, std::basic_string_view<C>, seq_range, number_field&); \
    template seq_answer seq_next<C>(std::basic_string_view<C>, std::basic_string_view<C>, number_field);
TALLYRUN_SEQ_MATCH(char)
TALLYRUN_SEQ_MATCH(char16_t)

}  // namespace tallyrun
