// The folder walk exactly as first written (slow and literal), the oracle for the real builder, on either side.
#include "sequence/walk_model.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "config/text.h"
#include "sequence/name_registry.h"
#include "sequence/seq_match.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

template <typename C>
using text = std::basic_string<C>;

// The whole text mapped by the side's Windows function, or left as it was when
// Windows maps fewer units.
template <typename C>
text<C> mapped(text<C> s, bool lower) {
    uint32_t n = static_cast<uint32_t>(s.size());
    if constexpr (sizeof(C) == 1) {
        return lower ? win_lower(s) : win_upper(s);
    } else {
        text<C> copy = s;
        auto f = lower ? win.CharLowerBuffW : win.CharUpperBuffW;
        return f(copy.data(), n) == n ? copy : s;
    }
}

// s[from..to], 1-based, inclusive.
template <typename C>
text<C> part(const text<C>& s, size_t from, size_t to) {
    if (to < from || from < 1 || from > s.size()) return text<C>();
    return s.substr(from - 1, to - from + 1);
}

template <typename C>
size_t find_second_member(const std::vector<shown_file<C>>& files, size_t v, const std::vector<bool>& taken,
                          seq_range range, number_field& field) {
    for (size_t i = v + 1; i <= files.size(); ++i) {
        if (taken[i - 1]) continue;
        seq_answer r = seq_def<C>(mapped(files[v - 1].name, true), mapped(files[i - 1].name, true), range, field);
        if (r == seq_answer::successor) return i;
        if (r == seq_answer::stop) return 0;
    }
    return 0;
}

template <typename C>
size_t find_next_member(const std::vector<shown_file<C>>& files, size_t h, const std::vector<bool>& taken,
                        number_field field) {
    for (size_t i = h + 1; i <= files.size(); ++i) {
        if (taken[i - 1]) continue;
        seq_answer r = seq_next<C>(mapped(files[h - 1].name, true), mapped(files[i - 1].name, true), field);
        if (r == seq_answer::successor) return i;
        if (r == seq_answer::stop) return 0;
    }
    return 0;
}

template <typename C>
bool model_same_outer(const text<C>& a, const text<C>& b, number_field field) {
    size_t s = field.field_start, e = field.field_end;
    return part(a, 1, s - 1) == part(b, 1, s - 1) && part(a, e + 1, a.size()) == part(b, e + 1, b.size());
}

template <typename C>
text<C> model_name(text<C> first, text<C> last, const text<C>& tmpl, bool same_case, number_field field,
                   name_registry<C>& registry) {
    if (!same_case) {
        first = mapped(first, true);
        last = mapped(last, true);
    }
    size_t s = field.field_start, e = field.field_end;
    text<C> slots[4] = {part(first, 1, s - 1), part(first, s, e), part(last, s, e), part(first, e + 1, first.size())};
    text<C> name;
    int k = 0;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] == C('%') && i + 1 < tmpl.size() && tmpl[i + 1] == C('%')) {
            name += C('%');
            ++i;
        } else if (tmpl[i] == C('%') && i + 1 < tmpl.size() && tmpl[i + 1] == C('s')) {
            name += slots[k++];
            ++i;
        } else {
            name += tmpl[i];
        }
    }
    size_t dot = name.rfind(C('.'));
    text<C> base = dot == text<C>::npos ? name : name.substr(0, dot);
    text<C> ext = dot == text<C>::npos ? text<C>() : name.substr(dot);
    return registry.unique_token(base, ext);
}

int64_t clamp(uint64_t total) {
    const auto top = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(total > top ? top : total);
}

}  // namespace

template <typename C>
shown_listing<C> model_listing(const std::vector<shown_file<C>>& entries, const sequence_options& options) {
    const text<C> tmpl = side_text<C>("%s") + side_text<C>(options.seqpattern) + side_text<C>("%s");
    const seq_range range{options.first, options.last};
    case_map<C> cases;
    const name_refs<C> none;  // every name is registered below, one by one
    name_registry<C> registry(none, cases);
    std::vector<shown_file<C>> folders, files;
    for (const shown_file<C>& e : entries) {
        registry.token_count(e.name);
        (e.attributes & 16 ? folders : files).push_back(e);
    }
    std::stable_sort(files.begin(), files.end(), [](const shown_file<C>& a, const shown_file<C>& b) {
        const text<C> x = mapped(a.name, false), y = mapped(b.name, false);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](C l, C r) {
            return static_cast<std::make_unsigned_t<C>>(l) < static_cast<std::make_unsigned_t<C>>(r);
        });
    });
    shown_listing<C> out;
    out.real_entries = folders;
    for (const shown_file<C>& f : folders) {
        out.entries.push_back({f.name, host_time(f.time), f.attributes, clamp(f.size), {}});
    }

    std::vector<bool> taken(files.size(), false);
    for (;;) {
        size_t v = 0;
        for (size_t i = 1; i <= files.size() && !v; ++i)
            if (!taken[i - 1]) v = i;
        if (!v) break;
        taken[v - 1] = true;
        const shown_file<C>& head = files[v - 1];
        shown_entry<C> entry{head.name, no_time, head.attributes, 0, {}};
        std::vector<size_t> members{v};
        local_step time = head.time;
        uint64_t total = head.size;
        bool same_case = true;
        size_t l = v;
        number_field field;
        size_t h = find_second_member(files, v, taken, range, field);
        while (h) {
            const shown_file<C>& m = files[h - 1];
            taken[h - 1] = true;
            if (same_case && !model_same_outer(head.name, m.name, field)) same_case = false;
            if (m.time != time) time = no_step;
            if (m.attributes != entry.attributes) entry.attributes &= 16;
            if (!(m.attributes & 16)) total = m.size > UINT64_MAX - total ? UINT64_MAX : total + m.size;
            members.push_back(h);
            l = h;
            h = find_next_member(files, h, taken, field);
        }
        if (members.size() > 1) entry.name = model_name(head.name, files[l - 1].name, tmpl, same_case, field, registry);
        entry.size = clamp(total);
        entry.time = host_time(time);
        // The listing keeps each entry's members side by side, after the folders.
        for (size_t k : members) {
            out.real_entries.push_back(files[k - 1]);
            entry.members.push_back(out.real_entries.size());
        }
        out.entries.push_back(entry);
    }
    return out;
}

template shown_listing<char> model_listing<char>(const std::vector<shown_file<char>>&, const sequence_options&);
template shown_listing<char16_t> model_listing<char16_t>(const std::vector<shown_file<char16_t>>&,
                                                         const sequence_options&);

}  // namespace tallyrun
