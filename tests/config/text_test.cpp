// Tests of the shared text routines.
#include "config/text.h"

#include <gtest/gtest.h>

#include "support/bindings.h"

using namespace tallyrun;
using fields = std::vector<std::string>;

TEST(text, trimming_uses_exactly_the_four_blanks) {
    EXPECT_EQ(trim(" \tab\r\n"), "ab");
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim("\xA0x"), "\xA0x") << "no-break space is not blank";
    EXPECT_EQ(trim("\fx"), "\fx") << "form feed is not blank";
    EXPECT_EQ(trim_left("a "), "a ");
    EXPECT_EQ(trim_right(" a"), " a");
    EXPECT_EQ(trim_chars("xxaxx", "x"), "a");
}

TEST(text, parse_any_gives_maximal_non_delimiter_runs) {
    EXPECT_EQ(parse_any("1--10", "-"), (fields{"1", "10"}));
    EXPECT_EQ(parse_any("-5-", "-"), (fields{"5"}));
    EXPECT_EQ(parse_any("1 - 10", "-"), (fields{"1 ", " 10"}));
    EXPECT_EQ(parse_any("", "-"), fields{});
    EXPECT_EQ(parse_any("---", "-"), fields{});
    EXPECT_EQ(parse_any("abc", ""), fields{}) << "an empty delimiter set yields nothing";
}

TEST(text, searches_count_from_one_and_answer_zero_for_none) {
    EXPECT_EQ(find_from('=', "a=b=c", 3), 4u);
    EXPECT_EQ(find_from('a', "abc", 0), 0u);
    EXPECT_EQ(find_from('c', "abc", 4), 0u);
    EXPECT_EQ(verify(1, "   x", " "), 4u);
    EXPECT_EQ(verify(1, "   ", " "), 0u);
    EXPECT_EQ(verify(1, "abc", ""), 0u);
    EXPECT_EQ(finds_any("-+", "ab+c", 1), 3u);
    EXPECT_EQ(finds_any("-", "ab", 0), 0u);
    EXPECT_EQ(rfind('.', "a.b.c"), 4u);
    EXPECT_EQ(rfind('.', "abc"), 0u);
    EXPECT_EQ(tallyrun::min(std::vector<int>{7, 3}), 3);
}

TEST(text, case_mapping_follows_the_western_code_page) {
    EXPECT_EQ(win_lower("Options"), "options");
    EXPECT_EQ(win_lower(""), "");
    EXPECT_EQ(win_lower("\xC4"), "\xE4") << "A umlaut lowers beyond A to Z";
    EXPECT_EQ(win_upper("\xE4x"), "\xC4X");
    EXPECT_EQ(win_lower(std::string("A\0B", 3)), std::string("a\0b", 3)) << "NUL bytes stay";
}

namespace {
uint32_t TR_WINAPI map_fewer(char* b, uint32_t n) {
    b[0] = 'z';
    return n - 1;
}
}  // namespace

TEST(text, case_mapping_keeps_text_when_windows_maps_fewer_bytes) {
    binding_override o(win.CharLowerBuffA, &map_fewer);
    EXPECT_EQ(win_lower("ABC"), "ABC");
}

TEST(text, strlen_goes_through_lstrlen) {
    EXPECT_EQ(tallyrun::strlen("abc"), 3u);
    EXPECT_EQ(tallyrun::strlen(""), 0u);
    binding_override o(win.lstrlenA, static_cast<int32_t(TR_WINAPI*)(const char*)>(nullptr));
    EXPECT_EQ(tallyrun::strlen("abc"), 0u) << "a missing binding measures nothing";
}

namespace {
std::vector<std::string> strings_of(const mapped_texts& m) {
    std::vector<std::string> out;
    for (size_t i = 0; i < m.size(); ++i) out.emplace_back(m[i]);
    return out;
}
}  // namespace

TEST(text, mapping_many_texts_at_once_maps_each_as_alone) {
    std::vector<std::string_view> texts{"IMG_0001.JPG", "", "\xC4rger", std::string_view("A\0B", 3)};
    std::vector<std::string> lower = strings_of(win_lower_joined(texts)), upper = strings_of(win_upper_joined(texts));
    ASSERT_EQ(lower.size(), texts.size());
    ASSERT_EQ(upper.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(lower[i], win_lower(texts[i])) << "text " << i;
        EXPECT_EQ(upper[i], win_upper(texts[i])) << "text " << i;
    }
    binding_override o(win.CharLowerBuffA, &map_fewer);
    EXPECT_EQ(strings_of(win_lower_joined({"ABC", "DEF"})), (std::vector<std::string>{"ABC", "DEF"}))
        << "where Windows maps fewer bytes, each text stays as it was";
}

namespace {
// A double-byte code page: the byte after a lead byte is part of its character and keeps its case.
uint32_t TR_WINAPI upper_after_lead(char* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(b[i]) == 0x81 && i + 1 < n) {
            ++i;
            continue;
        }
        if (b[i] >= 'a' && b[i] <= 'z') b[i] = static_cast<char>(b[i] - 32);
    }
    return n;
}
int32_t TR_WINAPI double_byte(uint32_t, win_cp_info* info) {
    *info = win_cp_info{2, {'?', 0}, {0x81, 0x9F}};
    return 1;
}
}  // namespace

TEST(text, a_double_byte_code_page_maps_whole_texts_through_windows) {
    binding_override cp(win.GetCPInfo, &double_byte);
    binding_override up(win.CharUpperBuffA, &upper_after_lead);
    EXPECT_EQ(win_upper("x\x81" "ab"), "X\x81" "aB");
    EXPECT_EQ(strings_of(win_upper_joined({"\x81" "ab", "ab"})), (std::vector<std::string>{"\x81" "aB", "AB"}));
}
