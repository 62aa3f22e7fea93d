// The token registry: its bucket function, counting regardless of case, unique names, the folder's own names.
#include <gtest/gtest.h>

#include <string>

#include "sequence/name_registry.h"

using namespace tallyrun;

namespace {
// A fresh registry for each test, over a folder without names.
struct token_registry : testing::Test {
    case_map<char> cases;
    name_refs<char> none;
    name_registry<char> registry{none, cases};
    int token_count(const std::string& token) { return registry.token_count(token); }
    std::string unique_token(const std::string& base, const std::string& ext) {
        return registry.unique_token(base, ext);
    }
};
size_t token_bucket(const std::string& token) { return tallyrun::token_bucket<char>(token); }
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
    EXPECT_EQ(token_count("abc"), 1);
    EXPECT_EQ(token_count("abc"), 2);
    EXPECT_EQ(token_count("ABC"), 3) << "case variants are one token";
    EXPECT_EQ(token_count(std::string("\xC9T\xC9", 3)), 1);
    EXPECT_EQ(token_count(std::string("\xE9t\xE9", 3)), 2)
        << "lower-casing follows the Windows code page, not only A to Z";
}

TEST_F(token_registry, tokens_of_one_bucket_are_counted_apart) {
    std::string a = "abcdefghijklmnopqrst_first", b = "abcdefghijklmnopqrst_other";
    ASSERT_EQ(token_bucket(a), token_bucket(b));
    EXPECT_EQ(token_count(a), 1);
    EXPECT_EQ(token_count(b), 1);
    EXPECT_EQ(token_count(a), 2);
    EXPECT_EQ(token_count(b), 2);
}

TEST_F(token_registry, unique_token_examples) {
    EXPECT_EQ(unique_token("a1-2", ".txt"), "a1-2.txt");
    EXPECT_EQ(unique_token("a01-03", ""), "a01-03");
    EXPECT_EQ(token_count("a01-03"), 2) << "the result is registered";
}

TEST_F(token_registry, unique_token_after_a_real_name_in_other_case) {
    token_count("A1-2.TXT");
    EXPECT_EQ(unique_token("a1-2", ".txt"), "a1-2[2].txt");
}

TEST_F(token_registry, unique_token_passes_over_taken_counters) {
    token_count("a1-2.txt");
    token_count("a1-2[2].txt");
    EXPECT_EQ(unique_token("a1-2", ".txt"), "a1-2[3].txt");
    EXPECT_EQ(unique_token("A1-2", ".TXT"), "A1-2[4].TXT")
        << "the caller's case is kept; the counter starts at the plain name's count (3)";
}

TEST_F(token_registry, unique_token_counter_starts_at_the_count) {
    token_count("a1-2.txt");
    EXPECT_EQ(unique_token("a1-2", ".txt"), "a1-2[2].txt");
    EXPECT_EQ(unique_token("a1-2", ".txt"), "a1-2[3].txt");
}

TEST_F(token_registry, unique_token_copies_percent_signs) {
    EXPECT_EQ(unique_token("100%d", ".%s"), "100%d.%s");
    EXPECT_EQ(unique_token("100%d", ".%s"), "100%d[2].%s");
}

TEST(token_registry_life, a_fresh_registry_forgets_the_old_one) {
    case_map<char> cases;
    name_refs<char> none;
    {
        name_registry<char> first(none, cases);
        EXPECT_EQ(first.token_count("x"), 1);
        EXPECT_EQ(first.token_count("x"), 2);
    }
    name_registry<char> second(none, cases);
    EXPECT_EQ(second.token_count("x"), 1);
}

TEST(token_registry_life, the_folders_names_count_from_the_start) {
    // The lowered names of a folder, as the listing hands them over.
    const std::string names = "a1-2.txta1-2[2].txtother";
    name_refs<char> real;
    real.buffers[0] = names.data();
    real.add(0, 0, 8);
    real.add(0, 8, 11);
    real.add(0, 19, 5);
    case_map<char> cases;
    name_registry<char> registry(real, cases);
    EXPECT_EQ(registry.unique_token("A1-2", ".TXT"), "A1-2[3].TXT")
        << "both real names are taken, whatever their case";
    EXPECT_EQ(registry.token_count("OTHER"), 2);
    EXPECT_EQ(registry.token_count("other"), 3);
    EXPECT_EQ(registry.unique_token("b", ".txt"), "b.txt");
}

TEST(token_registry_wide, case_follows_the_utf16_rules) {
    const std::u16string names = u"\u0441\u043d\u0438\u043c\u043e\u043a_01-02.jpg";
    name_refs<char16_t> real;
    real.buffers[0] = names.data();
    real.add(0, 0, names.size());
    case_map<char16_t> cases;
    name_registry<char16_t> registry(real, cases);
    EXPECT_EQ(registry.unique_token(u"\u0421\u041d\u0418\u041c\u041e\u041a_01-02", u".JPG"),
              u"\u0421\u041d\u0418\u041c\u041e\u041a_01-02[2].JPG");
    EXPECT_EQ(registry.token_count(u"\U00010400"), 1);
    EXPECT_EQ(registry.token_count(u"\U00010428"), 2) << "a pair lowers as one character";
    EXPECT_EQ(token_bucket<char16_t>(u"\u5199"), size_t{0x5199 % 16384 + 1}) << "units count as 0..65535";
}
