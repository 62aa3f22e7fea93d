// The text routines the whole plugin shares: searching, trimming, splitting, Windows case mapping.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyrun {

// Texts are byte strings in the ANSI code page; any byte may occur. Positions
// are 1-based and 0 means "none".

// The default blank set: space, tab, carriage return, line feed.
inline constexpr std::string_view blanks{" \t\r\n", 4};

// First position p >= start with s[p] == x; 0 if none or start is outside 1..len.
size_t find_from(char x, std::string_view s, size_t start);
// First position >= start whose byte is in chars; 0 if none or start < 1.
size_t finds_any(std::string_view chars, std::string_view s, size_t start);
// First position >= start whose byte is not in chars; 0 if none, start < 1 or chars empty.
size_t verify(size_t start, std::string_view s, std::string_view chars);
std::string trim_left_chars(std::string_view s, std::string_view chars);
std::string trim_right_chars(std::string_view s, std::string_view chars);
std::string trim_chars(std::string_view s, std::string_view chars);
std::string trim_left(std::string_view s);
std::string trim_right(std::string_view s);
std::string trim(std::string_view s);

// The maximal runs of non-delimiter bytes of s, in order; never an empty field.
std::vector<std::string> parse_any(std::string_view s, std::string_view delimiters);

// s mapped by CharLowerBuffA / CharUpperBuffA (the user's locale, not only
// A to Z), one call into Windows per text. When Windows maps fewer bytes than s
// holds, s comes back unchanged. For the configuration's names; the folder
// listings map case through sequence/case_map.h.
std::string win_lower(std::string_view s);
std::string win_upper(std::string_view s);

// s[from..to] of a text of either side, 1-based and inclusive; empty when to <
// from or from lies past the end (from 0 counts as 1).
template <typename C>
std::basic_string_view<C> slice(std::basic_string_view<C> s, size_t from, size_t to) {
    if (from == 0) from = 1;
    if (to < from || from > s.size()) return {};
    return s.substr(from - 1, to - from + 1);
}

// The pieces of a name template ("%s-%s"), as the INI's check and the name
// filler both read it: "%s" a slot, "%%" one '%', any other '%' a stray one,
// every other unit text.
enum class template_piece { text, percent, slot, stray };

// Calls on_piece(kind, at) for each piece of t in order, at its first unit;
// "%s" and "%%" are two units long, the others one.
template <typename C, typename F>
void read_name_template(std::basic_string_view<C> t, F on_piece) {
    for (size_t i = 0; i < t.size(); ++i) {
        const bool pair = t[i] == C('%') && i + 1 < t.size() && (t[i + 1] == C('%') || t[i + 1] == C('s'));
        if (pair) {
            on_piece(t[i + 1] == C('s') ? template_piece::slot : template_piece::percent, i);
            ++i;
        } else {
            on_piece(t[i] == C('%') ? template_piece::stray : template_piece::text, i);
        }
    }
}

// Last position (1-based) of x in s of either side; 0 if none.
template <typename C>
size_t rfind(C x, std::basic_string_view<C> s) {
    size_t p = s.rfind(x);
    return p == std::basic_string_view<C>::npos ? 0 : p + 1;
}

}  // namespace tallyrun
