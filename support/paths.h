// Path splitting, strings in host memory, the module's own identity, drives, keys and number halves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/bindings.h"

namespace tallyrun {

// What differs between the file systems the plugin mirrors. On Windows the
// host's root lists the drives, a path of it stands for a drive's path
// ("\C:\photos" is "C:\photos"), names ignore case, and the host's records
// take paths of MAX_PATH (260) units; the host shows a "no time" marker as no
// date. Under TALLYRUN_POSIX (the Linux build) the host's root is the real
// root folder and a host path is the real path itself; names keep their case,
// the host's MAX_PATH is 4096, and the host has no "no time" (Double
// Commander 1.0 reads the marker as a date and cannot copy the file).
#ifdef TALLYRUN_POSIX
inline constexpr char path_separator = '/';
inline constexpr bool drives_at_root = false;
inline constexpr bool paths_ignore_case = false;
inline constexpr size_t host_max_path = 4096;
inline constexpr bool host_has_no_time = false;
// A listing shows a link to a file as that file, and a link that names no
// file as itself with a symbolic link's reparse tag (dwReserved0).
inline constexpr bool listings_follow_links = true;
// The plugin's prompts and message boxes are the host's forms (its dialog API).
inline constexpr bool host_has_dialog_api = true;
#else
inline constexpr char path_separator = '\\';
inline constexpr bool drives_at_root = true;
inline constexpr bool paths_ignore_case = true;
inline constexpr size_t host_max_path = 260;
inline constexpr bool host_has_no_time = true;
inline constexpr bool listings_follow_links = false;
inline constexpr bool host_has_dialog_api = false;
#endif
// The shortest host path that can name a file: "\C:" on Windows, "/a" here.
inline constexpr size_t shortest_host_file_path = drives_at_root ? 3 : 2;

// The real path a host path stands for: "\C:\photos" is "C:\photos"; "/photos" is itself.
template <typename C>
std::basic_string_view<C> real_path(std::basic_string_view<C> host_path);
// The drive a host path of the root's listing names, "C:" of "\C:" or "\C:\";
// empty when it names none (always so where the root lists no drives).
template <typename C>
std::basic_string<C> drive_of(std::basic_string_view<C> host_path);
// The pattern that lists every entry of a real folder, a trailing separator
// or not: "C:\photos\*.*", and "/photos/*" ("/*" for the root, "" or "/").
template <typename C>
std::basic_string<C> search_pattern(std::basic_string_view<C> folder);

// Position (1-based) of the last separator in path; else of the first ':'; else 0.
template <typename C>
size_t last_separator(std::basic_string_view<C> path, C separator);
// The folder part, normally ending in the separator ("C:\dir\" of "C:\dir\f.txt").
// A last component starting with '.' is taken as a folder: the separator is appended.
template <typename C>
std::basic_string<C> file_path(std::basic_string_view<C> path, C separator);

// A full path cut at its last separator into the folder (with the separator)
// and the name; a name starting with a dot stays a name. Without a separator
// the folder is empty.
template <typename C>
struct split_path {
    std::basic_string<C> folder, name;
    split_path(std::basic_string_view<C> path, C separator);
};

// The units at address before the first zero unit (no upper limit: the host promises one).
template <typename C>
std::basic_string<C> peek_string(const C* address);
// Writes at most size - 1 units of text and a zero unit at address; size must be >= 1.
template <typename C>
void poke_string(C* address, std::basic_string_view<C> text, size_t size);

// The path as Windows takes it: a wide path of MAX_PATH units or more gets the
// \\?\ prefix (\\?\UNC\ for \\server\share), which lifts the limit. Under
// TALLYRUN_POSIX the path itself.
template <typename C>
std::basic_string<C> system_path(std::basic_string_view<C> path);

// The module handle the DLL entry point received (null before it ran).
win_handle dll_instance();
void set_dll_instance(win_handle instance);
// Full path of the DLL file (GetModuleFileNameW, so that any folder name
// survives); empty when it fails or is missing.
std::u16string module_filename();
// GetDriveTypeA of the root, a backslash appended when missing; 1 (no root) when unbound.
uint32_t drive_type(std::string_view root);
// The owner of a dialog or message box shown now: the calling thread's active
// window, else (a thread with none, such as a background copy's) the
// foreground window when it is this process's; null when neither.
win_handle owner_window();

// 1 while a Ctrl key is held (GetKeyState of VK_CONTROL, bit 15), else 0.
int ctrl_down();

inline uint32_t lo_word(uint32_t x) { return x & 0xFFFFu; }
inline uint32_t hi_word(uint32_t x) { return (x & 0xFFFF0000u) >> 16; }
// The two 32-bit halves of a size; -1 gives 0xFFFFFFFF for both.
inline uint32_t lo_dword(int64_t x) { return static_cast<uint32_t>(static_cast<uint64_t>(x)); }
inline uint32_t hi_dword(int64_t x) {
    return static_cast<uint32_t>(static_cast<uint64_t>(x) >> 32);
}

}  // namespace tallyrun
