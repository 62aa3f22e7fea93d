// The token registry: its bucket function, counting with and without case, and unique names.
#include <gtest/gtest.h>

#include <string>

#include "sequence/token_registry.h"

using namespace tallyrun;

namespace {
// A fresh registry for each test, released afterwards.
struct token_registry : testing::Test {
    void SetUp() override { token_init(); }
    void TearDown() override { token_free(); }
};
}  // namespace

TEST(token_bucket, follows_the_shift_and_xor_of_the_first_twenty_bytes) {
    EXPECT_EQ(token_bucket("a"), 98u);
    EXPECT_EQ(token_bucket("ab"), 161u);
    EXPECT_EQ(token_bucket("IMG_0001.JPG"), 15536u);
    EXPECT_EQ(token_bucket(std::string(20, '\xFF')), 86u) << "bytes count as 0..255";
    EXPECT_EQ(token_bucket("abcdefghijklmnopqrstuvwxyz"), 7987u);
    EXPECT_EQ(token_bucket("abcdefghijklmnopqrstuvwxyz"), token_bucket("abcdefghijklmnopqrst"));
}

TEST_F(token_registry, counts_every_registration) {
    EXPECT_EQ(token_count("abc", token_ignore_case), 1);
    EXPECT_EQ(token_count("abc", token_ignore_case), 2);
    EXPECT_EQ(token_count("ABC", token_ignore_case), 3) << "case variants are one token";
    EXPECT_EQ(token_count("ABC", token_exact_case), 1) << "stored lower-cased, so ABC is new";
    EXPECT_EQ(token_count("abc", token_exact_case), 4);
    EXPECT_EQ(token_count(std::string("\xC9T\xC9", 3), token_ignore_case), 1);
    EXPECT_EQ(token_count(std::string("\xE9t\xE9", 3), token_ignore_case), 2)
        << "lower-casing follows the Windows code page, not only A to Z";
}

TEST_F(token_registry, tokens_of_one_bucket_are_counted_apart) {
    std::string a = "abcdefghijklmnopqrst_first", b = "abcdefghijklmnopqrst_other";
    ASSERT_EQ(token_bucket(a), token_bucket(b));
    EXPECT_EQ(token_count(a, token_exact_case), 1);
    EXPECT_EQ(token_count(b, token_exact_case), 1);
    EXPECT_EQ(token_count(a, token_exact_case), 2);
    EXPECT_EQ(token_count(b, token_exact_case), 2);
}

TEST_F(token_registry, unique_token_examples) {
    EXPECT_EQ(unique_token("a1-2", ".txt", token_ignore_case), "a1-2.txt");
    EXPECT_EQ(unique_token("a01-03", "", token_ignore_case), "a01-03");
    EXPECT_EQ(token_count("a01-03", token_ignore_case), 2) << "the result is registered";
}

TEST_F(token_registry, unique_token_after_a_real_name_in_other_case) {
    token_count("A1-2.TXT", token_ignore_case);
    EXPECT_EQ(unique_token("a1-2", ".txt", token_ignore_case), "a1-2[2].txt");
}

TEST_F(token_registry, unique_token_passes_over_taken_counters) {
    token_count("a1-2.txt", token_ignore_case);
    token_count("a1-2[2].txt", token_ignore_case);
    EXPECT_EQ(unique_token("a1-2", ".txt", token_ignore_case), "a1-2[3].txt");
    EXPECT_EQ(unique_token("A1-2", ".TXT", token_ignore_case), "A1-2[4].TXT")
        << "the caller's case is kept; the counter starts at the plain name's count (3)";
}

TEST_F(token_registry, unique_token_counter_starts_at_the_count) {
    token_count("a1-2.txt", token_ignore_case);
    EXPECT_EQ(unique_token("a1-2", ".txt", token_ignore_case), "a1-2[2].txt");
    EXPECT_EQ(unique_token("a1-2", ".txt", token_ignore_case), "a1-2[3].txt");
}

TEST_F(token_registry, unique_token_copies_percent_signs) {
    EXPECT_EQ(unique_token("100%d", ".%s", token_ignore_case), "100%d.%s");
    EXPECT_EQ(unique_token("100%d", ".%s", token_ignore_case), "100%d[2].%s");
}

TEST(token_registry_life, nothing_is_counted_without_a_registry) {
    token_init();
    EXPECT_EQ(token_count("x", token_ignore_case), 1);
    token_free();
    EXPECT_EQ(token_count("x", token_ignore_case), 0);
    EXPECT_EQ(unique_token("x", ".y", token_ignore_case), "x.y");
    token_init();
    EXPECT_EQ(token_count("x", token_ignore_case), 1) << "a fresh registry forgets the old one";
    token_free();
}
