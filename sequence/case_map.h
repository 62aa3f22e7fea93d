// Case mapping by the Windows rules of one side, as one folder listing needs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/unit.h"
#include "support/utf16.h"

namespace tallyrun {

// Many texts in one buffer, each followed by a zero unit.
template <typename C>
struct joined_texts {
    std::basic_string<C> units;
    std::vector<size_t> starts;  // where text i starts; one more at the end
    size_t size() const { return starts.empty() ? 0 : starts.size() - 1; }
    std::basic_string_view<C> operator[](size_t i) const {
        return std::basic_string_view<C>(units).substr(starts[i], starts[i + 1] - starts[i] - 1);
    }
};

// Which way a text is mapped.
enum class case_to { lower, upper };

template <typename C>
class case_map;

// The 8-bit side: CharLowerBuffA and CharUpperBuffA by the user's code page. In a
// single-byte code page every byte maps on its own, so one call over the 255
// byte values gives a table that maps any text as Windows would; in a double-byte
// one each text goes to Windows. A text that Windows maps only in part stays as it was.
template <>
class case_map<char> {
public:
    case_map();
    bool per_unit() const { return tables_; }
    // With per_unit() only: the mapping of one byte.
    char lower_at(const char* s, size_t, size_t i) const { return static_cast<char>(lower_[static_cast<unsigned char>(s[i])]); }
    char upper_at(const char* s, size_t, size_t i) const { return static_cast<char>(upper_[static_cast<unsigned char>(s[i])]); }
    void learn(std::string_view) {}
    void lower(char* s, size_t n) { map(s, n, case_to::lower); }
    void upper(char* s, size_t n) { map(s, n, case_to::upper); }
    // Every text mapped as it would be alone, in one call for the lot.
    joined_texts<char> joined(const std::vector<std::string_view>& texts, case_to to);

private:
    void map(char* s, size_t n, case_to to);
    bool tables_ = false;
    unsigned char lower_[256], upper_[256];
};

// The wide side: CharLowerBuffW and CharUpperBuffW, which map a UTF-16 unit on
// its own and a surrogate pair as one character. Each unit and pair is asked of
// Windows once, in one call for all that a batch of texts brought (learn).
template <>
class case_map<char16_t> {
public:
    case_map();
    bool per_unit() const { return true; }
    // Notes the units and pairs of s; the next mapping asks Windows about them.
    void learn(std::u16string_view s);
    // Mappings of unit i of s, whose units have been learned; a unit of a
    // surrogate pair maps as its part of the mapped pair.
    char16_t lower_at(const char16_t* s, size_t n, size_t i) {
        const char16_t u = s[i];
        return ready(u) ? lower_[u] : at(s, n, i, case_to::lower);
    }
    char16_t upper_at(const char16_t* s, size_t n, size_t i) {
        const char16_t u = s[i];
        return ready(u) ? upper_[u] : at(s, n, i, case_to::upper);
    }
    void lower(char16_t* s, size_t n) { map(s, n, case_to::lower); }
    void upper(char16_t* s, size_t n) { map(s, n, case_to::upper); }
    joined_texts<char16_t> joined(const std::vector<std::u16string_view>& texts, case_to to);

private:
    // A unit that maps alone and whose mapping is known already.
    bool ready(char16_t u) const {
        return !is_surrogate_unit(u) && pending_.empty() && pending_pairs_.empty() && (known_[u >> 6] >> (u & 63) & 1);
    }
    void ask_windows();
    char16_t at(const char16_t* s, size_t n, size_t i, case_to to);
    void map(char16_t* s, size_t n, case_to to);
    std::unique_ptr<char16_t[]> lower_, upper_;  // by unit, valid where known_
    std::vector<uint64_t> known_;
    std::vector<char16_t> pending_;  // units met and not asked yet
    std::vector<uint32_t> pending_pairs_;
    std::unordered_map<uint32_t, uint64_t> pairs_;  // code point -> lower << 32 | upper
};

}  // namespace tallyrun
