// The run tests on pairs of names: the worked results and the cases that decide between stop and skip.
#include <gtest/gtest.h>

#include <string>

#include "sequence/seq_match.h"

using namespace tallyrun;

namespace {

struct def_case {
    const char* first;
    const char* candidate;
    seq_range range;
    int result;
    size_t start, end;  // the number field when result is 2
};

const def_case worked[] = {
    {"IMG_0001.JPG", "img_0002.jpg", {1, 0}, 2, 5, 8},
    {"IMG_0001.JPG", "IMG_0003.JPG", {1, 0}, 0, 0, 0},
    {"a1.txt", "a10.txt", {1, 0}, 1, 0, 0},
    {"x19.txt", "x20.txt", {1, 0}, 2, 2, 3},
    {"img01.jpg", "img01.png", {1, 0}, 0, 0, 0},
    {"img01.png", "img02.jpg", {1, 0}, 1, 0, 0},
    {"v1_001.txt", "v2_001.txt", {1, 0}, 2, 2, 2},
    {"p1q.txt", "p2r.txt", {1, 0}, 0, 0, 0},
    {"a1b9.txt", "a2b1.txt", {1, 0}, 1, 0, 0},
    {"a1b9.txt", "a2b1.txt", {3, 0}, 0, 0, 0},
    {"take1_shot1.wav", "take2_shot1.wav", {1, 0}, 2, 5, 5},
    {"take1_shot1.wav", "take2_shot1.wav", {7, 0}, 0, 0, 0},
    {"take1_shot1.wav", "take1_shot2.wav", {7, 0}, 2, 11, 11},
    {"ab123.txt", "ab124.txt", {5, 0}, 2, 5, 5},
    {"img0099.jpg", "img0100.jpg", {1, 0}, 2, 4, 7},
    {"img0099.jpg", "img0100.jpg", {1, 5}, 1, 0, 0},
    {"File.TXT", "file.txt", {1, 0}, 1, 0, 0},
};

std::string describe(const def_case& c) {
    return std::string("seq_def(") + c.first + ", " + c.candidate + ", (" +
           std::to_string(c.range.first) + ", " + std::to_string(c.range.last) + "))";
}

// Fixes a field through a successful seq_def, as the builder does before seq_next.
void set_field(const char* a, const char* b, seq_range range = {}) {
    ASSERT_EQ(seq_def(a, b, range), seq_successor) << a << " / " << b;
}

}  // namespace

TEST(seq_def, worked_results) {
    for (const def_case& c : worked) {
        current_field = number_field{99, 99};
        EXPECT_EQ(seq_def(c.first, c.candidate, c.range), c.result) << describe(c);
        if (c.result == seq_successor) {
            EXPECT_EQ(current_field.field_start, c.start) << describe(c);
            EXPECT_EQ(current_field.field_end, c.end) << describe(c);
        } else {
            EXPECT_EQ(current_field.field_start, 99u) << describe(c) << " changed the field";
        }
    }
}

TEST(seq_def, lowered_variant_answers_the_same_on_lowered_names) {
    EXPECT_EQ(seq_def_lower("img_0001.jpg", "img_0002.jpg", {}), seq_successor);
    EXPECT_EQ(current_field.field_start, 5u);
    // The variant does not lower-case: differing case is a differing letter.
    EXPECT_EQ(seq_def("A1.x", "a2.x", {}), seq_successor);
    EXPECT_EQ(seq_def_lower("A1.x", "a2.x", {}), seq_stop);
}

TEST(seq_def, lengths_and_range_start) {
    EXPECT_EQ(seq_def("a1.txt", "a2.txtx", {}), seq_skip);
    EXPECT_EQ(seq_def("zzzzz", "a", {}), seq_skip);
    EXPECT_EQ(seq_def("a1", "a2", {3, 0}), seq_skip) << "names shorter than first";
    EXPECT_EQ(seq_def("a12", "a13", {3, 0}), seq_successor);
    EXPECT_EQ(current_field.field_start, 3u);
    EXPECT_EQ(seq_def("x1.txt", "y2.txt", {2, 0}), seq_stop) << "differs before first";
    EXPECT_EQ(seq_def("a1_x", "a1_y", {1, 3}), seq_skip) << "differs only after last";
    EXPECT_EQ(seq_def("AbC1", "aBc1", {}), seq_skip) << "equal ignoring case";
}

TEST(seq_def, numbers_that_are_no_successor) {
    EXPECT_EQ(seq_def("a05", "a04", {}), seq_stop);
    EXPECT_EQ(seq_def("a05", "a07", {}), seq_stop);
    EXPECT_EQ(seq_def("a05", "a95", {}), seq_stop);
    EXPECT_EQ(seq_def("a09", "a10", {}), seq_successor);
    EXPECT_EQ(current_field.field_start, 2u);
    EXPECT_EQ(current_field.field_end, 3u);
    // A letter inside the span up to the first equal non-digit makes it no number.
    EXPECT_EQ(seq_def("a1b.x", "a2c.x", {}), seq_stop);
}

TEST(seq_def, long_fields_compare_through_doubles) {
    // 16 digits: 2^53 and 2^53 + 1 read as the same double.
    EXPECT_EQ(seq_def("n9007199254740992", "n9007199254740993", {}), seq_skip);
    EXPECT_EQ(seq_def("n900719925474099", "n900719925474100", {}), seq_successor);
    EXPECT_EQ(number_of("000000000000000000000000000000007"), 7.0);
    EXPECT_EQ(number_of(""), 0.0);
    EXPECT_EQ(number_of("007"), 7.0);
}

TEST(seq_next, uses_the_field_of_the_last_successful_seq_def) {
    set_field("IMG_0001.JPG", "IMG_0002.JPG");
    EXPECT_EQ(seq_next("IMG_0002.JPG", "img_0003.jpg"), seq_successor);
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMG_0002.JPG"), seq_skip) << "same number";
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMG_0003.PNG"), seq_skip) << "text after differs";
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMG_00003.JPG"), seq_skip) << "length differs";
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMX_0003.JPG"), seq_stop) << "text before differs";
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMG_0004.JPG"), seq_stop) << "a gap";
    EXPECT_EQ(seq_next("IMG_0002.JPG", "IMG_00a3.JPG"), seq_stop) << "not digits";
    EXPECT_EQ(current_field.field_start, 5u);
    EXPECT_EQ(current_field.field_end, 8u);
}

TEST(seq_next, the_field_keeps_its_width) {
    set_field("f98.tif", "f99.tif");
    EXPECT_EQ(seq_next("f99.tif", "f100.tif"), seq_skip) << "99 is not followed by 100";
    set_field("f098.tif", "f099.tif");
    EXPECT_EQ(seq_next("f099.tif", "f100.tif"), seq_successor);
}

TEST(seq_digits, is_digit_and_all_digits) {
    for (int c = 0; c < 256; ++c) EXPECT_EQ(is_digit(c), c >= 48 && c <= 57) << "code " << c;
    EXPECT_TRUE(all_digits(""));
    EXPECT_TRUE(all_digits("0123456789"));
    EXPECT_FALSE(all_digits("12a"));
    EXPECT_FALSE(all_digits(std::string("1\xB2", 2))) << "superscript two is no digit";
}
