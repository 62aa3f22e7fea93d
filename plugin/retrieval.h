// Copying an entry out of the plugin, on both sides: its members into the target folder, or a list file of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/confirm.h"
#include "plugin/enumeration.h"
#include "sequence/listing.h"

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

// FsGetBackgroundFlags' answer: the host may call FsGetFile on a worker thread.
inline constexpr int32_t bg_download = 1;
// The host's dialog API version from which a plugin's form is made on the
// host's main thread whatever thread asks (Double Commander 1.2.0 on).
inline constexpr uintptr_t dialogs_on_any_thread_version = 5;

// bg_download where the host can show the plugin's prompt from the thread
// that copies, else 0 (the host then copies in the foreground). Always on
// Windows: each prompt and message box runs its own message loop on the
// calling thread. In Double Commander only from 1.2.0 on (its dialog API
// version 5): 1.0 and 1.1 build a plugin's form on the calling thread and
// crash when that is a background copy's.
int32_t FsGetBackgroundFlags();

// Copy flags the host passes.
inline constexpr int32_t copy_overwrite = 1;
inline constexpr int32_t copy_resume = 2;
inline constexpr int32_t copy_move = 4;

// Copies every member of the entry remote_name ("\C:\photos\IMG_0001-0003.JPG")
// into the folder of local_name, each under its own name, after the overwrite
// confirmation; with Ctrl held writes local_name + ".lst" instead. Resume and
// (without Ctrl) move answer fs_not_supported; a name that its folder does not
// hold answers fs_not_found. Reports progress through the call-back of the
// call's side (else the other one): 0 first, then the percent of the members'
// total copied as it rises (at least one point or 200 ms apart), 100 only on
// success; an abort answered there stops the copy within a chunk, removes the
// partial member and answers fs_aborted. The host's buffers are only read.
// The wide form takes paths of up to 1023 units, long paths with the \\?\ prefix.
int32_t FsGetFile(const char* remote_name, const char* local_name, int32_t copy_flags);
int32_t FsGetFileW(const char16_t* remote_name, const char16_t* local_name, int32_t copy_flags);

// How a copy treats the members whose target exists, until an answer at the
// prompt changes it: ask about each, overwrite each, overwrite only a target
// older than its source (equal times keep the target), or skip each.
enum class overwrite_mode { overwrite_all = 0, ask = 1, older = 2, skip_all = 3 };

// The members that may be copied into target_folder (ending in a separator),
// in input order, into keep. A target that cannot be listed counts as absent.
// The answers "all", "older" and "skip all" change the mode for the rest of
// this call; a mode that is none of the four asks. False, with keep empty,
// when the user cancelled or a prompt could not be shown or gave an answer
// that is no button's: then nothing may be copied.
template <typename C>
bool confirm_files(const confirm_prompt& prompt, const std::vector<member<C>>& members,
                   std::basic_string_view<C> target_folder, overwrite_mode mode, std::vector<member<C>>& keep);

// The members of entry_name (case ignored) in the listing of source_folder,
// in member order, and in kept the listing their names are views of: the
// views live as long as the caller holds it, whatever another thread lists
// meanwhile. False when the folder cannot be listed or holds no such entry.
template <typename C>
bool get_orig_files(plugin_context& context, std::basic_string_view<C> source_folder,
                    std::basic_string_view<C> entry_name, std::vector<member<C>>& members, listing_ref<C>& kept);

// One line of the list file, without its line end: name, size, date and time.
template <typename C>
std::basic_string<C> list_line(const member<C>& m);

// The bytes of a list file: the ANSI text when every unit of it has its own
// character in the code page, else UTF-8 after a byte-order mark.
std::string list_file_bytes(const std::string& text);
std::string list_file_bytes(const std::u16string& text);

}  // namespace tallyrun
