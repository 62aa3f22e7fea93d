// Finds a folder's runs of numbered files with the member walk's exact answers, without visiting every skip.
#include "sequence/run_finder.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace tallyrun {
namespace {

// Why the shortcuts are exact (names of one length, in an order where the
// names sharing any leading part form one stretch; A is the name searched
// from, B a later candidate, D their first differing position):
// - Other lengths always skip, so each length is walked on its own.
// - seq_def: the common leading part with A only shrinks along the list, so
//   the candidates come in stretches of equal D. D > u skips, D < first
//   stops. In between, B can answer 0 or 2 only when it equals A from the
//   first position q >= D where both hold the same non-digit (or u + 1) to
//   the end. So at a position r in D+1..u where B holds A's non-digit, B
//   must equal A from r on: only the names with A's ending from r, and those
//   with another byte at r, are asked. r is taken where nearly every name of
//   the length holds the same non-digit (a marker position, such as the
//   dashes of a UUID or the dot before a fixed extension); without one, u + 1
//   when u < n bounds q the same way.
// - seq_next: B can answer other than 1 only when it equals A outside the
//   field; the names sharing A's text before the field are one stretch, so
//   a name of another outer text answers 1 before that stretch ends and 0
//   after it, and the first name with A's outer text decides first.
// Only the candidates that may answer 0 or 2 are asked; the real tests give
// the answers, so a hash collision only costs one more question.

using slot = size_t;
constexpr slot no_slot = static_cast<slot>(-1);
// Candidates asked one by one before a keyed look-up: most searches end at once.
constexpr int literal_budget = 8;

uint64_t fnv(uint64_t h, std::string_view s) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}
constexpr uint64_t fnv_seed = 14695981039346656037ull;
uint32_t fold(uint64_t h) { return static_cast<uint32_t>(h ^ (h >> 32)); }

// The slots of every name under a key hash, sorted by (hash, slot) so that
// one key's slots come in walk order; `bucket` finds a hash's stretch by its
// top bits without a search through the whole list.
struct keyed_slots {
    std::vector<std::pair<uint32_t, slot>> items;
    std::vector<size_t> bucket;  // bucket[b]: first item whose hash >> shift is b
    int shift = 32;

    keyed_slots() = default;
    explicit keyed_slots(std::vector<std::pair<uint32_t, slot>> list) : items(std::move(list)) {
        std::sort(items.begin(), items.end());
        int bits = 0;
        while (bits < 24 && (size_t{1} << bits) < items.size()) ++bits;
        shift = 32 - bits;
        bucket.assign((size_t{1} << bits) + 1, items.size());
        for (size_t i = items.size(); i-- > 0;) bucket[top(items[i].first)] = i;
        for (size_t b = bucket.size() - 1; b-- > 0;) bucket[b] = std::min(bucket[b], bucket[b + 1]);
    }
    size_t top(uint32_t hash) const { return shift == 32 ? 0 : hash >> shift; }

    // The first item with this hash and a slot >= from.
    size_t find(uint32_t hash, slot from) const {
        size_t b = top(hash);
        auto at = std::lower_bound(items.begin() + static_cast<std::ptrdiff_t>(bucket[b]),
                                   items.begin() + static_cast<std::ptrdiff_t>(bucket[b + 1]),
                                   std::make_pair(hash, from));
        return static_cast<size_t>(at - items.begin());
    }
};

// A walk through one key's slots: where it stands in the list, kept between
// look-ups that ask for the same key further on.
struct key_query {
    const keyed_slots* list = nullptr;
    uint32_t hash = 0;
    size_t at = 0;
    bool others = false;  // also the names under key 0, merged in walk order
    size_t other_at = 0;
};

// The first untaken slot at or after k (size when none); taking is for good.
struct free_slots {
    std::vector<slot> next;
    explicit free_slots(size_t m) : next(m + 1) {
        for (size_t k = 0; k <= m; ++k) next[k] = static_cast<slot>(k);
    }
    void take(slot k) { next[k] = k + 1; }
    slot find(slot k) {
        slot root = k;
        while (next[root] != root) root = next[root];
        while (next[k] != root) {
            slot up = next[k];
            next[k] = root;
            k = up;
        }
        return root;
    }
};

size_t common_prefix(std::string_view a, std::string_view b) {
    size_t k = 0, n = std::min(a.size(), b.size());
    while (k < n && a[k] == b[k]) ++k;
    return k;
}

// The walk over the names of one length.
struct length_walk {
    const std::vector<std::string_view>& names;
    const std::vector<size_t>& index;  // slot -> position in names
    seq_range range;
    size_t m, n, first, u;
    std::vector<size_t> lcp;      // lcp[k]: common leading part of slots k-1 and k
    std::vector<slot> lower_lcp;  // first slot after k with a smaller lcp (m if none)
    std::vector<size_t> next_marker;  // smallest marker position >= p, 0 if none (1-based)
    std::vector<char> marker_byte;    // the byte nearly every name holds at a marker position
    std::vector<char> taken;
    free_slots free;
    std::map<size_t, keyed_slots> by_ending;                      // marker position -> slots
    std::unique_ptr<keyed_slots> tail;                             // by the text after u
    std::map<std::pair<size_t, size_t>, keyed_slots> by_outer;  // field -> slots

    length_walk(const std::vector<std::string_view>& all, const std::vector<size_t>& slots, seq_range r)
        : names(all), index(slots), range(r), m(slots.size()), n(all[slots[0]].size()),
          taken(m, 0), free(m) {
        first = range.first < 1 ? 1 : static_cast<size_t>(range.first);
        u = range.last == 0 ? n : std::min(static_cast<size_t>(range.last), n);
    }

    std::string_view name(size_t k) const { return names[index[k]]; }

    void take(slot k) {
        taken[k] = 1;
        free.take(k);
    }

    // Fills lcp and reports whether every set of names sharing a leading part
    // is one stretch of the list: a branch once left is never entered again.
    bool prepare_order() {
        lcp.assign(m, 0);
        std::vector<std::string> seen(n);  // bytes met at position k+1 under the open k-prefix
        auto mark = [&](size_t depth, char c) {
            if (seen[depth].find(c) != std::string::npos) return false;
            seen[depth] += c;
            return true;
        };
        auto open_from = [&](size_t depth, std::string_view s) {
            for (size_t k = depth; k < n; ++k) seen[k].assign(1, s[k]);
        };
        // Bytes per position, for the marker positions below (one pass over the names).
        std::vector<uint32_t> counts(n * 256, 0);
        auto count = [&](std::string_view s) {
            for (size_t p = 0; p < n; ++p) ++counts[p * 256 + static_cast<unsigned char>(s[p])];
        };
        open_from(0, name(0));
        count(name(0));
        for (size_t k = 1; k < m; ++k) {
            std::string_view s = name(k);
            count(s);
            size_t l = common_prefix(name(k - 1), s);
            lcp[k] = l;
            if (l == n) continue;
            if (!mark(l, s[l])) return false;
            open_from(l + 1, s);
        }
        lower_lcp.assign(m, static_cast<slot>(m));
        std::vector<slot> stack;
        for (size_t k = m; k-- > 1;) {
            while (!stack.empty() && lcp[stack.back()] >= lcp[k]) stack.pop_back();
            if (!stack.empty()) lower_lcp[k] = stack.back();
            stack.push_back(static_cast<slot>(k));
        }
        // Marker positions: the same non-digit in all but an eighth of the
        // names at most (the others are asked one by one).
        marker_byte.assign(n + 2, 0);
        next_marker.assign(n + 2, 0);
        for (size_t p = n; p >= 1; --p) {
            const uint32_t* c = &counts[(p - 1) * 256];
            size_t best = static_cast<size_t>(std::max_element(c, c + 256) - c);
            bool marker = !is_digit(static_cast<int>(best)) && m - c[best] <= m / 8;
            marker_byte[p] = static_cast<char>(best);
            next_marker[p] = marker ? p : next_marker[p + 1];
        }
        return true;
    }

    // The key of a name at marker position `from`: the hash of its ending from
    // there when it holds the marker byte (never 0), else 0.
    uint32_t ending_hash(std::string_view s, size_t from) const {
        if (s[from - 1] != marker_byte[from]) return 0;
        uint32_t h = fold(fnv(fnv_seed, s.substr(from - 1)));
        return h == 0 ? 1 : h;
    }
    uint32_t outer_hash(std::string_view s, size_t start, size_t end) const {
        return fold(fnv(fnv(fnv_seed, s.substr(0, start - 1)), s.substr(end)));
    }

    template <typename Key>
    keyed_slots build(Key key) const {
        std::vector<std::pair<uint32_t, slot>> list(m);
        for (size_t k = 0; k < m; ++k) list[k] = {key(name(k)), k};
        return keyed_slots(std::move(list));
    }

    const keyed_slots& ending_list(size_t from) {
        auto it = by_ending.find(from);
        if (it == by_ending.end())
            it = by_ending.emplace(from, build([&](std::string_view s) { return ending_hash(s, from); })).first;
        return it->second;
    }

    // The hash of a name's text after u (only asked when u < n).
    uint32_t tail_hash(std::string_view s) const { return fold(fnv(fnv_seed, s.substr(u))); }
    const keyed_slots& tail_list() {
        if (!tail) tail = std::make_unique<keyed_slots>(build([&](std::string_view s) { return tail_hash(s); }));
        return *tail;
    }

    const keyed_slots& outer_list(size_t start, size_t end) {
        auto key = std::make_pair(start, end);
        auto it = by_outer.find(key);
        if (it == by_outer.end())
            it = by_outer.emplace(key, build([&](std::string_view s) { return outer_hash(s, start, end); })).first;
        return it->second;
    }

    // Asks test() of the untaken slots from..last in order, literally while
    // `literal` lasts, then, if a keyed list is offered, only of the slots
    // under A's key (the others are known to answer 1). Returns the first slot
    // not answering 1 and its answer.
    template <typename Test, typename Keyed>
    std::pair<slot, int> search(slot from, slot last, int& literal, Test test, Keyed keyed) {
        slot k = free.find(from);
        for (; k <= last && k < m; k = free.find(k + 1)) {
            if (literal <= 0) {
                key_query* q = keyed(k);
                if (!q) break;
                const auto& items = q->list->items;
                auto slot_at = [&](size_t at, uint32_t hash) {
                    return at < items.size() && items[at].first == hash ? items[at].second : no_slot;
                };
                while (slot_at(q->at, q->hash) < k) ++q->at;
                while (q->others && slot_at(q->other_at, 0) < k) ++q->other_at;
                for (;;) {
                    slot i = slot_at(q->at, q->hash);
                    slot j = q->others ? slot_at(q->other_at, 0) : no_slot;
                    bool other = j < i;
                    if (other) i = j;
                    // The cursor stays on a slot past `last`: the next stretch starts there.
                    if (i == no_slot || i > last) break;
                    ++(other ? q->other_at : q->at);
                    if (taken[i]) continue;
                    int r = test(i);
                    if (r != seq_skip) return {i, r};
                }
                return {no_slot, seq_skip};
            }
            --literal;
            int r = test(k);
            if (r != seq_skip) return {k, r};
        }
        for (; k <= last && k < m; k = free.find(k + 1)) {
            int r = test(k);
            if (r != seq_skip) return {k, r};
        }
        return {no_slot, seq_skip};
    }

    // The second member of the run that v starts (its seq_def answer 2 sets
    // current_field), or no_slot.
    slot second_member(slot v) {
        if (n < first || u < first) return no_slot;  // every answer is 1, or never 2
        std::string_view a = name(v);
        int literal = literal_budget;
        key_query query;
        size_t query_from = 0;
        slot k = v + 1;
        while (k < m && lcp[k] >= u) k = lower_lcp[k];  // equal up to u: all skip
        while (k < m && lcp[k] + 1 >= first) {
            slot last = lower_lcp[k] - 1;
            size_t d = lcp[k] + 1;  // the first difference of every name in k..last
            size_t from = next_marker[d + 1];
            while (from != 0 && from <= u && a[from - 1] != marker_byte[from]) from = next_marker[from + 1];
            bool marked = from != 0 && from <= u;
            auto test = [&](slot i) { return seq_def_lower(a, name(i), range); };
            auto keyed = [&](slot at) -> key_query* {
                if (!marked && u == n) return nullptr;
                size_t at_from = marked ? from : u + 1;
                if (at_from != query_from) {  // the sub-blocks before a marker share one look-up
                    query_from = at_from;
                    if (marked) {
                        query.list = &ending_list(from);
                        query.hash = ending_hash(a, from);
                        query.others = true;
                        query.other_at = query.list->find(0, at);
                    } else {
                        query.list = &tail_list();
                        query.hash = tail_hash(a);
                        query.others = false;
                    }
                    query.at = query.list->find(query.hash, at);
                }
                return &query;
            };
            std::pair<slot, int> found = search(k, last, literal, test, keyed);
            if (found.first != no_slot) return found.second == seq_successor ? found.first : no_slot;
            k = lower_lcp[k];
        }
        return no_slot;  // the first name of another leading part stops, or none is left
    }

    // The next member after h with the run's field, or no_slot. query holds
    // the run's place among the names of its outer text (every member has it).
    slot next_member(slot h, number_field field, key_query& query) {
        std::string_view a = name(h);
        current_field = field;
        auto test = [&](slot i) { return seq_next_lower(a, name(i)); };
        auto keyed = [&](slot at) -> key_query* {
            if (!query.list) {
                query.list = &outer_list(field.field_start, field.field_end);
                query.hash = outer_hash(a, field.field_start, field.field_end);
                query.at = query.list->find(query.hash, at);
            }
            return &query;
        };
        int literal = literal_budget;
        std::pair<slot, int> found = search(h + 1, m - 1, literal, test, keyed);
        return found.first != no_slot && found.second == seq_successor ? found.first : no_slot;
    }

    // The walk exactly as written, for an order whose stretches are broken.
    slot literal_second(slot v) {
        std::string_view a = name(v);
        for (slot i = free.find(v + 1); i < m; i = free.find(i + 1)) {
            int r = seq_def_lower(a, name(i), range);
            if (r != seq_skip) return r == seq_successor ? i : no_slot;
        }
        return no_slot;
    }
    slot literal_next(slot h, number_field field) {
        std::string_view a = name(h);
        current_field = field;
        for (slot i = free.find(h + 1); i < m; i = free.find(i + 1)) {
            int r = seq_next_lower(a, name(i));
            if (r != seq_skip) return r == seq_successor ? i : no_slot;
        }
        return no_slot;
    }

    void run(std::vector<found_run>& out) {
        bool fast = m > 1 && prepare_order();
        for (slot v = 0; v < m; ++v) {
            if (taken[v]) continue;
            take(v);
            found_run entry;
            entry.members.push_back(index[v]);
            slot h = m > 1 ? (fast ? second_member(v) : literal_second(v)) : no_slot;
            if (h != no_slot) {
                number_field field = current_field;
                key_query query;
                entry.field_start = field.field_start;
                entry.field_end = field.field_end;
                while (h != no_slot) {
                    take(h);
                    entry.members.push_back(index[h]);
                    h = fast ? next_member(h, field, query) : literal_next(h, field);
                }
            }
            out.push_back(std::move(entry));
        }
    }
};

}  // namespace

std::vector<found_run> find_runs(const std::vector<std::string_view>& names, seq_range range) {
    std::vector<found_run> out;
    out.reserve(names.size());
    std::unordered_map<size_t, size_t> group_of_length;
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < names.size(); ++i) {
        auto it = group_of_length.emplace(names[i].size(), groups.size()).first;
        if (it->second == groups.size()) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    group_of_length.clear();
    for (std::vector<size_t>& group : groups) {
        {
            length_walk walk(names, group, range);
            walk.run(out);
        }
        std::vector<size_t>().swap(group);
    }
    // The walk starts its entries in list order, whatever their lengths (names
    // of one length come out in that order already).
    auto by_start = [](const found_run& x, const found_run& y) { return x.members[0] < y.members[0]; };
    if (groups.size() > 1) std::sort(out.begin(), out.end(), by_start);
    return out;
}

}  // namespace tallyrun
