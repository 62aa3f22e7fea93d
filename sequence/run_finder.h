// Finds a folder's runs of numbered files with the member walk's exact answers, without visiting every skip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sequence/seq_match.h"

namespace tallyrun {

// One entry of the walk: a run of two or more files, or a file of no run.
struct run_span {
    uint32_t first;  // its first member's place in found_runs::members
    uint32_t count;  // how many members
    uint16_t field_start, field_end;  // the run's number field (1-based, inclusive); 0 for one file
};

// Every entry of the walk. The members of an entry are positions in the list of
// names given, in walk order (ascending), side by side in `members`.
struct found_runs {
    std::vector<uint32_t> members;
    std::vector<run_span> entries;  // in the order of their first members
};

// Names as views into one or two buffers, 8 bytes a name: a folder's names
// lower-cased, where most are their own lower case, are views into both the
// folder's names and a buffer of the lowered copies of the others.
template <typename C>
struct name_refs {
    const C* buffers[2] = {nullptr, nullptr};
    std::vector<uint64_t> refs;  // offset << 17 | buffer << 16 | length

    size_t size() const { return refs.size(); }
    void add(size_t buffer, size_t offset, size_t length) {
        refs.push_back(static_cast<uint64_t>(offset) << 17 | static_cast<uint64_t>(buffer) << 16 | length);
    }
    std::basic_string_view<C> operator[](size_t i) const {
        const uint64_t r = refs[i];
        return std::basic_string_view<C>(buffers[r >> 16 & 1] + (r >> 17), r & 0xFFFF);
    }
};

// names: a folder's file names, already lower-cased by the rules of their side,
// in the walk's order (ascending by upper-cased name). Returns exactly the
// entries that the member walk makes of them (each start is
// the first file not yet taken; its second member comes from seq_def, the
// others from seq_next; a stop or the end of the list ends the search), in the
// order of their first members. Work is about linear in the names' total length
// for names in that order; names in an order that does not keep each shared
// leading part together are walked one candidate at a time (still exact, but up
// to quadratic per length). Names are at most 65535 units long. Never fails.
// grouped: the caller knows that the order keeps each shared leading part
// together (the check is skipped); false has it checked.
template <typename C>
found_runs find_runs(const name_refs<C>& names, seq_range range, bool grouped = false);

}  // namespace tallyrun
