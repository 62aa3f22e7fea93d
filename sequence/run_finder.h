// Finds a folder's runs of numbered files with the member walk's exact answers, without visiting every skip.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sequence/seq_match.h"

namespace tallyrun {

// One entry of the walk: a run of two or more files, or a file of no run.
struct found_run {
    std::vector<size_t> members;  // 0-based positions in names, in walk order (ascending)
    size_t field_start = 0, field_end = 0;  // the run's number field (1-based, inclusive); 0 for one file
};

// names: a folder's file names already lower-cased (win_lower), in the walk's
// order (ascending by upper-cased name). Returns exactly the entries that the
// member walk makes of them (each start is the first file not yet taken; its
// second member comes from seq_def, the others from seq_next; a 0 or the end
// of the list ends the search), in the order of their first members.
// Work is about linear in the names' total length for names in that order;
// names in an order that does not keep each shared leading part together are
// walked one candidate at a time (still exact, but up to quadratic per length).
// Overwrites current_field. Never fails.
std::vector<found_run> find_runs(const std::vector<std::string_view>& names, seq_range range);
inline std::vector<found_run> find_runs(const std::vector<std::string>& names, seq_range range) {
    return find_runs(std::vector<std::string_view>(names.begin(), names.end()), range);
}

}  // namespace tallyrun
