// Enter and thumbnails on the plugin's entries: the real files opened in place, and their paths for previews.
#pragma once

#include <cstdint>

#include "support/bindings.h"

namespace tallyrun {

// FsExecuteFile's answers.
inline constexpr int32_t fs_exec_ok = 0;
inline constexpr int32_t fs_exec_error = 1;
inline constexpr int32_t fs_exec_yourself = -1;

// FsGetPreviewBitmap's answers.
inline constexpr int32_t fs_bitmap_none = 0;
inline constexpr int32_t fs_bitmap_extract_yourself = 2;
inline constexpr int32_t fs_bitmap_cache = 256;

// A verb on the entry remote_name names, as the host sends it:
// - "open": a file is opened by the shell where it is (a run: its first
//   member), never copied first: fs_exec_ok, or fs_exec_error when the shell
//   fails or the entry is unknown; a folder (or a drive) is the host's own to
//   open: fs_exec_yourself.
// - "properties": on the root "\", tallyrun.ini opened for editing (first
//   written from the release's commented sample in the host's INI folder when
//   none is found where the listings look); on an entry, the shell's property
//   sheet of the real file or folder (a run: its first member). fs_exec_ok, or
//   fs_exec_error when that fails.
// - "MODE ..." (the host's own transfer mode): fs_exec_ok, nothing run.
// - Any other verb ("chmod ...", "quote ..."): fs_exec_error, nothing run.
// remote_name is only read.
int32_t FsExecuteFile(win_handle main_window, char* remote_name, const char* verb);
int32_t FsExecuteFileW(win_handle main_window, char16_t* remote_name, const char16_t* verb);

// A thumbnail's source: for a file entry the real file's full path is written
// into remote_name (a buffer of 260 units with the zero; a run: its first
// member) and the host extracts and caches the picture itself
// (fs_bitmap_extract_yourself + fs_bitmap_cache); a folder, an unknown entry
// or a path that does not fit gives fs_bitmap_none and writes nothing.
int32_t FsGetPreviewBitmap(char* remote_name, int32_t width, int32_t height, win_handle* bitmap);
int32_t FsGetPreviewBitmapW(char16_t* remote_name, int32_t width, int32_t height, win_handle* bitmap);

// The real file an entry stands for, for a host that views, edits and opens
// files where they are (Double Commander, with FsLinksToLocalFiles): a run's
// first member, a single file itself, written into remote_name (a buffer of
// max_length units with the zero). False, and remote_name unchanged, for the
// root, a drive, a folder, an unknown entry or a path that does not fit: the
// host then keeps the entry inside the plugin. Safe on any thread.
bool FsGetLocalName(char* remote_name, int32_t max_length);
bool FsGetLocalNameW(char16_t* remote_name, int32_t max_length);

}  // namespace tallyrun
