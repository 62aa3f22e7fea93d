// Tests of the UTF-16 helpers: code points read from texts with and without whole pairs, and written back.
#include "support/utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallyrun {
namespace {

struct code_point_case {
    std::u16string text;
    std::vector<uint32_t> code_points;
};

const code_point_case cases[] = {
    {u"", {}},
    {u"a\u00E9", {0x61, 0xE9}},
    {u"\U0001F39E", {0x1F39E}},
    {u"\U00010000\U0010FFFF", {0x10000, 0x10FFFF}},
    {u"\xDC00\xD800", {0xDC00, 0xD800}},     // a low before a high is no pair
    {u"x\xD801", {0x78, 0xD801}},            // a high at the end is alone
    {u"\xD801y\xDC37", {0xD801, 0x79, 0xDC37}},
};

TEST(utf16, next_code_point_takes_a_pair_as_one) {
    for (const code_point_case& c : cases) {
        std::vector<uint32_t> got;
        for (size_t i = 0; i < c.text.size();) got.push_back(next_code_point(c.text.data(), c.text.size(), &i));
        EXPECT_EQ(got, c.code_points) << "text of " << c.text.size() << " units";
    }
}

TEST(utf16, append_code_point_writes_the_units_back) {
    for (const code_point_case& c : cases) {
        std::u16string back;
        for (uint32_t code : c.code_points) append_code_point(back, code);
        EXPECT_EQ(back, c.text) << "text of " << c.text.size() << " units";
    }
}

}  // namespace
}  // namespace tallyrun
