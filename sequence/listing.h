// One folder's listing as the host is shown it, kept small: every name once, each entry's members side by side.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "support/calendar.h"

namespace tallyrun {

inline constexpr uint32_t directory_bit = 16;

// One real file or folder of the folder (20 bytes).
struct listed_file {
    uint32_t name_at;      // its name's first unit in listing::names
    uint16_t name_length;
    uint8_t attributes;    // read-only 1, hidden 2, system 4, volume label 8, directory 16, archive 32
    uint8_t lone;          // 1: never a member of a run (a link that names no file)
    local_step time;       // last write, local, at DOS resolution; no_step when no DOS date holds it
    uint32_t size_low, size_high;

    uint64_t size() const { return static_cast<uint64_t>(size_high) << 32 | size_low; }
};

// One real file that an entry stands for, by its name and record.
template <typename C>
struct member {
    std::basic_string_view<C> name;  // a view of the names of the listing it comes from
    listed_file file;
};

// What an entry of two or more members has of its own.
struct run_record {
    uint32_t entry;  // its position among the entries
    uint32_t name_at, name_length;
    uint16_t attributes;
    uint16_t field_start, field_end;  // the members' number field (1-based, inclusive)
    local_step time;  // the members' common time, or no_step
    uint64_t size;    // the members' total (saturating)
};

// One entry as the host is shown it.
template <typename C>
struct entry_view {
    std::basic_string_view<C> name;
    uint32_t attributes;
    uint64_t size;
    local_step time;
    uint32_t first, count;  // its members: files[first .. first + count); none for a folder
    uint16_t field_start, field_end;  // a run's number field in its members' names; 0 otherwise
};

template <typename C>
struct listing {
    std::basic_string<C> names;     // every name of the listing, end to end
    std::vector<listed_file> files;  // the folders in listing order, then the files: each entry's members together, in member order
    std::vector<uint32_t> starts;    // entry i's first file; one more at the end
    std::vector<run_record> runs;    // in entry order

    size_t entry_count() const { return starts.empty() ? 0 : starts.size() - 1; }
    std::basic_string_view<C> name_of(const listed_file& f) const {
        return std::basic_string_view<C>(names).substr(f.name_at, f.name_length);
    }
    entry_view<C> entry(size_t i) const {
        const uint32_t first = starts[i], count = starts[i + 1] - first;
        const listed_file& head = files[first];
        if (count > 1) {
            auto run = std::lower_bound(runs.begin(), runs.end(), static_cast<uint32_t>(i),
                                        [](const run_record& r, uint32_t e) { return r.entry < e; });
            return {std::basic_string_view<C>(names).substr(run->name_at, run->name_length), run->attributes,
                    run->size, run->time, first, count, run->field_start, run->field_end};
        }
        const bool folder = head.attributes & directory_bit;
        return {name_of(head), head.attributes, head.size(), head.time, first, folder ? 0u : 1u, 0, 0};
    }
};

// The size the host is shown: the true size, never above what its signed 64 bits hold.
inline int64_t host_size(uint64_t size) {
    constexpr uint64_t top = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(std::min(size, top));
}

}  // namespace tallyrun
