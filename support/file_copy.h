// One file copied in chunks, telling a progress routine after each and stopping when it says so: CopyFileEx by hand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/bindings.h"

namespace tallyrun {

// The bytes read and written at a time: small enough to stop within a fraction
// of a second on any disk, large enough to cost nothing against the copy.
inline constexpr uint32_t copy_chunk_bytes = 4u << 20;

// CopyFileEx's contract, through the binding table's file functions: the
// source's bytes replace or create the target, which then has the source's
// last-write time and attributes, as CopyFile leaves it. progress (may be
// null) hears of the start and of every chunk, with the total and the bytes
// so far; when it answers progress_cancel or progress_stop, or *cancel is set,
// the copy ends within that chunk, the partial target is removed and the
// answer is 0 with error_request_aborted. Any failure answers 0 with its
// Windows error, the partial target removed; the source is only read.
// flags: copy_file_fail_if_exists, or 0.
template <typename C>
int32_t TR_WINAPI copy_in_chunks(const C* source, const C* target, copy_progress_routine progress, void* data,
                                 int32_t* cancel, uint32_t flags);

}  // namespace tallyrun
