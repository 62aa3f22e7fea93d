// A listing laid out the plain way for tests: every entry with its own fields and its members' positions.
#pragma once

#include <string>
#include <vector>

#include "plugin/folder.h"

namespace tallyrun {

// One real file or folder, as a test writes it down.
template <typename C>
struct shown_file {
    std::basic_string<C> name;
    local_step time = no_step;
    uint32_t attributes = 32;
    uint64_t size = 0;
};

// One entry the host is shown: members are 1-based positions in real_entries.
template <typename C>
struct shown_entry {
    std::basic_string<C> name;
    win_filetime time;
    uint32_t attributes;
    int64_t size;
    std::vector<size_t> members;
};

template <typename C>
struct shown_listing {
    std::vector<shown_entry<C>> entries;
    std::vector<shown_file<C>> real_entries;
};

// The listing spelled out: each entry's fields (times as the host sees them),
// real_entries in the listing's own order.
template <typename C>
shown_listing<C> shown(const listing<C>& l) {
    shown_listing<C> out;
    for (const listed_file& f : l.files)
        out.real_entries.push_back({std::basic_string<C>(l.name_of(f)), f.time, f.attributes, f.size()});
    for (size_t i = 0; i < l.entry_count(); ++i) {
        const entry_view<C> e = l.entry(i);
        shown_entry<C> s{std::basic_string<C>(e.name), host_time(e.time), e.attributes, host_size(e.size), {}};
        for (uint32_t k = 0; k < e.count; ++k) s.members.push_back(e.first + k + 1);
        out.entries.push_back(s);
    }
    return out;
}

// A folder as a listing would read it, in the given order.
template <typename C>
folder_read<C> folder_of(const std::vector<shown_file<C>>& files) {
    folder_read<C> read;
    for (const shown_file<C>& f : files) read.add(f.name, f.attributes, f.size, f.time);
    return read;
}

// The step of a local date and time.
inline local_step step_of(const date_time& t) {
    uint64_t ticks = 0;
    return ticks_of(t, &ticks) ? step_of_local(ticks) : no_step;
}

// One line per entry that is not a folder: its name, a colon, then its members' names.
template <typename C>
std::vector<std::basic_string<C>> file_lines(const shown_listing<C>& l) {
    std::vector<std::basic_string<C>> lines;
    for (const shown_entry<C>& e : l.entries) {
        if (e.attributes & 16) continue;
        std::basic_string<C> line = e.name + C(':');
        for (size_t m : e.members) line += C(' ') + l.real_entries.at(m - 1).name;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace tallyrun
