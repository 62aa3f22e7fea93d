// UTF-16 code points: surrogate tests, pairs combined and split, the next code point of a text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallyrun {

inline bool is_high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool is_surrogate_unit(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// The code point of a high and a low surrogate.
inline uint32_t code_point_of(char16_t high, char16_t low) {
    return 0x10000 + ((high - 0xD800u) << 10) + (low - 0xDC00u);
}
// The two units of a code point from U+10000 to U+10FFFF.
inline char16_t high_surrogate_of(uint32_t c) { return static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)); }
inline char16_t low_surrogate_of(uint32_t c) { return static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)); }

// Whether units i and i + 1 of s (n units) are a surrogate pair.
inline bool pair_at(const char16_t* s, size_t n, size_t i) {
    return i + 1 < n && is_high_surrogate(s[i]) && is_low_surrogate(s[i + 1]);
}

// The code point at s[*i] (n units), *i moved past it: a pair is one code
// point, a unit of no pair is its own.
inline uint32_t next_code_point(const char16_t* s, size_t n, size_t* i) {
    const size_t at = *i;
    if (pair_at(s, n, at)) {
        *i = at + 2;
        return code_point_of(s[at], s[at + 1]);
    }
    *i = at + 1;
    return s[at];
}

// Appends the units of code point c (any value up to U+10FFFF) to out.
template <typename Text>
void append_code_point(Text& out, uint32_t c) {
    if (c >= 0x10000) {
        out += high_surrogate_of(c);
        out += low_surrogate_of(c);
    } else {
        out += static_cast<char16_t>(c);
    }
}

}  // namespace tallyrun
