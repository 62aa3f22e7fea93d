// Sorting records by a sequence of code units, sixteen bytes' worth at a time packed into one key.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallyrun {

// Sixteen bytes of units, the first most significant.
struct packed_key {
    uint64_t high = 0, low = 0;
    bool operator==(const packed_key& o) const { return high == o.high && low == o.low; }
    bool operator<(const packed_key& o) const { return high != o.high ? high < o.high : low < o.low; }
};

// A record to sort: `key` holds the units of the current depth, `id` breaks
// ties between sequences that are equal throughout.
struct packed_record {
    packed_key key;
    uint32_t id;
};

// The key of units [from, from + 16 / sizeof(Unsigned)) of a sequence of
// `length` units, unit_at(i) giving unit i; zero past the end.
template <typename Unsigned, typename UnitAt>
packed_key key_of_units(size_t from, size_t length, UnitAt unit_at) {
    constexpr size_t per_word = 8 / sizeof(Unsigned), bits = 8 * sizeof(Unsigned);
    uint64_t words[2] = {0, 0};
    for (size_t w = 0; w < 2; ++w) {
        const size_t start = from + w * per_word;
        if (start >= length) break;  // no unit: the word stays zero
        const size_t end = std::min(length, start + per_word);
        uint64_t word = 0;
        for (size_t i = start; i < end; ++i) word = word << bits | static_cast<Unsigned>(unit_at(i));
        words[w] = word << (bits * (start + per_word - end));  // under 64: this word has a unit
    }
    return {words[0], words[1]};
}

// The number of leading bits two keys share (128 when equal).
inline uint32_t shared_bits(const packed_key& a, const packed_key& b) {
    if (a.high != b.high) return static_cast<uint32_t>(__builtin_clzll(a.high ^ b.high));
    if (a.low != b.low) return 64 + static_cast<uint32_t>(__builtin_clzll(a.low ^ b.low));
    return 128;
}

// Sorts records by the sequence fill(record, depth) describes: the key of its
// units from depth * 16 / sizeof(unit) on. Only records whose keys agree are
// keyed again, one depth further, so each comparison touches the records
// alone, never the sequences behind them. Records equal in all `depths` keys
// end in order of id. With `shared`, shared[i] (i > 0) becomes the number of
// leading bits that record i's sequence shares with record i - 1's, depths * 128
// when they are equal throughout. Never fails.
template <typename Fill>
void sort_packed(packed_record* first, packed_record* last, size_t depths, Fill fill, uint32_t* shared = nullptr) {
    auto by_key = [](const packed_record& a, const packed_record& b) {
        return a.key == b.key ? a.id < b.id : a.key < b.key;
    };
    struct stretch {
        packed_record *first, *last;
        size_t depth;
    };
    std::vector<stretch> todo{{first, last, 0}};
    while (!todo.empty()) {
        const stretch s = todo.back();
        todo.pop_back();
        if (s.depth > 0)
            for (packed_record* r = s.first; r != s.last; ++r) r->key = fill(*r, s.depth);
        std::sort(s.first, s.last, by_key);
        const bool deepest = s.depth + 1 >= depths;
        for (packed_record* a = s.first; a != s.last;) {
            packed_record* b = a + 1;
            while (b != s.last && b->key == a->key) ++b;
            if (shared) {
                // Between groups the keys tell; inside a group only at the last depth.
                if (b != s.last) shared[b - first] = static_cast<uint32_t>(s.depth * 128) + shared_bits(a->key, b->key);
                if (deepest)
                    for (packed_record* r = a + 1; r != b; ++r) shared[r - first] = static_cast<uint32_t>(depths * 128);
            }
            if (b - a > 1 && !deepest) todo.push_back({a, b, s.depth + 1});
            a = b;
        }
    }
}

}  // namespace tallyrun
