// The text routines the whole plugin shares: searching, trimming, splitting, Windows case mapping.
#include "config/text.h"

#include "support/bindings.h"

namespace tallyrun {
namespace {

bool member(char c, std::string_view chars) { return chars.find(c) != std::string_view::npos; }

using case_map = uint32_t(TR_WINAPI*)(char*, uint32_t);

// In a single-byte code page every byte maps on its own, so one call over all
// 255 byte values gives a table that maps any text as Windows would, without
// a call into Windows (and its conversions to UTF-16 and back) per name. A
// table belongs to the function it was made with: a new binding makes a new one.
struct byte_table {
    case_map from = nullptr;
    bool usable = false;
    unsigned char to[256];
};
byte_table lower_table, upper_table;

const unsigned char* table_of(byte_table& t, case_map map) {
    if (t.from != map) {
        t.from = map;
        t.usable = false;
        win_cp_info info{};
        if (map && win.GetCPInfo && win.GetCPInfo(0, &info) && info.max_char_size == 1) {
            char bytes[256];
            for (int c = 1; c < 256; ++c) bytes[c - 1] = static_cast<char>(c);
            bytes[255] = 0;
            if (map(bytes, 255) == 255) {
                t.to[0] = 0;
                for (int c = 1; c < 256; ++c) t.to[c] = static_cast<unsigned char>(bytes[c - 1]);
                t.usable = true;
            }
        }
    }
    return t.usable ? t.to : nullptr;
}

const unsigned char* table_for(case_map map) {
    if (map == win.CharLowerBuffA) return table_of(lower_table, map);
    if (map == win.CharUpperBuffA) return table_of(upper_table, map);
    return nullptr;
}

void map_bytes(std::string& s, const unsigned char* to) {
    for (char& c : s) c = static_cast<char>(to[static_cast<unsigned char>(c)]);
}

std::string mapped(std::string_view s, case_map map) {
    if (s.empty() || !map) return std::string(s);
    if (const unsigned char* to = table_for(map)) {
        std::string out(s);
        map_bytes(out, to);
        return out;
    }
    std::string buffer(s);  // std::string keeps a NUL behind its bytes
    uint32_t done = map(buffer.data(), static_cast<uint32_t>(buffer.size()));
    return done == buffer.size() ? buffer : std::string(s);
}

mapped_texts mapped_joined(const std::vector<std::string_view>& texts, case_map map) {
    mapped_texts out;
    size_t total = 0;
    for (std::string_view t : texts) total += t.size() + 1;
    out.bytes.reserve(total);
    out.starts.reserve(texts.size() + 1);
    // NUL separators: no code page maps a byte across one, so each text maps
    // as it would on its own.
    for (std::string_view t : texts) {
        out.starts.push_back(out.bytes.size());
        out.bytes.append(t);
        out.bytes += '\0';
    }
    out.starts.push_back(out.bytes.size());
    if (const unsigned char* to = table_for(map)) {
        map_bytes(out.bytes, to);
    } else if (!map || total > 0xFFFFFFFFu ||
               map(out.bytes.data(), static_cast<uint32_t>(out.bytes.size())) != out.bytes.size()) {
        // Mapped one by one: a text Windows would not map whole stays as it was.
        for (size_t i = 0; i < texts.size(); ++i)
            out.bytes.replace(out.starts[i], texts[i].size(), mapped(texts[i], map));
    }
    return out;
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

size_t rfind(char x, std::string_view s) {
    size_t p = s.rfind(x);
    return p == std::string_view::npos ? 0 : p + 1;
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

size_t strlen(const char* text) {
    if (!text || !win.lstrlenA) return 0;
    int32_t n = win.lstrlenA(text);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

std::string win_lower(std::string_view s) { return mapped(s, win.CharLowerBuffA); }
std::string win_upper(std::string_view s) { return mapped(s, win.CharUpperBuffA); }

mapped_texts win_lower_joined(const std::vector<std::string_view>& texts) {
    return mapped_joined(texts, win.CharLowerBuffA);
}
mapped_texts win_upper_joined(const std::vector<std::string_view>& texts) {
    return mapped_joined(texts, win.CharUpperBuffA);
}

}  // namespace tallyrun
