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
    EXPECT_EQ(rfind<char>('.', "a.b.c"), 4u);
    EXPECT_EQ(rfind<char>('.', "abc"), 0u);
    EXPECT_EQ(rfind<char16_t>(u'.', u"\u0416.b.c"), 4u) << "positions count units on the wide side";
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

TEST(text, slices_are_one_based_and_inclusive) {
    EXPECT_EQ(slice<char>("abcdef", 2, 4), "bcd");
    EXPECT_EQ(slice<char>("abcdef", 4, 3), "") << "empty when to < from";
    EXPECT_EQ(slice<char>("abc", 0, 1), "a") << "from 0 counts as 1";
    EXPECT_EQ(slice<char>("abc", 4, 9), "") << "past the end";
    EXPECT_EQ(slice<char>("abc", 2, 9), "bc") << "cut at the end";
    EXPECT_EQ(slice<char16_t>(u"\u0416\u0417\u0418", 2, 3), u"\u0417\u0418");
}
