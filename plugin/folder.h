// Reading real folders: a folder's entries and times through the bindings, and its listing with the INI's options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/options.h"
#include "sequence/listing.h"
#include "sequence/seq_dir.h"
#include "support/bindings.h"

namespace tallyrun {

// The folder listing: every entry matching search_path (hidden and system ones
// included, "." and ".." as the folder gives them), or false when the path
// matches nothing, cannot be read, holds a zero unit or is longer than the
// side takes (255 bytes on the 8-bit side; 1027 units on the wide one, where
// a long path reaches Windows with the \\?\ prefix).
template <typename C>
bool list_folder(std::basic_string_view<C> search_path, folder_read<C>& out);

// The first entry that path (a file's full path) names, as the folder listing
// gives it; false when there is none. Unlike list_folder it takes every path
// Windows can copy to (259 bytes on the 8-bit side), so that no existing
// target goes unnoticed.
template <typename C>
bool find_entry(std::basic_string_view<C> path, listed_file& out, std::basic_string<C>& name);

// The listing of the folder that search_path ("C:\photos\*.*") names, with the
// configuration read where `where` says; false when the folder cannot be
// listed (nothing is read or shown then).
template <typename C>
bool seq_dir(std::basic_string_view<C> search_path, const ini_place& where, listing<C>& out);

// The local DOS-resolution step of a file's last-write time (UTC), through
// FileTimeToLocalFileTime; no_step when Windows cannot convert it, or (where
// the host has a "no time", host_has_no_time) when no DOS date holds it;
// elsewhere such a time is taken as the nearest step a DOS date holds.
local_step local_step_of(win_filetime utc);
// A local date and time to a UTC FILETIME through LocalFileTimeToFileTime;
// no_time on failure or for dates no FILETIME holds.
win_filetime win_file_time(const date_time& t);
// The time the host is shown for a listing's time.
win_filetime host_time(local_step step);

}  // namespace tallyrun
