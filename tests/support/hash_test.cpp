// Tests of FNV-1a: the published values, texts hashed in parts, and units of both sides alike.
#include "support/hash.h"

#include <gtest/gtest.h>

namespace tallyrun {
namespace {

TEST(fnv1a, known_values) {
    const struct {
        std::string_view text;
        uint64_t hash;
    } cases[] = {
        {"", 0xcbf29ce484222325ull},
        {"a", 0xaf63dc4c8601ec8cull},
        {"foobar", 0x85944171f73967e8ull},
        {"\xFF", 0xaf64724c8602eb6eull},
    };
    for (const auto& c : cases) EXPECT_EQ(fnv1a(c.text), c.hash) << '"' << c.text << '"';
}

TEST(fnv1a, goes_on_from_a_hash_and_reads_units_as_unsigned) {
    EXPECT_EQ(fnv1a(std::string_view("bar"), fnv1a(std::string_view("foo"))), fnv1a(std::string_view("foobar")));
    EXPECT_EQ(fnv1a(std::u16string_view(u"foobar")), fnv1a(std::string_view("foobar")));
    EXPECT_EQ(fnv1a(std::u16string_view(u"\u00FF")), fnv1a(std::string_view("\xFF")));
}

}  // namespace
}  // namespace tallyrun
