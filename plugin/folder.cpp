// Reading real folders: a folder's entries and times through the bindings, and its listing with the INI's options.
#include "plugin/folder.h"

#include "config/ini_reader.h"
#include "sequence/memo.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/unit.h"

namespace tallyrun {
namespace {

constexpr uint64_t ticks_per_step = 2 * ticks_per_second;

// A DOS time counts whole 2-second steps, and neither the local offset nor a
// change of it falls inside an aligned step, so every file time of one UTC
// step converts alike: conversions are kept by the step.
using step_memo = recent_conversions<uint64_t, local_step>;

local_step local_step_of_utc_step(uint64_t step) {
    const uint64_t start = step * ticks_per_step;
    return local_step_of(win_filetime::of_ticks(start));
}

template <typename C>
size_t name_length(const C* name, size_t capacity) {
    size_t n = 0;
    while (n < capacity && name[n]) ++n;
    return n;
}

template <typename C>
bool add_found(folder_read<C>& out, const typename unit<C>::find_data& d, step_memo& memo) {
    // Only the six DOS bits count: read-only, hidden, system, volume, directory, archive.
    const uint32_t attributes = d.attributes & 0x3F;
    const uint64_t size = static_cast<uint64_t>(d.size_high) << 32 | d.size_low;
    const local_step time = memo.get(d.last_write_time.ticks() / ticks_per_step, local_step_of_utc_step);
    // Where listings follow links, a link left as itself names no file: it can be no member.
    const bool lone = listings_follow_links && d.reserved0 == io_reparse_tag_symlink;
    return out.add(std::basic_string_view<C>(d.name, name_length(d.name, 260)), attributes, size, time, lone);
}

}  // namespace

local_step local_step_of(win_filetime utc) {
    win_filetime local{};
    if (!win.FileTimeToLocalFileTime || !win.FileTimeToLocalFileTime(&utc, &local)) return no_step;
    // A host without a "no time" of its own gets the nearest time a listing holds.
    return host_has_no_time ? step_of_local(local.ticks()) : nearest_step_of_local(local.ticks());
}

win_filetime win_file_time(const date_time& t) {
    uint64_t ticks = 0;
    if (!ticks_of(t, &ticks)) return no_time;
    win_filetime local = win_filetime::of_ticks(ticks), utc{};
    if (!win.LocalFileTimeToFileTime || !win.LocalFileTimeToFileTime(&local, &utc)) return no_time;
    return utc;
}

win_filetime host_time(local_step step) {
    return step == no_step ? no_time : win_file_time(date_time_of_step(step));
}

template <typename C>
bool list_folder(std::basic_string_view<C> search_path, folder_read<C>& out) {
    out = folder_read<C>{};
    // A longer path, or one that a zero would cut short, is refused whole
    // rather than cut into another folder's name.
    if (search_path.size() > unit<C>::longest_search_path || search_path.find(C(0)) != search_path.npos) return false;
    if (!win.FindClose || !win.GetLastError) return false;
    typename unit<C>::find_data d{};
    const std::basic_string<C> path = system_path(search_path);
    find_handle find(unit<C>::find_first(path.c_str(), &d));
    if (!find.ok()) return false;
    step_memo memo;
    bool fits = true;
    do fits = add_found(out, d, memo);
    while (fits && unit<C>::find_next(find.get(), &d));
    // Any end but "no more files" leaves the folder half read: a partial listing
    // shown as the whole folder would hide files from a copy, so refuse it.
    const bool complete = fits && win.GetLastError() == error_no_more_files;
    if (!complete) out = folder_read<C>{};
    return complete;
}

template <typename C>
bool find_entry(std::basic_string_view<C> path, listed_file& out, std::basic_string<C>& name) {
    if (path.empty() || path.size() > unit<C>::longest_path || path.find(C(0)) != path.npos) return false;
    if (!win.FindClose) return false;
    typename unit<C>::find_data d{};
    const std::basic_string<C> system = system_path(path);
    if (surely_absent(system.c_str())) return false;
    find_handle find(unit<C>::find_first(system.c_str(), &d));
    if (!find.ok()) return false;
    folder_read<C> read;
    step_memo memo;
    if (!add_found(read, d, memo)) return false;
    out = read.files[0];
    out.name_at = 0;
    name = std::move(read.names);
    return true;
}

template <typename C>
bool seq_dir(std::basic_string_view<C> search_path, const ini_place& where, listing<C>& out) {
    folder_read<C> read;
    if (!list_folder(search_path, read)) return false;
    const sequence_options options = read_ini(where);
    out = build_listing(std::move(read), options);
    return true;
}

#define TALLYRUN_FOLDER(C)                                                                       \
    template bool list_folder<C>(std::basic_string_view<C>, folder_read<C>&);                    \
    template bool find_entry<C>(std::basic_string_view<C>, listed_file&, std::basic_string<C>&); \
    template bool seq_dir<C>(std::basic_string_view<C>, const ini_place&, listing<C>&);
TALLYRUN_FOLDER(char)
TALLYRUN_FOLDER(char16_t)

}  // namespace tallyrun
