// Texts between the ANSI code page and UTF-16, converted by Windows.
#include "support/wide.h"

#include <climits>
#include <cstdint>

#include "support/bindings.h"
#include "support/utf16.h"

namespace tallyrun {

std::u16string to_wide(std::string_view ansi) {
    if (ansi.empty() || !win.MultiByteToWideChar || ansi.size() > INT_MAX / 2) return std::u16string();
    // No code page makes more units than bytes.
    std::u16string out(ansi.size() + 2, u'\0');
    const std::string copy(ansi);  // std::string keeps a zero behind its bytes
    int32_t n = win.MultiByteToWideChar(cp_acp, mb_precomposed, copy.c_str(), static_cast<int32_t>(copy.size()),
                                        out.data(), static_cast<int32_t>(out.size()));
    if (n <= 0 || static_cast<size_t>(n) > out.size()) return std::u16string();
    out.resize(static_cast<size_t>(n));
    return out;
}

bool to_ansi(std::u16string_view wide, std::string& ansi) {
    ansi.clear();
    if (wide.empty()) return true;
    if (!win.WideCharToMultiByte || wide.size() > INT_MAX / 4) return false;
    std::string out(wide.size() * 4, '\0');  // four bytes hold any character of any code page
    int32_t used_default = 0;
    int32_t n = win.WideCharToMultiByte(cp_acp, wc_no_best_fit_chars, wide.data(), static_cast<int32_t>(wide.size()),
                                        out.data(), static_cast<int32_t>(out.size()), nullptr, &used_default);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    ansi = std::move(out);
    return !used_default;
}

std::string utf8_of(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const uint32_t c = next_code_point(s.data(), s.size(), &i);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16_of(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
        for (size_t k = 1; k < n && i + k < s.size(); ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        append_code_point(out, c);
    }
    return out;
}

}  // namespace tallyrun
