// The virtual directory builder: one real folder in, the listing the host shows out, on either side.
#include "sequence/seq_dir.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "config/text.h"
#include "sequence/name_registry.h"
#include "sequence/run_finder.h"
#include "sequence/case_map.h"
#include "sequence/packed_sort.h"
#include "support/paths.h"
#include "support/unit.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

// What one listing needs besides the folder: its case mapping, its name
// template in the side's units and the range of the number.
template <typename C>
struct build_context {
    case_map<C> cases;
    std::basic_string<C> name_template;
    seq_range range;

    explicit build_context(const sequence_options& options) : range{options.first, options.last} {
        const std::basic_string<C> pattern = side_text<C>(options.seqpattern);
        name_template = side_text<C>("%s") + (pattern.empty() ? side_text<C>("%s-%s") : pattern) + side_text<C>("%s");
    }
};

// The run first..last named from the template: the text before the field, the
// two numbers, the text after it; then made unique, split at its last dot.
template <typename C>
std::basic_string<C> sequence_name(std::basic_string_view<C> first, std::basic_string_view<C> last,
                                   number_field field, build_context<C>& context, name_registry<C>& registry) {
    const std::basic_string_view<C> slots[4] = {before_field(first, field), field_text(first, field),
                                                field_text(last, field), after_field(first, field)};
    const std::basic_string<C> text = fill_template<C>(context.name_template, slots);
    const std::basic_string_view<C> whole(text);
    const size_t dot = rfind(C('.'), whole);
    if (dot == 0) return registry.unique_token(whole, {});
    return registry.unique_token(whole.substr(0, dot - 1), whole.substr(dot - 1));
}

// The mappings of the units below 256 (each maps alone), from a case map
// that has learned them.
template <typename C>
struct narrow_cases {
    C lower[256], upper[256];
    explicit narrow_cases(case_map<C>& cases) {
        for (size_t u = 0; u < 256; ++u) {
            const C unit = static_cast<C>(u);
            lower[u] = cases.lower_at(&unit, 1, 0);
            upper[u] = cases.upper_at(&unit, 1, 0);
        }
    }
};

// Every name lower-cased: a name that is its own lower case is a view of the
// read names, the others views of copies in `lowered`. The names' units have
// been learned; `narrow` maps those below 256 (given when cases.per_unit()).
template <typename C>
name_refs<C> lower_all(const folder_read<C>& read, case_map<C>& cases, const narrow_cases<C>* narrow,
                       std::basic_string<C>& lowered) {
    name_refs<C> refs;
    refs.refs.reserve(read.files.size());
    if (!cases.per_unit()) {
        std::vector<std::basic_string_view<C>> names;
        names.reserve(read.files.size());
        for (const listed_file& f : read.files) names.push_back(std::basic_string_view<C>(read.names).substr(f.name_at, f.name_length));
        joined_texts<C> all = cases.joined(names, case_to::lower);
        lowered = std::move(all.units);
        for (size_t i = 0; i < names.size(); ++i) refs.add(1, all.starts[i], names[i].size());
    } else {
        auto lower_at = [&](const C* s, size_t n, size_t k) {
            const auto u = static_cast<std::make_unsigned_t<C>>(s[k]);
            return u < 256 ? narrow->lower[u] : cases.lower_at(s, n, k);
        };
        std::vector<uint32_t> changed;  // names whose lower case differs
        size_t extra = 0;
        for (size_t i = 0; i < read.files.size(); ++i) {
            const listed_file& f = read.files[i];
            const C* s = read.names.data() + f.name_at;
            for (size_t k = 0; k < f.name_length; ++k)
                if (lower_at(s, f.name_length, k) != s[k]) {
                    changed.push_back(static_cast<uint32_t>(i));
                    extra += f.name_length;
                    break;
                }
        }
        lowered.reserve(extra);
        size_t next = 0;
        for (size_t i = 0; i < read.files.size(); ++i) {
            const listed_file& f = read.files[i];
            if (next < changed.size() && changed[next] == i) {
                ++next;
                const C* s = read.names.data() + f.name_at;
                refs.add(1, lowered.size(), f.name_length);
                for (size_t k = 0; k < f.name_length; ++k) lowered += lower_at(s, f.name_length, k);
            } else {
                refs.add(0, f.name_at, f.name_length);
            }
        }
    }
    refs.buffers[0] = read.names.data();
    refs.buffers[1] = lowered.data();
    return refs;
}

// What the files' names are made of, read once front to back.
struct units_met {
    std::vector<uint8_t> met;  // by unit: 1 when some name holds it
    bool surrogates = false;
};

template <typename C>
units_met units_of(const folder_read<C>& read, const std::vector<uint32_t>& files) {
    using unsigned_unit = std::make_unsigned_t<C>;
    units_met out{std::vector<uint8_t>(size_t{1} << (8 * sizeof(C)), 0)};
    for (uint32_t i : files) {
        const listed_file& f = read.files[i];
        const C* s = read.names.data() + f.name_at;
        for (size_t k = 0; k < f.name_length; ++k) out.met[static_cast<unsigned_unit>(s[k])] = 1;
    }
    if (sizeof(C) > 1)
        out.surrogates = std::find(out.met.begin() + 0xD800, out.met.begin() + 0xE000, 1) != out.met.begin() + 0xE000;
    return out;
}

// Has the case map learn every unit of the folder's names: the files' from
// the units met, the folders' from their names.
template <typename C>
void learn_units(case_map<C>& cases, const folder_read<C>& read, const std::vector<uint32_t>& folders, const units_met& units) {
    if (units.surrogates) {  // pairs are learned from the names that hold them
        cases.learn(read.names);
        return;
    }
    std::basic_string<C> met;  // every unit below 256 too: narrow_cases asks for them all
    for (size_t u = 1; u < units.met.size(); ++u)
        if (units.met[u] || u < 256) met += static_cast<C>(u);
    cases.learn(met);
    for (uint32_t i : folders) cases.learn(std::basic_string_view<C>(read.names).substr(read.files[i].name_at, read.files[i].name_length));
}

// Whether every unit met upper-cases below 256, alone (no surrogate pair).
template <typename C>
bool upper_is_narrow(const units_met& units, const narrow_cases<C>& narrow) {
    if (units.surrogates) return false;
    for (size_t u = 256; u < units.met.size(); ++u)
        if (units.met[u]) return false;
    for (size_t u = 0; u < 256; ++u)
        if (units.met[u] && static_cast<std::make_unsigned_t<C>>(narrow.upper[u]) > 255) return false;
    return true;
}

// Sorts by keys of packed upper-cased units, never looking at two names at
// once; the ids are listing positions, so equal names keep that order.
template <typename K, typename C, typename Upper>
void sort_packed_upper(std::vector<uint32_t>& files, const folder_read<C>& read, Upper upper) {
    constexpr size_t per_key = 16 / sizeof(K);
    const C* base = read.names.data();
    auto fill = [&](const packed_record& r, size_t depth) {
        const listed_file& f = read.files[r.id];
        return key_of_units<K>(depth * per_key, f.name_length, [&](size_t k) { return upper(base + f.name_at, f.name_length, k); });
    };
    size_t longest = 0;
    std::vector<packed_record> order(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        order[i].id = files[i];
        order[i].key = fill(order[i], 0);
        longest = std::max<size_t>(longest, read.files[files[i]].name_length);
    }
    sort_packed(order.data(), order.data() + order.size(), (longest + per_key - 1) / per_key, fill);
    for (size_t i = 0; i < files.size(); ++i) files[i] = order[i].id;
}

// The files (positions in read.files) in ascending order of their upper-cased
// names compared unit by unit, a name that is a leading part of another
// first, names equal after upper-casing in listing order. narrow: given when
// every unit upper-cases below 256 (the keys then hold twice as many wide units).
template <typename C>
void sort_by_upper(std::vector<uint32_t>& files, const folder_read<C>& read, case_map<C>& cases, const narrow_cases<C>* narrow) {
    using unsigned_unit = std::make_unsigned_t<C>;
    if (cases.per_unit()) {
        if (narrow)
            sort_packed_upper<uint8_t>(files, read, [&](const C* s, size_t, size_t k) {
                return static_cast<uint8_t>(narrow->upper[static_cast<unsigned_unit>(s[k]) & 0xFF]);
            });
        else
            sort_packed_upper<unsigned_unit>(files, read, [&](const C* s, size_t n, size_t k) { return cases.upper_at(s, n, k); });
        return;
    }
    std::vector<std::basic_string_view<C>> names;
    names.reserve(files.size());
    for (uint32_t i : files) names.push_back(std::basic_string_view<C>(read.names).substr(read.files[i].name_at, read.files[i].name_length));
    const joined_texts<C> upper = cases.joined(names, case_to::upper);
    std::vector<uint32_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
        const auto a = upper[x], b = upper[y];
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](C l, C r) {
            return static_cast<unsigned_unit>(l) < static_cast<unsigned_unit>(r);
        });
    });
    std::vector<uint32_t> sorted(files.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = files[order[i]];
    files.swap(sorted);
}

// Whether names sorted by their upper case keep every lowered leading part
// together: so when the units met lower and upper alike, each lower form going
// with one upper form and back (no Kelvin sign beside a k, no surrogate pair).
template <typename C>
bool keeps_prefixes_together(const units_met& units, case_map<C>& cases) {
    if (!cases.per_unit() || units.surrogates) return false;
    using unsigned_unit = std::make_unsigned_t<C>;
    std::unordered_map<uint32_t, uint32_t> upper_of_lower, lower_of_upper;
    for (size_t u = 0; u < units.met.size(); ++u) {
        if (!units.met[u]) continue;
        const C unit = static_cast<C>(u);
        const uint32_t l = static_cast<unsigned_unit>(cases.lower_at(&unit, 1, 0));
        const uint32_t up = static_cast<unsigned_unit>(cases.upper_at(&unit, 1, 0));
        if (upper_of_lower.emplace(l, up).first->second != up || lower_of_upper.emplace(up, l).first->second != l)
            return false;
    }
    return true;
}

// The runs found among the joinable places of the walk, with every lone
// place as an entry of one file, all in the order of their first members.
found_runs with_lone_files(const found_runs& runs, const std::vector<uint32_t>& joinable,
                           const std::vector<uint32_t>& lone) {
    found_runs out;
    out.members.reserve(runs.members.size() + lone.size());
    size_t next_lone = 0;
    auto add_single = [&](uint32_t k) {
        out.entries.push_back(run_span{static_cast<uint32_t>(out.members.size()), 1, 0, 0});
        out.members.push_back(k);
    };
    for (const run_span& e : runs.entries) {
        const uint32_t first = joinable[runs.members[e.first]];
        while (next_lone < lone.size() && lone[next_lone] < first) add_single(lone[next_lone++]);
        run_span moved = e;
        moved.first = static_cast<uint32_t>(out.members.size());
        for (uint32_t m = 0; m < e.count; ++m) out.members.push_back(joinable[runs.members[e.first + m]]);
        out.entries.push_back(moved);
    }
    while (next_lone < lone.size()) add_single(lone[next_lone++]);
    return out;
}

}  // namespace

template <typename C>
bool folder_read<C>::add(std::basic_string_view<C> name, uint32_t attributes, uint64_t size, local_step time,
                         bool lone) {
    if (names.size() + name.size() > 0xFFFFFFFFu || name.size() > 0xFFFF) return false;
    listed_file f{};
    f.name_at = static_cast<uint32_t>(names.size());
    f.name_length = static_cast<uint16_t>(name.size());
    f.attributes = static_cast<uint8_t>(attributes);
    f.lone = lone ? 1 : 0;
    f.time = time;
    f.size_low = static_cast<uint32_t>(size);
    f.size_high = static_cast<uint32_t>(size >> 32);
    names.append(name);
    files.push_back(f);
    return true;
}

template <typename C>
bool same_outer_text(std::basic_string_view<C> a, std::basic_string_view<C> b, number_field field) {
    return before_field(a, field) == before_field(b, field) && after_field(a, field) == after_field(b, field);
}

template <typename C>
std::basic_string<C> fill_template(std::basic_string_view<C> name_template, const std::basic_string_view<C> (&slots)[4]) {
    std::basic_string<C> text;
    size_t next = 0;
    read_name_template(name_template, [&](template_piece kind, size_t at) {
        if (kind == template_piece::slot) {
            if (next < 4) text.append(slots[next++]);
        } else {
            text += kind == template_piece::percent ? C('%') : name_template[at];
        }
    });
    return text;
}

// Lays the names and records out in the order given (positions in
// read.files), so that later walks read memory front to back. The reads here
// jump about a buffer that may be far larger than the caches: each record
// and name is asked for some places ahead of its use.
template <typename C>
void lay_out(folder_read<C>& read, const std::vector<uint32_t>& order) {
    constexpr size_t ahead = 8;
    // The names first, so that the old ones are gone before the records are copied.
    std::basic_string<C> names;
    names.reserve(read.names.size());
    std::vector<uint32_t> name_at(order.size());
    for (size_t j = 0; j < order.size(); ++j) {
        if (j + 2 * ahead < order.size()) __builtin_prefetch(&read.files[order[j + 2 * ahead]]);
        if (j + ahead < order.size()) __builtin_prefetch(read.names.data() + read.files[order[j + ahead]].name_at);
        const listed_file& f = read.files[order[j]];
        name_at[j] = static_cast<uint32_t>(names.size());
        names.append(read.names, f.name_at, f.name_length);
    }
    read.names = std::move(names);
    std::vector<listed_file> files(order.size());
    for (size_t j = 0; j < order.size(); ++j) {
        if (j + ahead < order.size()) __builtin_prefetch(&read.files[order[j + ahead]]);
        files[j] = read.files[order[j]];
        files[j].name_at = name_at[j];
    }
    read.files = std::move(files);
}

template <typename C>
listing<C> build_listing(folder_read<C> read, const sequence_options& options) {
    build_context<C> context(options);
    listing<C> out;
    std::vector<uint32_t> order, files;  // positions in read.files
    order.reserve(read.files.size());
    files.reserve(read.files.size());
    for (size_t i = 0; i < read.files.size(); ++i)
        (read.files[i].attributes & directory_bit ? order : files).push_back(static_cast<uint32_t>(i));
    const size_t folders = order.size();
    // Asked while the files are still in listing order: the names are read front to back.
    bool grouped = false, narrow = false;
    std::unique_ptr<narrow_cases<C>> below_256;
    if (context.cases.per_unit()) {
        const units_met units = units_of(read, files);
        learn_units(context.cases, read, order, units);
        below_256 = std::make_unique<narrow_cases<C>>(context.cases);
        grouped = keeps_prefixes_together(units, context.cases);
        narrow = upper_is_narrow(units, *below_256);
    }
    std::vector<uint16_t> length_of(read.files.size());  // read in listing order, asked for in walk order
    size_t longest = 0;
    for (size_t i = 0; i < read.files.size(); ++i) {
        length_of[i] = read.files[i].name_length;
        longest = std::max<size_t>(longest, length_of[i]);
    }
    sort_by_upper(files, read, context.cases, narrow ? below_256.get() : nullptr);
    // The walk takes names of one length at a time: each length's names are
    // laid out side by side, in walk order. walk[k]: file k of the walk's place.
    std::vector<uint32_t> walk(files.size());
    {
        std::vector<uint32_t> next(longest + 1, 0);  // the first place of each length, then the next free one
        for (uint32_t i : files) ++next[length_of[i]];
        for (size_t length = 0, at = folders; length <= longest; ++length) {
            const uint32_t count = next[length];
            next[length] = static_cast<uint32_t>(at);
            at += count;
        }
        order.resize(read.files.size());
        for (size_t k = 0; k < files.size(); ++k) {
            walk[k] = next[length_of[files[k]]]++;
            order[walk[k]] = files[k];
        }
    }
    std::vector<uint16_t>().swap(length_of);
    std::vector<uint32_t>().swap(files);
    lay_out(read, order);
    std::vector<uint32_t>().swap(order);
    for (size_t i = 0; i < folders; ++i) {
        out.starts.push_back(static_cast<uint32_t>(out.files.size()));
        out.files.push_back(read.files[i]);
    }

    std::basic_string<C> lowered_units;
    const name_refs<C> lowered = lower_all(read, context.cases, below_256.get(), lowered_units);
    found_runs runs;
    {
        // The runs are found among the files that may be members; the others
        // go in as entries of their own, each at its place in the walk.
        // Only where listings follow links can a file be lone.
        std::vector<uint32_t> joinable, lone;  // places in the walk, made only when some file is lone
        if (listings_follow_links &&
            std::any_of(read.files.begin() + folders, read.files.end(), [](const listed_file& f) { return f.lone; }))
            for (uint32_t k = 0; k < walk.size(); ++k) (read.files[walk[k]].lone ? lone : joinable).push_back(k);
        name_refs<C> sorted;
        sorted.buffers[0] = lowered.buffers[0];
        sorted.buffers[1] = lowered.buffers[1];
        sorted.refs.reserve(walk.size());
        if (lone.empty())
            for (uint32_t at : walk) sorted.refs.push_back(lowered.refs[at]);
        else
            for (uint32_t k : joinable) sorted.refs.push_back(lowered.refs[walk[k]]);
        runs = find_runs(sorted, context.range, grouped);
        if (!lone.empty()) runs = with_lone_files(runs, joinable, lone);
    }

    name_registry<C> registry(lowered, context.cases);
    out.files.reserve(read.files.size());
    out.starts.reserve(out.starts.size() + runs.entries.size() + 1);
    std::basic_string<C> run_names;  // appended to the names once every file is placed
    std::vector<std::pair<size_t, std::basic_string<C>>> pending;
    for (const run_span& span : runs.entries) {
        const uint32_t entry = static_cast<uint32_t>(out.starts.size());
        out.starts.push_back(static_cast<uint32_t>(out.files.size()));
        const listed_file& head = read.files[walk[runs.members[span.first]]];
        run_record run{entry, 0, 0, head.attributes, span.field_start, span.field_end, head.time, 0};
        bool same_case = true;
        const number_field field{span.field_start, span.field_end};
        for (uint32_t k = 0; k < span.count; ++k) {
            const listed_file& m = read.files[walk[runs.members[span.first + k]]];
            out.files.push_back(m);
            if (k > 0) {
                if (same_case && !same_outer_text<C>(std::basic_string_view<C>(read.names).substr(head.name_at, head.name_length),
                                                     std::basic_string_view<C>(read.names).substr(m.name_at, m.name_length), field))
                    same_case = false;
                if (m.time != run.time) run.time = no_step;
                if (m.attributes != run.attributes) run.attributes &= directory_bit;
            }
            run.size = m.size() > UINT64_MAX - run.size ? UINT64_MAX : run.size + m.size();
        }
        if (span.count < 2) continue;
        const size_t first_at = walk[runs.members[span.first]], last_at = walk[runs.members[span.first + span.count - 1]];
        // Mixed case gives the lower-cased names (the pattern's own text keeps its case).
        auto name_at = [&](size_t i) {
            return same_case ? std::basic_string_view<C>(read.names).substr(read.files[i].name_at, read.files[i].name_length)
                             : lowered[i];
        };
        pending.emplace_back(out.runs.size(), sequence_name<C>(name_at(first_at), name_at(last_at), field, context, registry));
        out.runs.push_back(run);
    }
    out.starts.push_back(static_cast<uint32_t>(out.files.size()));
    out.names = std::move(read.names);
    for (auto& [k, name] : pending) {
        out.runs[k].name_at = static_cast<uint32_t>(out.names.size());
        out.runs[k].name_length = static_cast<uint32_t>(name.size());
        out.names += name;
    }
    return out;
}

#define TALLYRUN_SEQ_DIR(C)                                                                                   \
    template struct folder_read<C>;                                                                           \
    template listing<C> build_listing<C>(folder_read<C>, const sequence_options&);                            \
    template std::basic_string<C> fill_template<C>(std::basic_string_view<C>, const std::basic_string_view<C>(&)[4]); \
    template bool same_outer_text<C>(std::basic_string_view<C>, std::basic_string_view<C>, number_field);
TALLYRUN_SEQ_DIR(char)
TALLYRUN_SEQ_DIR(char16_t)

}  // namespace tallyrun
