// The run tests on pairs of names: the worked results and the cases that decide between stop and skip.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "config/text.h"
#include "sequence/seq_match.h"

using namespace tallyrun;

namespace tallyrun {

// An answer by its name, for the failure messages.
std::ostream& operator<<(std::ostream& out, seq_answer a) {
    return out << (a == seq_answer::stop ? "stop" : a == seq_answer::skip ? "skip" : "successor");
}

}  // namespace tallyrun

namespace {

// The tests on names lower-cased first, as the listing gives them; field is
// the number field the last successful seq_def fixed.
number_field field;
seq_answer def(std::string a, std::string b, seq_range range) {
    return seq_def<char>(win_lower(a), win_lower(b), range, field);
}
seq_answer next(std::string a, std::string b) { return seq_next<char>(win_lower(a), win_lower(b), field); }

struct def_case {
    const char* first;
    const char* candidate;
    seq_range range;
    seq_answer result;
    size_t start, end;  // the number field when result is successor
};

const def_case worked[] = {
    {"IMG_0001.JPG", "img_0002.jpg", {1, 0}, seq_answer::successor, 5, 8},
    {"IMG_0001.JPG", "IMG_0003.JPG", {1, 0}, seq_answer::stop, 0, 0},
    {"a1.txt", "a10.txt", {1, 0}, seq_answer::skip, 0, 0},
    {"x19.txt", "x20.txt", {1, 0}, seq_answer::successor, 2, 3},
    {"img01.jpg", "img01.png", {1, 0}, seq_answer::skip, 0, 0},
    {"img01.png", "img02.jpg", {1, 0}, seq_answer::skip, 0, 0},
    {"v1_001.txt", "v2_001.txt", {1, 0}, seq_answer::successor, 2, 2},
    {"p1q.txt", "p2r.txt", {1, 0}, seq_answer::skip, 0, 0},
    {"a1b9.txt", "a2b1.txt", {1, 0}, seq_answer::skip, 0, 0},
    {"a1b9.txt", "a2b1.txt", {3, 0}, seq_answer::stop, 0, 0},
    {"take1_shot1.wav", "take2_shot1.wav", {1, 0}, seq_answer::successor, 5, 5},
    {"take1_shot1.wav", "take2_shot1.wav", {7, 0}, seq_answer::stop, 0, 0},
    {"take1_shot1.wav", "take1_shot2.wav", {7, 0}, seq_answer::successor, 11, 11},
    {"ab123.txt", "ab124.txt", {5, 0}, seq_answer::successor, 5, 5},
    {"img0099.jpg", "img0100.jpg", {1, 0}, seq_answer::successor, 4, 7},
    {"img0099.jpg", "img0100.jpg", {1, 5}, seq_answer::skip, 0, 0},
    {"File.TXT", "file.txt", {1, 0}, seq_answer::skip, 0, 0},
};

std::string describe(const def_case& c) {
    return std::string("def(") + c.first + ", " + c.candidate + ", (" +
           std::to_string(c.range.first) + ", " + std::to_string(c.range.last) + "))";
}

// Fixes a field through a successful seq_def, as the builder does before seq_next.
void set_field(const char* a, const char* b, seq_range range = {}) {
    ASSERT_EQ(def(a, b, range), seq_answer::successor) << a << " / " << b;
}

}  // namespace

TEST(seq_def, worked_results) {
    for (const def_case& c : worked) {
        field = number_field{99, 99};
        EXPECT_EQ(def(c.first, c.candidate, c.range), c.result) << describe(c);
        if (c.result == seq_answer::successor) {
            EXPECT_EQ(field.field_start, c.start) << describe(c);
            EXPECT_EQ(field.field_end, c.end) << describe(c);
        } else {
            EXPECT_EQ(field.field_start, 99u) << describe(c) << " changed the field";
        }
    }
}

TEST(seq_def, takes_names_already_lowered) {
    EXPECT_EQ(seq_def<char>("img_0001.jpg", "img_0002.jpg", {}, field), seq_answer::successor);
    EXPECT_EQ(field.field_start, 5u);
    // The test itself does not lower-case: differing case is a differing letter.
    EXPECT_EQ(def("A1.x", "a2.x", {}), seq_answer::successor);
    EXPECT_EQ(seq_def<char>("A1.x", "a2.x", {}, field), seq_answer::skip) << "the field A1/a2 is no number";
}

TEST(seq_def, lengths_and_range_start) {
    EXPECT_EQ(def("a1.txt", "a2.txtx", {}), seq_answer::skip);
    EXPECT_EQ(def("zzzzz", "a", {}), seq_answer::skip);
    EXPECT_EQ(def("a1", "a2", {3, 0}), seq_answer::skip) << "names shorter than first";
    EXPECT_EQ(def("a12", "a13", {3, 0}), seq_answer::successor);
    EXPECT_EQ(field.field_start, 3u);
    EXPECT_EQ(def("x1.txt", "y2.txt", {2, 0}), seq_answer::stop) << "differs before first";
    EXPECT_EQ(def("a1_x", "a1_y", {1, 3}), seq_answer::skip) << "differs only after last";
    EXPECT_EQ(def("AbC1", "aBc1", {}), seq_answer::skip) << "equal ignoring case";
}

TEST(seq_def, numbers_that_are_no_successor) {
    EXPECT_EQ(def("a05", "a04", {}), seq_answer::stop);
    EXPECT_EQ(def("a05", "a07", {}), seq_answer::stop);
    EXPECT_EQ(def("a05", "a95", {}), seq_answer::stop);
    EXPECT_EQ(def("a09", "a10", {}), seq_answer::successor);
    EXPECT_EQ(field.field_start, 2u);
    EXPECT_EQ(field.field_end, 3u);
    // A letter inside the span up to the first equal non-digit makes it no
    // number: not this candidate, but a later one may still be.
    EXPECT_EQ(def("a1b.x", "a2c.x", {}), seq_answer::skip);
}

TEST(seq_def, long_fields_compare_through_doubles) {
    // 16 digits: 2^53 and 2^53 + 1 read as the same double.
    EXPECT_EQ(def("n9007199254740992", "n9007199254740993", {}), seq_answer::skip);
    EXPECT_EQ(def("n900719925474099", "n900719925474100", {}), seq_answer::successor);
    EXPECT_EQ(number_of<char>("000000000000000000000000000000007"), 7.0);
    EXPECT_EQ(number_of<char>(""), 0.0);
    EXPECT_EQ(number_of<char>("007"), 7.0);
}

TEST(seq_next, uses_the_field_of_the_last_successful_seq_def) {
    set_field("IMG_0001.JPG", "IMG_0002.JPG");
    EXPECT_EQ(next("IMG_0002.JPG", "img_0003.jpg"), seq_answer::successor);
    EXPECT_EQ(next("IMG_0002.JPG", "IMG_0002.JPG"), seq_answer::skip) << "same number";
    EXPECT_EQ(next("IMG_0002.JPG", "IMG_0003.PNG"), seq_answer::skip) << "text after differs";
    EXPECT_EQ(next("IMG_0002.JPG", "IMG_00003.JPG"), seq_answer::skip) << "length differs";
    EXPECT_EQ(next("IMG_0002.JPG", "IMX_0003.JPG"), seq_answer::stop) << "text before differs";
    EXPECT_EQ(next("IMG_0002.JPG", "IMG_0004.JPG"), seq_answer::stop) << "a gap";
    EXPECT_EQ(next("IMG_0002.JPG", "IMG_00a3.JPG"), seq_answer::stop) << "not digits";
    EXPECT_EQ(field.field_start, 5u);
    EXPECT_EQ(field.field_end, 8u);
}

TEST(seq_next, the_field_keeps_its_width) {
    set_field("f98.tif", "f99.tif");
    EXPECT_EQ(next("f99.tif", "f100.tif"), seq_answer::skip) << "99 is not followed by 100";
    set_field("f098.tif", "f099.tif");
    EXPECT_EQ(next("f099.tif", "f100.tif"), seq_answer::successor);
}

TEST(seq_digits, is_digit_and_all_digits) {
    for (int c = 0; c < 256; ++c) EXPECT_EQ(is_digit(static_cast<char>(c)), c >= 48 && c <= 57) << "code " << c;
    for (int c = 0; c < 65536; ++c) EXPECT_EQ(is_digit(static_cast<char16_t>(c)), c >= 48 && c <= 57) << "unit " << c;
    EXPECT_TRUE(all_digits<char>(""));
    EXPECT_TRUE(all_digits<char>("0123456789"));
    EXPECT_FALSE(all_digits<char>("12a"));
    EXPECT_FALSE(all_digits<char>(std::string("1\xB2", 2))) << "superscript two is no digit";
    EXPECT_FALSE(all_digits<char16_t>(u"1\uFF12")) << "a fullwidth two is no digit";
    EXPECT_FALSE(all_digits<char16_t>(u"\u0661\u0662")) << "Arabic-Indic digits are none either";
}

TEST(seq_def, wide_names_count_positions_in_utf16_units) {
    number_field f;
    EXPECT_EQ(seq_def<char16_t>(u"\u0441\u043d\u0438\u043c\u043e\u043a_01.jpg", u"\u0441\u043d\u0438\u043c\u043e\u043a_02.jpg", {}, f),
              seq_answer::successor);
    EXPECT_EQ(f.field_start, 8u);
    EXPECT_EQ(f.field_end, 9u);
    // An emoji is two units: the field of "\U0001F39E_0001" starts at unit 4.
    EXPECT_EQ(seq_def<char16_t>(u"\U0001F39E_0001.exr", u"\U0001F39E_0002.exr", {}, f), seq_answer::successor);
    EXPECT_EQ(f.field_start, 4u);
    EXPECT_EQ(f.field_end, 7u);
    EXPECT_EQ(seq_def<char16_t>(u"\U0001F39E_0001.exr", u"\U0001F39E_0002.exr", {5, 0}, f), seq_answer::successor);
    EXPECT_EQ(f.field_start, 5u) << "range positions count units";
    // Two names that an 8-bit side would both show as ??_01 are different texts here.
    EXPECT_EQ(seq_def<char16_t>(u"\u5199\u771f_01.png", u"\u753b\u50cf_02.png", {}, f), seq_answer::skip);
    EXPECT_EQ(seq_def<char16_t>(u"\u5199\u771f_01.png", u"\u753b\u771f_02.png", {2, 0}, f), seq_answer::stop)
        << "text before the field differs";
    EXPECT_EQ(seq_next<char16_t>(u"x\uFF11.txt", u"x\uFF12.txt", number_field{2, 2}), seq_answer::stop)
        << "fullwidth digits never make a number";
}

TEST(seq_field, the_parts_of_a_name_around_its_field) {
    struct part_case {
        const char *name, *before, *digits, *after;  // the name, and its parts around field
        number_field field;
    } const cases[] = {
        {"img_0001.jpg", "img_", "0001", ".jpg", {5, 8}},
        {"7x", "", "7", "x", {1, 1}},
        {"a12", "a", "12", "", {2, 3}},
        {"ab", "ab", "", "", {3, 4}},
        {"ab", "ab", "", "ab", {0, 0}},
    };
    for (const part_case& c : cases) {
        const std::string_view name = c.name;
        EXPECT_EQ(before_field(name, c.field), c.before) << c.name;
        EXPECT_EQ(field_text(name, c.field), c.digits) << c.name;
        EXPECT_EQ(after_field(name, c.field), c.after) << c.name;
    }
    EXPECT_EQ(field_text<char16_t>(u"\U0001F39E_01", {4, 5}), u"01") << "positions count UTF-16 units";
}
