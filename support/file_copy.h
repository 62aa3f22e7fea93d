// One file copied in chunks, telling a progress routine after each and stopping when it says so: CopyFileEx by hand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/bindings.h"

namespace tallyrun {

// The bytes read and written at a time through a buffer of ours: 64 KiB, as
// CopyFile's own loop takes them. Larger pieces made a large copy under Wine up
// to three times slower whenever the page cache had just let go of gigabytes
// (the kernel's copy into the page cache itself slowed down); at 64 KiB the
// loop keeps pace with CopyFile, and a Cancel is heard at once.
inline constexpr uint32_t copy_chunk_bytes = 64u << 10;

// The bytes asked of the kernel at a time where it copies by itself, with no
// buffer of ours between (copy_file_range).
inline constexpr uint32_t kernel_copy_chunk_bytes = 4u << 20;

// Tells a CopyFileEx progress routine (if any) of `done` bytes of `total`, for
// `reason` (callback_stream_switch first, then callback_chunk_finished);
// false when it asks the copy to stop (progress_cancel or progress_stop). A
// routine that answers progress_quiet is told no more: routine becomes null.
inline bool tell_progress(copy_progress_routine& routine, int64_t total, int64_t done, uint32_t reason,
                          win_handle from, win_handle to, void* data) {
    if (!routine) return true;
    const uint32_t answer = routine(total, done, total, done, 1, reason, from, to, data);
    if (answer == progress_quiet) routine = nullptr;
    return answer != progress_cancel && answer != progress_stop;
}

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

// Fills table.CopyFileExA/W once, when the table is bound: with kernel32's
// own CopyFileEx where it tells the progress routine of each chunk, as every
// Windows does (it pipelines large reads and writes over a share, lets a
// server copy within it, and keeps alternate streams, extended attributes,
// sparse, compressed and encrypted files); else with copy_in_chunks. Wine's
// CopyFileEx copies without ever calling the routine, so there a copy could
// neither be followed nor stopped. Which one runs is told by ntdll's
// wine_get_version, which every Wine exports and no Windows does; a kernel32
// without CopyFileEx gets the loop too.
void choose_copy_file_ex(win_bindings& table, function_lookup lookup);

}  // namespace tallyrun
