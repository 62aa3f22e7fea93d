// The virtual directory builder: a folder's entries and the options in, the listing the host shows out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/options.h"
#include "sequence/listing.h"
#include "sequence/seq_match.h"

namespace tallyrun {

// What a folder listing read: every entry's name (end to end) and record, in listing order.
template <typename C>
struct folder_read {
    std::basic_string<C> names;
    std::vector<listed_file> files;
    // Appends one entry; false when the names outgrow what a listing can hold.
    // lone: the entry is a file of its own, never a member of a run.
    bool add(std::basic_string_view<C> name, uint32_t attributes, uint64_t size, local_step time, bool lone = false);
};

// A folder's listing from what was read of it and the options: no Windows call
// but case mapping (and, on the wide side, the pattern's conversion).
template <typename C>
listing<C> build_listing(folder_read<C> read, const sequence_options& options);

// The four slots of the template filled in order; "%%" gives one "%".
template <typename C>
std::basic_string<C> fill_template(std::basic_string_view<C> name_template,
                                   const std::basic_string_view<C> (&slots)[4]);
// Both names agree, with case, before and after the number field.
template <typename C>
bool same_outer_text(std::basic_string_view<C> a, std::basic_string_view<C> b, number_field field);

}  // namespace tallyrun
