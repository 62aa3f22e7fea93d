// The folder walk exactly as first written (slow and literal), the oracle for the real builder.
#include "sequence/walk_model.h"

#include <algorithm>
#include <limits>

#include "config/text.h"
#include "sequence/seq_match.h"
#include "sequence/token_registry.h"

namespace tallyrun {
namespace {

// s[from..to], 1-based, inclusive.
std::string part(const std::string& s, size_t from, size_t to) {
    if (to < from || from < 1 || from > s.size()) return "";
    return s.substr(from - 1, to - from + 1);
}

// The entry's time while a run grows: a date_time, or none.
struct model_time {
    bool none;
    date_time time;
};

size_t find_second_member(const std::vector<real_entry>& files, size_t v,
                          const std::vector<bool>& taken, seq_range range) {
    for (size_t i = v + 1; i <= files.size(); ++i) {
        if (taken[i - 1]) continue;
        int r = seq_def(files[v - 1].name, files[i - 1].name, range);
        if (r == 2) return i;
        if (r == 0) return 0;
    }
    return 0;
}

size_t find_next_member(const std::vector<real_entry>& files, size_t h,
                        const std::vector<bool>& taken) {
    for (size_t i = h + 1; i <= files.size(); ++i) {
        if (taken[i - 1]) continue;
        int r = seq_next(files[h - 1].name, files[i - 1].name);
        if (r == 2) return i;
        if (r == 0) return 0;
    }
    return 0;
}

bool model_same_outer(const std::string& a, const std::string& b) {
    size_t s = current_field.field_start, e = current_field.field_end;
    return part(a, 1, s - 1) == part(b, 1, s - 1) && part(a, e + 1, a.size()) == part(b, e + 1, b.size());
}

std::string model_name(std::string first, std::string last, const std::string& tmpl, bool same_case) {
    if (!same_case) {
        first = win_lower(first);
        last = win_lower(last);
    }
    size_t s = current_field.field_start, e = current_field.field_end;
    std::string slots[4] = {part(first, 1, s - 1), part(first, s, e), part(last, s, e),
                            part(first, e + 1, first.size())};
    std::string text;
    int k = 0;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
            text += '%';
            ++i;
        } else if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == 's') {
            text += slots[k++];
            ++i;
        } else {
            text += tmpl[i];
        }
    }
    size_t dot = rfind('.', text);
    std::string base = dot ? text.substr(0, dot - 1) : text;
    std::string ext = dot ? text.substr(dot - 1) : "";
    return unique_token(base, ext, 0);
}

int64_t clamp(uint64_t total) {
    const auto top = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(total > top ? top : total);
}

file_time converted(const model_time& t) { return t.none ? no_time : win_file_time(t.time); }

}  // namespace

listing model_listing(std::vector<real_entry> entries, const sequence_options& options) {
    std::string tmpl = "%s" + options.seqpattern + "%s";
    seq_range range{options.first, options.last};
    token_init();
    std::vector<real_entry> folders, files;
    for (const real_entry& e : entries) {
        token_count(e.name, 0);
        (e.attributes & 16 ? folders : files).push_back(e);
    }
    std::stable_sort(files.begin(), files.end(), [](const real_entry& a, const real_entry& b) {
        return compare_upper_names(a, b) < 0;
    });
    listing out;
    out.real_entries = folders;
    out.real_entries.insert(out.real_entries.end(), files.begin(), files.end());
    for (const real_entry& f : folders)
        out.entries.push_back({f.name, converted({!f.has_time, f.time}), f.attributes,
                               static_cast<int64_t>(f.size), {}});

    std::vector<bool> taken(files.size(), false);
    const size_t fc = folders.size();
    for (;;) {
        size_t v = 0;
        for (size_t i = 1; i <= files.size() && !v; ++i)
            if (!taken[i - 1]) v = i;
        if (!v) break;
        taken[v - 1] = true;
        const real_entry& head = files[v - 1];
        virtual_entry entry{head.name, no_time, head.attributes, 0, {fc + v}};
        model_time time{!head.has_time, head.time};
        uint64_t total = head.size;
        bool same_case = true;
        size_t l = v;
        size_t h = find_second_member(files, v, taken, range);
        while (h) {
            const real_entry& m = files[h - 1];
            taken[h - 1] = true;
            if (same_case && !model_same_outer(head.name, m.name)) same_case = false;
            if (!m.has_time || time.none || m.time != time.time) time.none = true;
            if (m.attributes != entry.attributes) entry.attributes &= 16;
            if (!(m.attributes & 16))
                total = m.size > UINT64_MAX - total ? UINT64_MAX : total + m.size;
            entry.members.push_back(fc + h);
            l = h;
            h = find_next_member(files, h, taken);
        }
        if (entry.members.size() > 1)
            entry.name = model_name(head.name, files[l - 1].name, tmpl, same_case);
        entry.size = clamp(total);
        entry.time = converted(time);
        out.entries.push_back(entry);
    }
    token_free();
    return out;
}

}  // namespace tallyrun
