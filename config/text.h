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
// Last position of x in s; 0 if none.
size_t rfind(char x, std::string_view s);

std::string trim_left_chars(std::string_view s, std::string_view chars);
std::string trim_right_chars(std::string_view s, std::string_view chars);
std::string trim_chars(std::string_view s, std::string_view chars);
std::string trim_left(std::string_view s);
std::string trim_right(std::string_view s);
std::string trim(std::string_view s);

// The maximal runs of non-delimiter bytes of s, in order; never an empty field.
std::vector<std::string> parse_any(std::string_view s, std::string_view delimiters);

// Bytes before the first NUL at text, as lstrlenA reports them (0 when the
// binding is missing or text is null).
size_t strlen(const char* text);

// s mapped by CharLowerBuffA / CharUpperBuffA (the user's locale, not only
// A to Z). When Windows maps fewer bytes than s holds, s comes back unchanged.
std::string win_lower(std::string_view s);
std::string win_upper(std::string_view s);

// Every text mapped exactly as win_lower / win_upper maps it alone, in one
// Windows call for the lot (each call into Windows costs more than mapping a
// name), held in one buffer (one allocation for a folder, not one per name);
// a text that Windows would leave unchanged alone stays unchanged.
struct mapped_texts {
    std::string bytes;          // every text, each followed by a NUL
    std::vector<size_t> starts;  // where text i starts; one more at the end
    size_t size() const { return starts.empty() ? 0 : starts.size() - 1; }
    std::string_view operator[](size_t i) const {
        return std::string_view(bytes).substr(starts[i], starts[i + 1] - starts[i] - 1);
    }
};
mapped_texts win_lower_joined(const std::vector<std::string_view>& texts);
mapped_texts win_upper_joined(const std::vector<std::string_view>& texts);

// The smallest element of a non-empty list.
template <typename T>
T min(const std::vector<T>& values) {
    T best = values.front();
    for (const T& v : values)
        if (v < best) best = v;
    return best;
}

}  // namespace tallyrun
