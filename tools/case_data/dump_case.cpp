// Prints every code point that CharLowerBuffW or CharUpperBuffW changes, as "L|U from to" in hex.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

// One code point mapped alone: one unit, or a surrogate pair (Windows maps a pair as one character).
unsigned mapped(unsigned c, bool lower) {
    WCHAR b[2];
    DWORD n = 1;
    if (c < 0x10000) {
        b[0] = static_cast<WCHAR>(c);
    } else {
        b[0] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
        b[1] = static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
        n = 2;
    }
    lower ? CharLowerBuffW(b, n) : CharUpperBuffW(b, n);
    if (n == 1) return b[0];
    if (b[0] < 0xD800 || b[0] > 0xDBFF || b[1] < 0xDC00 || b[1] > 0xDFFF) return 0xFFFFFFFF;
    return 0x10000 + ((b[0] - 0xD800u) << 10) + (b[1] - 0xDC00u);
}

}  // namespace

int main() {
    for (bool lower : {true, false})
        for (unsigned c = 0; c <= 0x10FFFF; ++c) {
            unsigned m = mapped(c, lower);
            if (m != c) std::printf("%c %X %X\n", lower ? 'L' : 'U', c, m);
        }
    return 0;
}
