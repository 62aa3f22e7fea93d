// Folder listings for the host, on both sides: search handles, the kept listings and the find-data records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plugin/folder.h"
#include "sequence/case_map.h"
#include "sequence/memo.h"
#include "support/bindings.h"
#include "support/unit.h"

namespace tallyrun {

// How many recently listed folders keep their latest listing after every
// handle on it is closed, for retrieval to map entries through (per side).
inline constexpr size_t kept_folders = 8;

// The host's find calls, 8-bit and wide; one table of handles serves both and
// FsFindClose closes either. FsFindFirst(W) answers invalid_handle with the
// Windows error set: error_no_more_files for a folder that exists and holds
// nothing, error_path_not_found for one that cannot be listed. A wide path
// longer than 1023 units, or one Windows would read as a pattern or a device
// (wildcards, control characters, < > | "), is not found and leaves the record
// as it was. FsFindNext(W) answers 1 when it wrote an entry, 0 at the end or
// for an unknown handle.
win_handle FsFindFirst(const char* path, win_find_data* data);
win_handle FsFindFirstW(const char16_t* path, win_find_data_w* data);
int32_t FsFindNext(win_handle handle, win_find_data* data);
int32_t FsFindNextW(win_handle handle, win_find_data_w* data);
int32_t FsFindClose(win_handle handle);

// A listing as the plugin keeps it, with what retrieval and the columns look
// up in it. An entry is found by its name with case ignored, through a hash of
// the lowered names made at the first look-up.
//
// Threads: a kept listing is shared by whoever holds it (a search handle, a
// copy, a column query, a local-name look-up) and may be read from any thread.
// `data` never changes once built; the members made at the first ask (the
// index, the case map, the shown times, the "Missing" values) are made and
// read under `lock`.
template <typename C>
struct kept_listing {
    std::basic_string<C> key;  // folder_key of its folder
    listing<C> data;
    std::mutex lock;  // guards every member below
    std::vector<uint32_t> index;  // entry + 1 by hash of the lowered name; 0 for a free slot
    std::unique_ptr<case_map<C>> cases;  // made at the first look-up
    recent_conversions<local_step, win_filetime> shown_times;
    bool missing_known = false;  // the columns' "Missing" of every run, made at the first ask
    std::unordered_map<uint32_t, std::string> missing;  // by entry; runs with nothing missing are absent

    // The case mapping of look-ups in this listing; the caller holds `lock`.
    case_map<C>& case_mapping() {
        if (!cases) cases = std::make_unique<case_map<C>>();
        return *cases;
    }

    // The first entry whose name equals name with case ignored, or -1.
    int64_t find(std::basic_string_view<C> name);
    // What the host is shown of entry i's last-write time: its own, as a
    // FILETIME. Where the host has a "no time" marker (Windows), a run of
    // members of differing times shows none; Double Commander 1.0 has no such
    // marker and fails a copy on it, so on Linux such a run shows its newest
    // member's time, and a time that cannot be converted the earliest one a
    // listing holds.
    win_filetime shown_time(size_t i);
};

template <typename C>
using listing_ref = std::shared_ptr<kept_listing<C>>;

// The listings of one side: kept by number, the most recently listed folders first.
template <typename C>
struct listing_table {
    std::map<int64_t, listing_ref<C>> listings;
    std::deque<std::basic_string<C>> recent_folders;  // each once
};

// A search handle holds its listing itself, so that no release of the tables
// can take it away while the host reads it.
struct search_handle {
    char current_drive[4] = {0, 0, 0, 0};  // drive listing only: "C:"
    listing_ref<char> narrow;               // the listing read; neither for the drive listing
    listing_ref<char16_t> wide;
    bool wide_side = false;
    size_t cursor = 1;  // 1-based position of the next entry to report
};

// Listing numbers rise for the life of the DLL and are never reused, so a
// stale number can never reach another folder's listing. The tables and
// handles are read and changed only under `lock` (plugin/context.h says how
// that keeps every entry point safe on any thread).
struct listing_tables {
    std::mutex lock;
    listing_table<char> narrow;
    listing_table<char16_t> wide;
    int64_t last_number = 0;
    std::map<uintptr_t, search_handle> handles;
    uintptr_t last_handle = 0;
};

struct plugin_context;

// The kept listing of the folder ("C:\photos\", "C:\photos" or "C:") made most
// recently on this side, else a fresh listing of it with the context's INI,
// kept like one the host asked for. Null when the folder cannot be listed or
// holds nothing.
template <typename C>
listing_ref<C> folder_listing(plugin_context& context, std::basic_string_view<C> folder);

// The entry that name (case ignored) is in the kept listing of a real folder
// (listed afresh when there is none), and the paths of its real files.
template <typename C>
struct found_entry {
    listing_ref<C> kept;
    size_t index = 0;
    std::basic_string<C> folder;  // the real folder, ending in a separator

    entry_view<C> view() const { return kept->data.entry(index); }
    // The real path of member k of the entry (the entry itself for a folder).
    std::basic_string<C> real_path_of(uint32_t k) const;
};
// False when the folder cannot be listed or holds no such entry.
template <typename C>
bool find_entry_in(plugin_context& context, std::basic_string_view<C> real_folder, std::basic_string_view<C> name,
                   found_entry<C>& out);
// The entry a host path ("\C:\photos\IMG_0001-0003.JPG", trailing separators
// ignored) stands for; false for the root and a drive, which are folders the
// host opens itself, and as find_entry_in.
template <typename C>
bool find_host_entry(plugin_context& context, std::basic_string_view<C> host_path, found_entry<C>& out);

// The folder path without trailing separators, lowered where names ignore
// case: the key under which listings of one folder are found, however the
// host spells it.
template <typename C>
std::basic_string<C> folder_key(std::basic_string_view<C> folder);

// Writes one entry into the host's record: name (at most 259 units and a
// zero), last-write time (no time as the host's marker 0xFFFFFFFE,
// 0xFFFFFFFF, where the host has one), attributes and both size halves.
// Nothing else is touched.
template <typename C>
void write_find_entry(std::basic_string_view<C> name, win_filetime time, uint32_t attributes, uint64_t size,
                      typename unit<C>::find_data* data);

// For tests and the start-up: how many listings are kept, and forgetting them all.
size_t kept_listing_count(listing_tables& tables);
void reset_listings(listing_tables& tables);

}  // namespace tallyrun
