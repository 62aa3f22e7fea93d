// Finds a folder's runs of numbered files with the member walk's exact answers, without visiting every skip.
#include "sequence/run_finder.h"

#include <algorithm>
#include <map>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "sequence/packed_sort.h"
#include "support/hash.h"

namespace tallyrun {
namespace {

// Why the shortcuts are exact (names of one length, in an order where the
// names sharing any leading part form one stretch; A is the name searched
// from, B a later candidate, D their first differing position):
// - Other lengths always skip, so each length is walked on its own.
// - seq_def: the common leading part with A only shrinks along the list, so
//   the candidates come in stretches of equal D. D > u skips, D < first
//   stops. In between, B can answer stop or successor only when its field and
//   A's are digits and it equals A after the field. A's field is digits up to g, A's
//   first non-digit at or after D, so the field ends before g: B must hold A's
//   non-digit at g and equal A from g to the end (when g > u, from u + 1). And
//   the field ends at the first position q >= D where both hold the same
//   non-digit, so B also equals A from any later position r where it holds A's
//   non-digit: nearly every name of the length holds the same non-digit at a
//   marker position (the dashes of a UUID, the dot before a fixed extension),
//   and there only the names with A's ending from r, and those with another
//   unit at r, are asked. The names that share A's ending from g are found
//   among its neighbours in the order of reversed names; when they are few,
//   only they are asked (for names like UUIDs, none: the search ends at once).
// - seq_next: B can answer other than skip only when it equals A outside the
//   field; the names sharing A's text before the field are one stretch, so
//   a name of another outer text answers skip before that stretch ends and
//   stop after it, and the first name with A's outer text decides first.
// Only the candidates that may answer stop or successor are asked; the real
// tests give the answers, so a hash collision only costs one more question.

using slot = uint32_t;
constexpr slot no_slot = 0xFFFFFFFFu;
// Candidates asked one by one before a keyed look-up: most searches end at once.
constexpr int literal_budget = 8;
// The most names sharing A's ending that are asked one by one; more fall back
// to the marker's list.
constexpr size_t few_endings = 32;

uint32_t fold(uint64_t h) { return static_cast<uint32_t>(h ^ (h >> 32)); }

// The slots of every name under a key hash, sorted by (hash, slot) so that
// one key's slots come in walk order; `bucket` finds a hash's stretch by its
// top bits without a search through the whole list.
struct keyed_slots {
    std::vector<std::pair<uint32_t, slot>> items;
    std::vector<uint32_t> bucket;  // bucket[b]: first item whose hash >> shift is b
    int shift = 32;

    keyed_slots() = default;
    explicit keyed_slots(std::vector<std::pair<uint32_t, slot>> list) : items(std::move(list)) {
        std::sort(items.begin(), items.end());
        int bits = 0;
        while (bits < 24 && (size_t{1} << bits) < items.size()) ++bits;
        shift = 32 - bits;
        bucket.assign((size_t{1} << bits) + 1, static_cast<uint32_t>(items.size()));
        for (size_t i = items.size(); i-- > 0;) bucket[top(items[i].first)] = static_cast<uint32_t>(i);
        for (size_t b = bucket.size() - 1; b-- > 0;) bucket[b] = std::min(bucket[b], bucket[b + 1]);
    }
    size_t top(uint32_t hash) const { return shift == 32 ? 0 : hash >> shift; }

    // The first item with this hash and a slot >= from.
    size_t find(uint32_t hash, slot from) const {
        size_t b = top(hash);
        auto at = std::lower_bound(items.begin() + bucket[b], items.begin() + bucket[b + 1], std::make_pair(hash, from));
        return static_cast<size_t>(at - items.begin());
    }
};

// Which keyed list a search walks: none yet, a marker position's, the one by
// the text after u, or the few names sharing A's ending.
enum class query_list { none, marker, tail, endings };

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

template <typename C>
size_t common_prefix(std::basic_string_view<C> a, std::basic_string_view<C> b) {
    size_t k = 0, n = std::min(a.size(), b.size());
    while (k < n && a[k] == b[k]) ++k;
    return k;
}

// Code units below 256 may mark a position; others never do (it only costs speed).
template <typename C>
unsigned marker_index(C c) {
    auto u = static_cast<std::make_unsigned_t<C>>(c);
    return u < 256 ? u : 256;
}

// The walk over the names of one length.
template <typename C>
struct length_walk {
    using view = std::basic_string_view<C>;
    const name_refs<C>& names;
    const std::vector<uint32_t>& index;  // slot -> position in names
    seq_range range;
    size_t m, n, first, u;
    std::vector<uint16_t> lcp;        // lcp[k]: common leading part of slots k-1 and k
    std::vector<slot> lower_lcp;      // first slot after k with a smaller lcp (m if none)
    std::vector<uint16_t> next_marker;  // smallest marker position >= p, 0 if none (1-based)
    std::vector<C> marker_unit;       // the unit nearly every name holds at a marker position
    std::vector<char> taken;
    free_slots free;
    std::map<size_t, keyed_slots> by_marker;                   // marker position -> slots
    std::unique_ptr<keyed_slots> tail;                         // by the text after u
    // The slots in the order of their names read backwards, each slot's place
    // in it, and the common ending of each with the one before (made at first use).
    std::vector<slot> reversed;
    std::vector<uint32_t> reversed_at;
    std::vector<uint16_t> common_ending;
    std::map<std::pair<size_t, size_t>, keyed_slots> by_outer;  // field -> slots

    length_walk(const name_refs<C>& all, const std::vector<uint32_t>& slots, seq_range r)
        : names(all), index(slots), range(r), m(slots.size()), n(all[slots[0]].size()), taken(m, 0), free(m) {
        first = range.first < 1 ? 1 : static_cast<size_t>(range.first);
        u = range.last == 0 ? n : std::min(static_cast<size_t>(range.last), n);
    }

    view name(size_t k) const { return names[index[k]]; }

    void take(slot k) {
        taken[k] = 1;
        free.take(k);
    }

    // Fills lcp and reports whether every set of names sharing a leading part
    // is one stretch of the list: a branch once left is never entered again.
    bool prepare_order(bool grouped) {
        lcp.assign(m, 0);
        std::vector<std::basic_string<C>> seen(n);  // units met at position k+1 under the open k-prefix
        auto mark = [&](size_t depth, C c) {
            if (seen[depth].find(c) != std::basic_string<C>::npos) return false;
            seen[depth] += c;
            return true;
        };
        auto open_from = [&](size_t depth, view s) {
            for (size_t k = depth; k < n; ++k) seen[k].assign(1, s[k]);
        };
        // Units per position, for the marker positions below. Markers only
        // speed the search up, so in a long list every eighth name tells.
        const size_t stride = m >= 1024 ? 8 : 1;
        size_t counted = 0;
        std::vector<uint32_t> counts(n * 257, 0);
        auto count = [&](view s) {
            for (size_t p = 0; p < n; ++p) ++counts[p * 257 + marker_index(s[p])];
            ++counted;
        };
        if (!grouped) open_from(0, name(0));
        count(name(0));
        for (size_t k = 1; k < m; ++k) {
            view s = name(k);
            if (k % stride == 0) count(s);
            size_t l = common_prefix(name(k - 1), s);
            lcp[k] = static_cast<uint16_t>(l);
            if (l == n || grouped) continue;
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
        marker_unit.assign(n + 2, C(0));
        next_marker.assign(n + 2, 0);
        for (size_t p = n; p >= 1; --p) {
            const uint32_t* c = &counts[(p - 1) * 257];
            size_t best = static_cast<size_t>(std::max_element(c, c + 256) - c);
            bool marker = !is_digit(static_cast<C>(best)) && counted - c[best] <= counted / 8;
            marker_unit[p] = static_cast<C>(best);
            next_marker[p] = static_cast<uint16_t>(marker ? p : next_marker[p + 1]);
        }
        return true;
    }

    // The key of a name at marker position `from`: the hash of its ending from
    // there when it holds the marker unit (never 0), else 0.
    uint32_t marker_hash(view s, size_t from) const {
        if (s[from - 1] != marker_unit[from]) return 0;
        return ending_hash(s, from);
    }
    static uint32_t ending_hash(view s, size_t from) {  // never 0
        uint32_t h = fold(fnv1a(s.substr(from - 1)));
        return h == 0 ? 1 : h;
    }
    uint32_t outer_hash(view s, size_t start, size_t end) const {
        return fold(fnv1a(s.substr(end), fnv1a(s.substr(0, start - 1))));
    }
    // The hash of a name's text after u (only asked when u < n).
    uint32_t tail_hash(view s) const { return fold(fnv1a(s.substr(u))); }

    template <typename Key>
    keyed_slots build(Key key) const {
        std::vector<std::pair<uint32_t, slot>> list(m);
        for (size_t k = 0; k < m; ++k) list[k] = {key(name(k)), static_cast<slot>(k)};
        return keyed_slots(std::move(list));
    }
    template <typename Map, typename Key, typename Hash>
    const keyed_slots& lazily(Map& lists, const Key& key, Hash hash) {
        auto it = lists.find(key);
        if (it == lists.end()) it = lists.emplace(key, build(hash)).first;
        return it->second;
    }
    const keyed_slots& marker_list(size_t from) {
        return lazily(by_marker, from, [&](view s) { return marker_hash(s, from); });
    }
    // Sorts by the names read from their ends and fills common_ending from
    // the keys alone (the names themselves are met in no useful order here).
    template <typename K>
    void sort_by_endings(std::vector<packed_record>& order) {
        constexpr size_t per_key = 16 / sizeof(K);
        auto fill = [&](const packed_record& r, size_t depth) {
            const view a = name(r.id);
            return key_of_units<K>(depth * per_key, n, [&](size_t i) { return a[n - 1 - i]; });
        };
        for (size_t k = 0; k < m; ++k) {
            order[k].id = static_cast<uint32_t>(k);
            order[k].key = fill(order[k], 0);
        }
        std::vector<uint32_t> shared(m, 0);
        sort_packed(order.data(), order.data() + m, (n + per_key - 1) / per_key, fill, shared.data());
        common_ending.assign(m, 0);
        for (size_t i = 1; i < m; ++i) common_ending[i] = static_cast<uint16_t>(std::min<size_t>(n, shared[i] / (8 * sizeof(K))));
    }
    void prepare_endings() {
        // By the last units first, packed into keys as the names' sort does:
        // twice as many to a key where every unit is below 256.
        bool narrow = true;
        for (size_t k = 0; k < m && narrow; ++k)
            for (C c : name(k)) narrow &= static_cast<std::make_unsigned_t<C>>(c) < 256;
        std::vector<packed_record> order(m);
        if (narrow)
            sort_by_endings<uint8_t>(order);
        else
            sort_by_endings<std::make_unsigned_t<C>>(order);
        reversed.resize(m);
        reversed_at.resize(m);
        for (size_t i = 0; i < m; ++i) {
            reversed[i] = order[i].id;
            reversed_at[order[i].id] = static_cast<uint32_t>(i);
        }
    }

    // The slots other than v whose names end as v's does from position `from`,
    // in slot order, when there are at most few_endings of them; false when
    // there are more.
    bool same_endings(slot v, size_t from, std::vector<slot>& out) {
        if (reversed.empty()) prepare_endings();
        const size_t length = n - from + 1, at = reversed_at[v];
        out.clear();
        for (size_t i = at; i > 0 && common_ending[i] >= length; --i) {
            if (out.size() == few_endings) return false;
            out.push_back(reversed[i - 1]);
        }
        for (size_t i = at + 1; i < m && common_ending[i] >= length; ++i) {
            if (out.size() == few_endings) return false;
            out.push_back(reversed[i]);
        }
        std::sort(out.begin(), out.end());
        return true;
    }
    const keyed_slots& tail_list() {
        if (!tail) tail = std::make_unique<keyed_slots>(build([&](view s) { return tail_hash(s); }));
        return *tail;
    }
    const keyed_slots& outer_list(size_t start, size_t end) {
        return lazily(by_outer, std::make_pair(start, end), [&](view s) { return outer_hash(s, start, end); });
    }

    // Asks test() of the untaken slots from..last in order, literally while
    // `literal` lasts, then, if a keyed list is offered, only of the slots
    // under A's key (the others are known to answer skip). Returns the first
    // slot not answering skip and its answer.
    template <typename Test, typename Keyed>
    std::pair<slot, seq_answer> search(slot from, slot last, int& literal, Test test, Keyed keyed) {
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
                    seq_answer r = test(i);
                    if (r != seq_answer::skip) return {i, r};
                }
                return {no_slot, seq_answer::skip};
            }
            --literal;
            seq_answer r = test(k);
            if (r != seq_answer::skip) return {k, r};
        }
        for (; k <= last && k < m; k = free.find(k + 1)) {
            seq_answer r = test(k);
            if (r != seq_answer::skip) return {k, r};
        }
        return {no_slot, seq_answer::skip};
    }

    // The second member of the run that v starts and its number field, or no_slot.
    slot second_member(slot v, number_field& field) {
        if (n < first || u < first) return no_slot;  // every answer is skip, or never successor
        view a = name(v);
        int literal = literal_budget;
        key_query query;
        std::pair<query_list, size_t> query_of{query_list::none, 0};  // which list the query walks, and from where
        std::vector<slot> endings;
        keyed_slots ending_slots;
        slot k = v + 1;
        while (k < m && size_t{lcp[k]} >= u) k = lower_lcp[k];  // equal up to u: all skip
        while (k < m && size_t{lcp[k]} + 1 >= first) {
            slot last = lower_lcp[k] - 1;
            size_t d = lcp[k] + 1;  // the first difference of every name in k..last
            size_t g = d;  // A's first non-digit at or after d, u + 1 when none up to u
            while (g <= u && is_digit(a[g - 1])) ++g;
            size_t from = next_marker[d + 1];
            while (from != 0 && from <= u && a[from - 1] != marker_unit[from]) from = next_marker[from + 1];
            const bool marked = from != 0 && from <= u;
            auto test = [&](slot i) { return seq_def(a, name(i), range, field); };
            // Once the endings are sorted, a stretch whose names ending as A does
            // from g are few is decided by those alone, without literal tests.
            if (!reversed.empty() && g <= u && same_endings(v, g, endings)) {
                for (slot i : endings) {
                    if (i < k || i > last || taken[i]) continue;
                    const seq_answer r = test(i);
                    if (r != seq_answer::skip) return r == seq_answer::successor ? i : no_slot;
                }
                k = lower_lcp[k];
                continue;
            }
            auto keyed = [&](slot at) -> key_query* {
                std::pair<query_list, size_t> wanted{query_list::none, 0};
                if (g <= u && m > few_endings &&
                    (query_of == std::make_pair(query_list::endings, g) || same_endings(v, g, endings))) {
                    wanted = {query_list::endings, g};
                } else if (marked) {
                    wanted = {query_list::marker, from};
                } else if (u < n) {
                    wanted = {query_list::tail, u + 1};
                } else {
                    return nullptr;
                }
                if (wanted != query_of) {  // stretches that want the same list share one walk through it
                    query_of = wanted;
                    query.others = false;
                    if (wanted.first == query_list::endings) {
                        std::vector<std::pair<uint32_t, slot>> items;
                        for (slot i : endings) items.emplace_back(1, i);
                        ending_slots = keyed_slots(std::move(items));
                        query.list = &ending_slots;
                        query.hash = 1;
                    } else if (wanted.first == query_list::marker) {
                        query.list = &marker_list(from);
                        query.hash = marker_hash(a, from);
                        query.others = true;
                        query.other_at = query.list->find(0, at);
                    } else {
                        query.list = &tail_list();
                        query.hash = tail_hash(a);
                    }
                    query.at = query.list->find(query.hash, at);
                }
                return &query;
            };
            std::pair<slot, seq_answer> found = search(k, last, literal, test, keyed);
            if (found.first != no_slot) return found.second == seq_answer::successor ? found.first : no_slot;
            k = lower_lcp[k];
        }
        return no_slot;  // the first name of another leading part stops, or none is left
    }

    // The next member after h with the run's field, or no_slot. query holds
    // the run's place among the names of its outer text (every member has it).
    slot next_member(slot h, number_field field, key_query& query) {
        view a = name(h);
        auto test = [&](slot i) { return seq_next(a, name(i), field); };
        auto keyed = [&](slot at) -> key_query* {
            if (!query.list) {
                query.list = &outer_list(field.field_start, field.field_end);
                query.hash = outer_hash(a, field.field_start, field.field_end);
                query.at = query.list->find(query.hash, at);
            }
            return &query;
        };
        int literal = literal_budget;
        std::pair<slot, seq_answer> found = search(h + 1, static_cast<slot>(m - 1), literal, test, keyed);
        return found.first != no_slot && found.second == seq_answer::successor ? found.first : no_slot;
    }

    // The walk exactly as written, for an order whose stretches are broken.
    slot literal_second(slot v, number_field& field) {
        view a = name(v);
        for (slot i = free.find(v + 1); i < m; i = free.find(i + 1)) {
            seq_answer r = seq_def(a, name(i), range, field);
            if (r != seq_answer::skip) return r == seq_answer::successor ? i : no_slot;
        }
        return no_slot;
    }
    slot literal_next(slot h, number_field field) {
        view a = name(h);
        for (slot i = free.find(h + 1); i < m; i = free.find(i + 1)) {
            seq_answer r = seq_next(a, name(i), field);
            if (r != seq_answer::skip) return r == seq_answer::successor ? i : no_slot;
        }
        return no_slot;
    }

    void run(found_runs& out, bool grouped) {
        bool fast = m > 1 && prepare_order(grouped);
        for (slot v = 0; v < m; ++v) {
            if (taken[v]) continue;
            take(v);
            run_span entry{static_cast<uint32_t>(out.members.size()), 1, 0, 0};
            out.members.push_back(index[v]);
            number_field field;
            slot h = m > 1 ? (fast ? second_member(v, field) : literal_second(v, field)) : no_slot;
            if (h != no_slot) {
                key_query query;
                entry.field_start = static_cast<uint16_t>(field.field_start);
                entry.field_end = static_cast<uint16_t>(field.field_end);
                while (h != no_slot) {
                    take(h);
                    out.members.push_back(index[h]);
                    ++entry.count;
                    h = fast ? next_member(h, field, query) : literal_next(h, field);
                }
            }
            out.entries.push_back(entry);
        }
    }
};

}  // namespace

template <typename C>
found_runs find_runs(const name_refs<C>& names, seq_range range, bool grouped) {
    found_runs out;
    out.members.reserve(names.size());
    std::unordered_map<size_t, size_t> group_of_length;
    std::vector<std::vector<uint32_t>> groups;
    for (size_t i = 0; i < names.size(); ++i) {
        auto it = group_of_length.emplace(names[i].size(), groups.size()).first;
        if (it->second == groups.size()) groups.emplace_back();
        groups[it->second].push_back(static_cast<uint32_t>(i));
    }
    group_of_length.clear();
    for (std::vector<uint32_t>& group : groups) {
        {
            length_walk<C> walk(names, group, range);
            walk.run(out, grouped);
        }
        std::vector<uint32_t>().swap(group);
    }
    // The walk starts its entries in list order, whatever their lengths (names
    // of one length come out in that order already).
    if (groups.size() > 1) {
        const std::vector<uint32_t>& members = out.members;
        std::sort(out.entries.begin(), out.entries.end(),
                  [&](const run_span& x, const run_span& y) { return members[x.first] < members[y.first]; });
    }
    return out;
}

template found_runs find_runs<char>(const name_refs<char>&, seq_range, bool);
template found_runs find_runs<char16_t>(const name_refs<char16_t>&, seq_range, bool);

}  // namespace tallyrun
