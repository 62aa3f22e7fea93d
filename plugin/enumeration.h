// Folder listings for the host: search handles, the kept listings and the find-data record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sequence/seq_dir.h"
#include "support/bindings.h"

namespace tallyrun {

// How many recently listed folders keep their latest listing after every
// handle on it is closed, for retrieval to map entries through.
inline constexpr size_t kept_folders = 8;

// The host's find calls. FsFindFirst answers invalid_handle with the Windows
// error set: error_no_more_files for a folder that exists and holds nothing,
// error_path_not_found for one that cannot be listed. FsFindNext answers 1
// when it wrote an entry, 0 at the end or for an unknown handle.
win_handle FsFindFirst(const char* path, win_find_data* data);
int32_t FsFindNext(win_handle handle, win_find_data* data);
int32_t FsFindClose(win_handle handle);

// Lists the folder of search_path ("C:\photos\*.*"), keeps the listing and
// writes its first entry; the listing number, or -1 when the folder cannot be
// listed or holds nothing (nothing is kept then).
int64_t find_first_file(const std::string& search_path, win_find_data* data,
                        const std::string& ini_folder);
// Writes the next entry of a kept listing: 1, or 0 at its end or when released.
int find_next_file(int64_t number, win_find_data* data);
// Releases a listing now, whoever reads it; unknown numbers are ignored.
void find_close(int64_t number);

// The kept listing of the folder ("C:\photos\", "C:\photos" or "C:") made most
// recently, else a fresh listing of it, kept like one the host asked for.
// Null when the folder cannot be listed or holds nothing.
const listing* folder_listing(const std::string& folder);

// The lowered folder path without trailing backslashes: the key under which
// listings of one folder are found, however the host spells it.
std::string folder_key(const std::string& folder);

// Writes one entry into the host's record: name (at most 259 characters and a
// zero byte), last-write time (no time as the host's marker 0xFFFFFFFE,
// 0xFFFFFFFF), attributes and both size halves. Nothing else is touched.
void write_find_entry(const virtual_entry& e, win_find_data* data);

// For tests and the start-up: how many listings are kept, and forgetting them all.
size_t kept_listing_count();
void reset_listings();

}  // namespace tallyrun
