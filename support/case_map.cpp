// Upper- and lower-casing of code page 1252 bytes, as Windows does it in a Western locale.
#include "support/bindings.h"

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

}  // namespace

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
