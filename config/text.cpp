// The text routines the whole plugin shares: searching, trimming, splitting, Windows case mapping.
#include "config/text.h"

#include "support/bindings.h"

namespace tallyrun {
namespace {

bool member(char c, std::string_view chars) { return chars.find(c) != std::string_view::npos; }

std::string mapped(std::string_view s, uint32_t(TR_WINAPI* map)(char*, uint32_t)) {
    if (s.empty() || !map || s.size() > 0xFFFFFFFFu) return std::string(s);
    std::string buffer(s);  // std::string keeps a NUL behind its bytes
    uint32_t done = map(buffer.data(), static_cast<uint32_t>(buffer.size()));
    return done == buffer.size() ? buffer : std::string(s);
}

}  // namespace

size_t find_from(char x, std::string_view s, size_t start) {
    if (start < 1 || start > s.size()) return 0;
    size_t p = s.find(x, start - 1);
    return p == std::string_view::npos ? 0 : p + 1;
}

size_t finds_any(std::string_view chars, std::string_view s, size_t start) {
    if (start < 1) return 0;
    for (size_t p = start; p <= s.size(); ++p)
        if (member(s[p - 1], chars)) return p;
    return 0;
}

size_t verify(size_t start, std::string_view s, std::string_view chars) {
    if (start < 1 || chars.empty()) return 0;
    for (size_t p = start; p <= s.size(); ++p)
        if (!member(s[p - 1], chars)) return p;
    return 0;
}

std::string trim_left_chars(std::string_view s, std::string_view chars) {
    size_t i = 0;
    while (i < s.size() && member(s[i], chars)) ++i;
    return std::string(s.substr(i));
}

std::string trim_right_chars(std::string_view s, std::string_view chars) {
    size_t n = s.size();
    while (n > 0 && member(s[n - 1], chars)) --n;
    return std::string(s.substr(0, n));
}

std::string trim_chars(std::string_view s, std::string_view chars) {
    return trim_left_chars(trim_right_chars(s, chars), chars);
}

std::string trim_left(std::string_view s) { return trim_left_chars(s, blanks); }
std::string trim_right(std::string_view s) { return trim_right_chars(s, blanks); }
std::string trim(std::string_view s) { return trim_chars(s, blanks); }

std::vector<std::string> parse_any(std::string_view s, std::string_view delimiters) {
    std::vector<std::string> fields;
    size_t start = 1;
    for (;;) {
        size_t p = verify(start, s, delimiters);
        if (p == 0) break;
        size_t q = finds_any(delimiters, s, p);
        if (q == 0) {
            fields.emplace_back(s.substr(p - 1));
            break;
        }
        fields.emplace_back(s.substr(p - 1, q - p));
        start = q;
    }
    return fields;
}

std::string win_lower(std::string_view s) { return mapped(s, win.CharLowerBuffA); }
std::string win_upper(std::string_view s) { return mapped(s, win.CharUpperBuffA); }

}  // namespace tallyrun
