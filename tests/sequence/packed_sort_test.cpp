// Tests of sorting by packed units: the order of plain comparisons, and what neighbours share.
#include "sequence/packed_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tallyrun {
namespace {

// Sorts texts as the engine does and checks against a sort that compares them outright.
template <typename K>
void check_against_plain_sort(const std::vector<std::basic_string<K>>& texts, const char* what) {
    constexpr size_t per_key = 16 / sizeof(K);
    size_t longest = 0;
    for (const auto& t : texts) longest = std::max(longest, t.size());
    auto fill = [&](const packed_record& r, size_t depth) {
        const std::basic_string<K>& t = texts[r.id];
        return key_of_units<K>(depth * per_key, t.size(), [&](size_t i) { return t[i]; });
    };
    std::vector<packed_record> order(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        order[i].id = static_cast<uint32_t>(i);
        order[i].key = fill(order[i], 0);
    }
    std::vector<uint32_t> shared(texts.size(), 0);
    const size_t depths = (longest + per_key - 1) / per_key;
    sort_packed(order.data(), order.data() + order.size(), depths, fill, shared.data());

    std::vector<uint32_t> want(texts.size());
    for (size_t i = 0; i < want.size(); ++i) want[i] = static_cast<uint32_t>(i);
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return texts[a] < texts[b]; });
    std::vector<uint32_t> got;
    for (const packed_record& r : order) got.push_back(r.id);
    ASSERT_EQ(got, want) << what;

    for (size_t i = 1; i < order.size(); ++i) {
        const auto &a = texts[order[i - 1].id], &b = texts[order[i].id];
        size_t common = 0;
        while (common < a.size() && common < b.size() && a[common] == b[common]) ++common;
        const size_t told = std::min<size_t>(shared[i] / (8 * sizeof(K)), std::min(a.size(), b.size()));
        ASSERT_EQ(told, common) << what << ": neighbours " << i - 1 << " and " << i;
    }
}

TEST(packed_sort, orders_as_plain_comparison_and_tells_what_neighbours_share) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        // Few distinct units, so that texts share long beginnings and keys tie at many depths.
        std::vector<std::basic_string<uint8_t>> bytes;
        std::vector<std::basic_string<uint16_t>> wide;
        const size_t length = 1 + rng() % 40, count = 1 + rng() % 300;
        const bool same_length = round % 2 == 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t n = same_length ? length : 1 + rng() % length;
            std::basic_string<uint8_t> b;
            std::basic_string<uint16_t> w;
            for (size_t k = 0; k < n; ++k) {
                const unsigned u = 1 + rng() % 3;
                b += static_cast<uint8_t>(u == 3 ? 0xFF : u);
                w += static_cast<uint16_t>(u == 3 ? 0xFF01 : u);
            }
            bytes.push_back(b);
            wide.push_back(w);
        }
        check_against_plain_sort(bytes, "bytes");
        check_against_plain_sort(wide, "wide units");
    }
}

TEST(packed_sort, keys_pad_with_zero_and_hold_sixteen_bytes) {
    const std::basic_string<uint8_t> text = {1, 2, 3};
    const packed_key k = key_of_units<uint8_t>(0, text.size(), [&](size_t i) { return text[i]; });
    EXPECT_EQ(k.high, 0x0102030000000000ull);
    EXPECT_EQ(k.low, 0u);
    const packed_key past = key_of_units<uint8_t>(16, text.size(), [&](size_t i) { return text[i]; });
    EXPECT_TRUE(past == packed_key{}) << "a depth past the end is all zero";
    const std::basic_string<uint16_t> wide = {1, 2, 3, 4, 5};
    const packed_key w = key_of_units<uint16_t>(0, wide.size(), [&](size_t i) { return wide[i]; });
    EXPECT_EQ(w.high, 0x0001000200030004ull);
    EXPECT_EQ(w.low, 0x0005000000000000ull);
}

}  // namespace
}  // namespace tallyrun
