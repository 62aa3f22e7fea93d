// The folder walk exactly as first written (slow and literal), the oracle for the real builder, on either side.
#pragma once

#include <vector>

#include "config/options.h"
#include "sequence/shown_listing.h"

namespace tallyrun {

// The listing of a folder's entries, walked the literal way: every candidate
// after the start in sorted order, names lower-cased at every comparison by
// the side's Windows function, different lengths compared and skipped. Sizes
// are 64-bit totals and an entry without a DOS time gives no_time, as in the
// real builder. real_entries come in the listing's order: the folders, then
// each entry's members.
template <typename C>
shown_listing<C> model_listing(const std::vector<shown_file<C>>& entries, const sequence_options& options);

}  // namespace tallyrun
