// Copying an entry out of the plugin: its members into the target folder, or a list file of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequence/seq_dir.h"

namespace tallyrun {

// The host's result codes.
enum fs_result : int32_t {
    fs_ok = 0,
    fs_exists = 1,
    fs_not_found = 2,
    fs_read_error = 3,
    fs_write_error = 4,
    fs_aborted = 5,
    fs_not_supported = 6,
};

// Copy flags the host passes.
inline constexpr int32_t copy_overwrite = 1;
inline constexpr int32_t copy_resume = 2;
inline constexpr int32_t copy_move = 4;

// Copies every member of the entry remote_name ("\C:\photos\IMG_0001-0003.JPG")
// into the folder of local_name, each under its own name, after the overwrite
// confirmation; with Ctrl held writes local_name + ".lst" instead. Resume and
// (without Ctrl) move answer fs_not_supported; a name that its folder does not
// hold answers fs_not_found. Reports progress 0 and, on success, 100. The host's
// buffers are only read.
int32_t FsGetFile(const char* remote_name, const char* local_name, int32_t copy_flags);

// The members of entry_name (case ignored) in the listing of source_folder,
// in member order. False when the folder cannot be listed or holds no such entry.
bool get_orig_files(const std::string& source_folder, const std::string& entry_name,
                    std::vector<real_entry>& members);

// One line of the list file, without its line end: name, size, date and time.
std::string list_line(const real_entry& member);

}  // namespace tallyrun
