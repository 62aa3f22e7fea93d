// Case mapping as a listing does it: byte tables, whole texts in double-byte code pages, UTF-16 units and pairs.
#include "sequence/case_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/text.h"

using namespace tallyrun;

namespace {

template <typename C>
std::vector<std::basic_string<C>> strings_of(const joined_texts<C>& m) {
    std::vector<std::basic_string<C>> out;
    for (size_t i = 0; i < m.size(); ++i) out.emplace_back(m[i]);
    return out;
}

uint32_t TR_WINAPI map_fewer(char* b, uint32_t n) {
    b[0] = 'z';
    return n - 1;
}

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

int wide_calls = 0;
uint32_t TR_WINAPI counted_lower(char16_t* b, uint32_t n) {
    ++wide_calls;
    return utf16_lower_buff(b, n);
}

}  // namespace

TEST(case_map, many_texts_at_once_map_each_as_alone) {
    std::vector<std::string_view> texts{"IMG_0001.JPG", "", "\xC4rger", std::string_view("A\0B", 3)};
    case_map<char> cases;
    EXPECT_TRUE(cases.per_unit()) << "code page 1252 has single-byte characters";
    std::vector<std::string> lower = strings_of(cases.joined(texts, case_to::lower)), upper = strings_of(cases.joined(texts, case_to::upper));
    ASSERT_EQ(lower.size(), texts.size());
    ASSERT_EQ(upper.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(lower[i], win_lower(texts[i])) << "text " << i;
        EXPECT_EQ(upper[i], win_upper(texts[i])) << "text " << i;
        std::string one(texts[i]);
        cases.lower(one.data(), one.size());
        EXPECT_EQ(one, lower[i]) << "text " << i << " alone";
    }
}

TEST(case_map, a_table_that_windows_maps_only_in_part_is_not_used) {
    binding_override o(win.CharLowerBuffA, &map_fewer);
    case_map<char> cases;
    EXPECT_FALSE(cases.per_unit());
    EXPECT_EQ(strings_of(cases.joined({"ABC", "DEF"}, case_to::lower)), (std::vector<std::string>{"ABC", "DEF"}))
        << "where Windows maps fewer bytes, each text stays as it was";
}

TEST(case_map, a_double_byte_code_page_maps_whole_texts_through_windows) {
    binding_override cp(win.GetCPInfo, &double_byte);
    binding_override up(win.CharUpperBuffA, &upper_after_lead);
    case_map<char> cases;
    EXPECT_FALSE(cases.per_unit());
    std::string text = "x\x81" "ab";
    cases.upper(text.data(), text.size());
    EXPECT_EQ(text, "X\x81" "aB");
    EXPECT_EQ(strings_of(cases.joined({"\x81" "ab", "ab"}, case_to::upper)), (std::vector<std::string>{"\x81" "aB", "AB"}));
}

TEST(case_map, wide_units_are_asked_of_windows_once_and_pairs_map_as_one) {
    binding_override lower(win.CharLowerBuffW, &counted_lower);
    wide_calls = 0;
    case_map<char16_t> cases;
    const std::u16string names[] = {u"\u0421\u041d\u0418\u041c\u041e\u041a_01.JPG", u"\u03a3\u03a3", u"\U00010400x",
                                    u"\xD800z", u"\u0130"};
    for (const auto& n : names) cases.learn(n);
    std::u16string got[5];
    for (int i = 0; i < 5; ++i) {
        got[i] = names[i];
        cases.lower(got[i].data(), got[i].size());
    }
    EXPECT_EQ(got[0], u"\u0441\u043d\u0438\u043c\u043e\u043a_01.jpg");
    EXPECT_EQ(got[1], u"\u03c3\u03c3");
    EXPECT_EQ(got[2], u"\U00010428x") << "a surrogate pair maps as one character";
    EXPECT_EQ(got[3], u"\xD800z") << "a unit of no pair stays";
    EXPECT_LE(wide_calls, 2) << "one call for the units, one for the pairs";
    const char16_t* s = names[2].c_str();
    EXPECT_EQ(cases.lower_at(s, 3, 0), u'\xD801');
    EXPECT_EQ(cases.lower_at(s, 3, 1), u'\xDC28');
    EXPECT_EQ(cases.upper_at(s, 3, 2), u'X');
    // Each unit and text maps as the whole text does through Windows.
    for (const auto& n : names) {
        std::u16string by_windows = n, by_map = n;
        utf16_lower_buff(by_windows.data(), static_cast<uint32_t>(by_windows.size()));
        cases.lower(by_map.data(), by_map.size());
        EXPECT_EQ(by_map, by_windows);
    }
}
