// A listing's file entries as text lines ("name: member member ..."), for comparing listings in tests.
#pragma once

#include <string>
#include <vector>

#include "sequence/seq_dir.h"

namespace tallyrun {

// One line per entry that is not a folder: its name, a colon, then its members' names.
inline std::vector<std::string> file_lines(const listing& l) {
    std::vector<std::string> lines;
    for (const virtual_entry& e : l.entries) {
        if (e.attributes & 16) continue;
        std::string line = e.name + ":";
        for (size_t m : e.members) line += " " + l.real_entries.at(m - 1).name;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace tallyrun
