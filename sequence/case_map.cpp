// Case mapping by the Windows rules of one side, as one folder listing needs it.
#include "sequence/case_map.h"

#include "support/utf16.h"

namespace tallyrun {
namespace {

template <typename C>
joined_texts<C> join(const std::vector<std::basic_string_view<C>>& texts) {
    joined_texts<C> out;
    size_t total = 0;
    for (auto t : texts) total += t.size() + 1;
    out.units.reserve(total);
    out.starts.reserve(texts.size() + 1);
    // Zero separators: no code page maps a byte across one, and no pair spans one.
    for (auto t : texts) {
        out.starts.push_back(out.units.size());
        out.units.append(t);
        out.units += C(0);
    }
    out.starts.push_back(out.units.size());
    return out;
}

}  // namespace

case_map<char>::case_map() {
    win_cp_info info{};
    auto lower = win.CharLowerBuffA, upper = win.CharUpperBuffA;
    if (!lower || !upper || !win.GetCPInfo || !win.GetCPInfo(cp_acp, &info) || info.max_char_size != 1) return;
    char bytes[2][256];
    for (auto& b : bytes) {
        for (int c = 1; c < 256; ++c) b[c - 1] = static_cast<char>(c);
        b[255] = 0;
    }
    if (lower(bytes[0], 255) != 255 || upper(bytes[1], 255) != 255) return;
    lower_[0] = upper_[0] = 0;
    for (int c = 1; c < 256; ++c) {
        lower_[c] = static_cast<unsigned char>(bytes[0][c - 1]);
        upper_[c] = static_cast<unsigned char>(bytes[1][c - 1]);
    }
    tables_ = true;
}

void case_map<char>::map(char* s, size_t n, case_to to) {
    if (n == 0) return;
    if (tables_) {
        const unsigned char* table = to == case_to::lower ? lower_ : upper_;
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(table[static_cast<unsigned char>(s[i])]);
        return;
    }
    auto function = to == case_to::lower ? win.CharLowerBuffA : win.CharUpperBuffA;
    if (!function || n > 0xFFFFFFFFu) return;
    std::string buffer(s, n);  // std::string keeps a zero behind its bytes
    if (function(buffer.data(), static_cast<uint32_t>(n)) == n) buffer.copy(s, n);
}

joined_texts<char> case_map<char>::joined(const std::vector<std::string_view>& texts, case_to to) {
    joined_texts<char> out = join(texts);
    auto function = to == case_to::lower ? win.CharLowerBuffA : win.CharUpperBuffA;
    if (tables_) {
        map(out.units.data(), out.units.size(), to);
    } else if (function && out.units.size() <= 0xFFFFFFFFu &&
               function(out.units.data(), static_cast<uint32_t>(out.units.size())) == out.units.size()) {
        // All mapped in one call.
    } else {
        // Mapped one by one: a text that Windows would not map whole stays as it was.
        for (size_t i = 0; i < texts.size(); ++i) {
            out.units.replace(out.starts[i], texts[i].size(), texts[i]);
            map(&out.units[out.starts[i]], texts[i].size(), to);
        }
    }
    return out;
}

case_map<char16_t>::case_map()
    : lower_(new char16_t[65536]), upper_(new char16_t[65536]), known_(65536 / 64, 0) {}

void case_map<char16_t>::learn(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t u = s[i];
        if (!is_surrogate_unit(u)) {
            uint64_t& word = known_[u >> 6];
            const uint64_t bit = uint64_t{1} << (u & 63);
            if (!(word & bit)) {
                word |= bit;
                pending_.push_back(u);
            }
        } else if (pair_at(s.data(), s.size(), i)) {
            uint32_t c = code_point_of(u, s[i + 1]);
            if (pairs_.emplace(c, 0).second) pending_pairs_.push_back(c);
            ++i;
        }
    }
}

void case_map<char16_t>::ask_windows() {
    auto lower = win.CharLowerBuffW, upper = win.CharUpperBuffW;
    if (!pending_.empty()) {
        std::u16string l(pending_.begin(), pending_.end()), u = l;
        // No unit here is a surrogate, so each maps alone.
        if (!lower || lower(l.data(), static_cast<uint32_t>(l.size())) != l.size()) l.assign(pending_.begin(), pending_.end());
        if (!upper || upper(u.data(), static_cast<uint32_t>(u.size())) != u.size()) u.assign(pending_.begin(), pending_.end());
        for (size_t i = 0; i < pending_.size(); ++i) {
            lower_[pending_[i]] = l[i];
            upper_[pending_[i]] = u[i];
        }
        pending_.clear();
    }
    if (!pending_pairs_.empty()) {
        std::u16string l;  // pair, zero, pair, zero, ...
        for (uint32_t c : pending_pairs_) {
            append_code_point(l, c);
            l += u'\0';
        }
        std::u16string u = l, original = l;
        if (!lower || lower(l.data(), static_cast<uint32_t>(l.size())) != l.size()) l = original;
        if (!upper || upper(u.data(), static_cast<uint32_t>(u.size())) != u.size()) u = original;
        for (size_t k = 0; k < pending_pairs_.size(); ++k) {
            // A pair maps to a pair; anything else leaves the character as it was.
            auto code = [&](const std::u16string& m) {
                char16_t h = m[3 * k], w = m[3 * k + 1];
                return is_high_surrogate(h) && is_low_surrogate(w) ? code_point_of(h, w) : pending_pairs_[k];
            };
            pairs_[pending_pairs_[k]] = uint64_t{code(l)} << 32 | code(u);
        }
        pending_pairs_.clear();
    }
}

char16_t case_map<char16_t>::at(const char16_t* s, size_t n, size_t i, case_to to) {
    if (!pending_.empty() || !pending_pairs_.empty()) ask_windows();
    char16_t u = s[i];
    if (!is_surrogate_unit(u)) {
        if (!(known_[u >> 6] >> (u & 63) & 1)) {
            learn(std::u16string_view(&u, 1));
            ask_windows();
        }
        return (to == case_to::lower ? lower_ : upper_)[u];
    }
    size_t at = i;  // the pair's high unit
    if (is_low_surrogate(u)) {
        if (i == 0 || !is_high_surrogate(s[i - 1])) return u;
        at = i - 1;
    } else if (!pair_at(s, n, i)) {
        return u;
    }
    const uint32_t c = code_point_of(s[at], s[at + 1]);
    auto it = pairs_.find(c);
    if (it == pairs_.end()) {
        learn(std::u16string_view(s + at, 2));
        ask_windows();
        it = pairs_.find(c);
    }
    const uint32_t m = static_cast<uint32_t>(to == case_to::lower ? it->second >> 32 : it->second);
    return at == i ? high_surrogate_of(m) : low_surrogate_of(m);
}

void case_map<char16_t>::map(char16_t* s, size_t n, case_to to) {
    learn(std::u16string_view(s, n));
    // Units of a pair are read before either is written.
    for (size_t i = 0; i < n; ++i) {
        if (pair_at(s, n, i)) {
            char16_t h = at(s, n, i, to), l = at(s, n, i + 1, to);
            s[i] = h;
            s[++i] = l;
        } else {
            s[i] = at(s, n, i, to);
        }
    }
}

joined_texts<char16_t> case_map<char16_t>::joined(const std::vector<std::u16string_view>& texts, case_to to) {
    joined_texts<char16_t> out = join(texts);
    map(out.units.data(), out.units.size(), to);
    return out;
}

}  // namespace tallyrun
