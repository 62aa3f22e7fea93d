// Sorting records by a sequence of code units, a few units at a time packed into one number.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallyrun {

// A record to sort: `key` holds the units of the current depth, `id` breaks
// ties between sequences that are equal throughout.
struct packed_record {
    uint64_t key;
    uint32_t id;
};

// Sorts records by the sequence fill(record, depth) describes: the key of its
// units from depth * per_key on (8 bytes' worth per key, zero past the end).
// Only records whose keys agree are keyed again, one depth further, so each
// comparison touches the records alone, never the names behind them. Records
// equal to `depths` keys end in order of id. Never fails.
template <typename Fill>
void sort_packed(packed_record* first, packed_record* last, size_t depths, Fill fill) {
    auto by_key = [](const packed_record& a, const packed_record& b) {
        return a.key != b.key ? a.key < b.key : a.id < b.id;
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
        if (s.depth + 1 >= depths) continue;
        for (packed_record* a = s.first; a != s.last;) {
            packed_record* b = a + 1;
            while (b != s.last && b->key == a->key) ++b;
            if (b - a > 1) todo.push_back({a, b, s.depth + 1});
            a = b;
        }
    }
}

// Packs up to 8 / sizeof(unit) units into a key, the first most significant:
// unit_at(i) for i in [from, from + per key), zero at and past `length`.
template <typename Unsigned, typename UnitAt>
uint64_t packed_key(size_t from, size_t length, UnitAt unit_at) {
    constexpr size_t per_key = 8 / sizeof(Unsigned);
    uint64_t key = 0;
    for (size_t i = from; i < from + per_key; ++i)
        key = key << (8 * sizeof(Unsigned)) | (i < length ? static_cast<Unsigned>(unit_at(i)) : 0u);
    return key;
}

}  // namespace tallyrun
