// The folder walk exactly as first written (slow and literal), the oracle for the real builder.
#pragma once

#include <vector>

#include "config/options.h"
#include "sequence/seq_dir.h"

namespace tallyrun {

// The listing of a folder's entries, walked the literal way: every candidate
// after the start in sorted order, names lower-cased at every comparison,
// different lengths compared and skipped. Sizes are 64-bit totals and an entry
// without a DOS time gives no_time, as in the real builder.
listing model_listing(std::vector<real_entry> entries, const sequence_options& options);

}  // namespace tallyrun
