// Case mapping as Windows does it in a Western locale: code page 1252 bytes and UTF-16 units.
#include <vector>

#include "support/bindings.h"
#include "support/utf16.h"
#include "support/utf16_case_data.h"

namespace tallyrun {
namespace {

// Letters with a case partner inside code page 1252 itself: A-Z, the accented
// capitals 0xC0-0xDE (but 0xD7, the multiplication sign) and four strays in
// the 0x80 block (S caron, OE, Z caron, Y diaeresis, whose small forms are
// 0x9A, 0x9C, 0x9E and 0xFF).
unsigned char lower_of(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

unsigned char upper_of(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

// The code point that c maps to by one of the generated range tables.
uint32_t mapped_code(uint32_t c, const case_range* ranges, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const case_range& r = ranges[i];
        if (c < r.first) break;  // the ranges are in ascending order
        uint32_t offset = c - r.first;
        if (offset % r.stride == 0 && offset / r.stride < r.count)
            return static_cast<uint32_t>(static_cast<int32_t>(c) + r.delta);
    }
    return c;
}

// The mapping of every unit of the Basic Multilingual Plane (a surrogate to itself).
std::vector<char16_t> plane_table(const case_range* ranges, size_t count) {
    std::vector<char16_t> table(65536);
    for (uint32_t u = 0; u < 65536; ++u)
        table[u] = static_cast<char16_t>(is_surrogate_unit(u) ? u : mapped_code(u, ranges, count));
    return table;
}

// Maps a buffer code point by code point, a surrogate pair as one, as CharLowerBuffW
// does; a unit of no pair maps to itself.
uint32_t map_utf16(char16_t* buffer, uint32_t length, const case_range* ranges, size_t count) {
    // Units of the Basic Multilingual Plane go through one table, made at the
    // first use on any thread and never changed after.
    static const std::vector<char16_t> lower_table = plane_table(utf16_lower_ranges, utf16_lower_range_count);
    static const std::vector<char16_t> upper_table = plane_table(utf16_upper_ranges, utf16_upper_range_count);
    const std::vector<char16_t>& table = ranges == utf16_lower_ranges ? lower_table : upper_table;
    for (uint32_t i = 0; i < length; ++i) {
        char16_t u = buffer[i];
        if (pair_at(buffer, length, i)) {
            uint32_t m = mapped_code(code_point_of(u, buffer[i + 1]), ranges, count);
            buffer[i] = high_surrogate_of(m);
            buffer[i + 1] = low_surrogate_of(m);
            ++i;
        } else {
            buffer[i] = table[u];
        }
    }
    return length;
}

}  // namespace

uint32_t TR_WINAPI utf16_lower_buff(char16_t* buffer, uint32_t length) {
    return map_utf16(buffer, length, utf16_lower_ranges, utf16_lower_range_count);
}

uint32_t TR_WINAPI utf16_upper_buff(char16_t* buffer, uint32_t length) {
    return map_utf16(buffer, length, utf16_upper_ranges, utf16_upper_range_count);
}

uint32_t TR_WINAPI cp1252_lower_buff(char* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        buffer[i] = static_cast<char>(lower_of(static_cast<unsigned char>(buffer[i])));
    return length;
}

uint32_t TR_WINAPI cp1252_upper_buff(char* buffer, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        buffer[i] = static_cast<char>(upper_of(static_cast<unsigned char>(buffer[i])));
    return length;
}

}  // namespace tallyrun
