// Texts between the ANSI code page and UTF-16, converted by Windows.
#pragma once

#include <string>
#include <string_view>

namespace tallyrun {

// The UTF-16 of an ANSI text (MultiByteToWideChar, CP_ACP); empty when the
// text is empty or cannot be converted.
std::u16string to_wide(std::string_view ansi);
// The ANSI text of UTF-16 units (WideCharToMultiByte, CP_ACP, no best fit),
// '?' for a unit that has no character of its own in the code page, as
// Windows' 8-bit functions show it; false when that happened or the
// conversion failed (ansi is empty then).
bool to_ansi(std::u16string_view wide, std::string& ansi);

// UTF-8 of UTF-16 units; a unit of no pair keeps a three-byte form of its own
// (as WTF-8 writes it), so that no name is lost on the way.
std::string utf8_of(std::u16string_view wide);
// UTF-16 of UTF-8, the inverse of utf8_of for what it writes.
std::u16string utf16_of(std::string_view utf8);

// An ANSI text in the units of either side.
template <typename C>
std::basic_string<C> side_text(std::string_view ansi) {
    if constexpr (sizeof(C) == 1) {
        return std::string(ansi);
    } else {
        return to_wide(ansi);
    }
}

}  // namespace tallyrun
