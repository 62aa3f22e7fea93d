// Folder listings for the host, on both sides: search handles, the kept listings and the find-data records.
#include "plugin/enumeration.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "config/text.h"
#include "plugin/context.h"
#include "sequence/case_map.h"
#include "support/handles.h"
#include "support/hash.h"
#include "support/paths.h"

namespace tallyrun {
namespace {

// The host's "no time" marker; the listing's own marker would read as a date
// tens of thousands of years away.
constexpr uint32_t host_no_time_low = 0xFFFFFFFEu;
constexpr size_t host_path_limit_w = unit<char16_t>::longest_path;

// The caller holds tables.lock.
template <typename C>
listing_ref<C> latest_of(listing_tables& tables, const std::basic_string<C>& key) {
    auto& listings = side_of<C>(tables.narrow, tables.wide).listings;
    for (auto it = listings.rbegin(); it != listings.rend(); ++it)
        if (it->second->key == key) return it->second;
    return nullptr;
}

// Keeps the latest listing of each recent folder and releases the others
// (a handle's own listing lives as long as the handle). The caller holds tables.lock.
template <typename C>
void release_unused(listing_tables& tables) {
    listing_table<C>& t = side_of<C>(tables.narrow, tables.wide);
    std::map<const kept_listing<C>*, bool> wanted;
    for (const auto& key : t.recent_folders) wanted[latest_of(tables, key).get()] = true;
    for (auto it = t.listings.begin(); it != t.listings.end();) {
        if (wanted.count(it->second.get()))
            ++it;
        else
            it = t.listings.erase(it);
    }
}

template <typename C>
listing_ref<C> keep(listing_tables& tables, const std::basic_string<C>& key, listing<C>&& data) {
    auto k = std::make_shared<kept_listing<C>>();
    k->key = key;
    k->data = std::move(data);
    std::lock_guard<std::mutex> hold(tables.lock);
    listing_table<C>& t = side_of<C>(tables.narrow, tables.wide);
    t.listings.emplace(++tables.last_number, k);
    t.recent_folders.erase(std::remove(t.recent_folders.begin(), t.recent_folders.end(), key), t.recent_folders.end());
    t.recent_folders.push_front(key);
    if (t.recent_folders.size() > kept_folders) t.recent_folders.pop_back();
    release_unused<C>(tables);
    return k;
}

void set_last_error(uint32_t error) {
    if (win.SetLastError) win.SetLastError(error);
}

// Why a folder gave no listing: nothing in it (the search found no match) or
// it cannot be read at all.
template <typename C>
uint32_t listing_failure(std::basic_string_view<C> search_path) {
    if (!win.GetLastError || search_path.size() > unit<C>::longest_search_path) return error_path_not_found;
    typename unit<C>::find_data probe;
    const std::basic_string<C> path = system_path(search_path);
    const find_handle found(unit<C>::find_first(path.c_str(), &probe));
    if (found.get() != invalid_handle) return error_path_not_found;  // it has entries, yet could not be listed
    uint32_t error = win.GetLastError();
    return (error == error_file_not_found || error == error_no_more_files) ? error_no_more_files : error_path_not_found;
}

template <typename C>
bool next_drive(char from, search_handle& h, typename unit<C>::find_data* data) {
    for (char letter = from; letter <= 'Z'; ++letter) {
        char root[4] = {letter, ':', 0, 0};
        if (drive_type(root) != 1) {
            std::memcpy(h.current_drive, root, 3);
            for (size_t i = 0; i < 3; ++i) data->name[i] = static_cast<C>(root[i]);
            return true;
        }
    }
    return false;
}

template <typename C>
void write_entry(kept_listing<C>& k, size_t i, typename unit<C>::find_data* data) {
    const entry_view<C> e = k.data.entry(i);
    write_find_entry<C>(e.name, k.shown_time(i), e.attributes, e.size, data);
}

// Lists the folder of search_path ("C:\photos\*.*"), keeps the listing and
// writes its first entry; null when the folder cannot be listed or holds
// nothing (nothing is kept then).
template <typename C>
listing_ref<C> find_first_file(plugin_context& context, std::basic_string_view<C> search_path,
                               typename unit<C>::find_data* data) {
    listing<C> made;
    if (!seq_dir(search_path, ini_place_of(context.settings), made) || made.entry_count() == 0) return nullptr;
    listing_ref<C> k = keep(context.tables, folder_key<C>(file_path(search_path, C(path_separator))), std::move(made));
    write_entry(*k, 0, data);
    return k;
}

win_handle to_handle(uintptr_t id) { return reinterpret_cast<win_handle>(id); }

// A wide path the host may pass: not too long, and nothing that Windows would
// read as a pattern or a device name instead of a folder (a POSIX name may
// hold any unit but zero).
bool valid_wide_path(std::u16string_view p) {
    if (p.size() > host_path_limit_w || p.empty() || p[0] != char16_t(path_separator)) return false;
    if (!drives_at_root) return true;
    for (char16_t c : p)
        if (c < 32 || c == u'*' || c == u'?' || c == u'<' || c == u'>' || c == u'|' || c == u'"') return false;
    return true;
}

template <typename C>
win_handle find_first(plugin_context& context, std::basic_string<C> p, typename unit<C>::find_data* data) {
    while (!p.empty() && p.back() == C(path_separator)) p.pop_back();

    search_handle h;
    h.wide_side = sizeof(C) == 2;
    if (p.empty() && drives_at_root) {
        data->attributes = directory_bit;
        data->last_write_time = {host_no_time_low, 0xFFFFFFFFu};
        if (!next_drive<C>('A', h, data)) {
            set_last_error(error_no_more_files);
            return invalid_handle;
        }
    } else {
        const std::basic_string<C> search_path = search_pattern<C>(real_path<C>(p));
        side_of<C>(h.narrow, h.wide) = find_first_file<C>(context, search_path, data);
        if (!side_of<C>(h.narrow, h.wide)) {
            set_last_error(listing_failure<C>(search_path));
            return invalid_handle;
        }
        h.cursor = 2;
    }
    listing_tables& tables = context.tables;
    std::lock_guard<std::mutex> hold(tables.lock);
    const uintptr_t id = ++tables.last_handle;
    tables.handles[id] = std::move(h);
    return to_handle(id);
}

template <typename C>
int32_t find_next(listing_tables& tables, win_handle handle, typename unit<C>::find_data* data) {
    if (!data) return 0;
    listing_ref<C> listing;
    size_t at = 0;
    {
        std::lock_guard<std::mutex> hold(tables.lock);
        auto it = tables.handles.find(reinterpret_cast<uintptr_t>(handle));
        if (it == tables.handles.end() || it->second.wide_side != (sizeof(C) == 2)) return 0;
        search_handle& h = it->second;
        if (!side_of<C>(h.narrow, h.wide)) {
            const char from = static_cast<char>(h.current_drive[0] + 1);
            return next_drive<C>(from, h, data) ? 1 : 0;
        }
        listing = side_of<C>(h.narrow, h.wide);
        at = h.cursor;
        if (at < 1 || at > listing->data.entry_count()) return 0;
        ++h.cursor;
    }
    write_entry(*listing, at - 1, data);
    return 1;
}

}  // namespace

template <typename C>
void write_find_entry(std::basic_string_view<C> name, win_filetime time, uint32_t attributes, uint64_t size,
                      typename unit<C>::find_data* data) {
    poke_string(data->name, name, 260);
    if (time == no_time) {
        data->last_write_time = {host_no_time_low, 0xFFFFFFFFu};
    } else {
        data->last_write_time = time;
    }
    data->attributes = attributes;
    const int64_t shown = host_size(size);
    data->size_low = lo_dword(shown);
    data->size_high = hi_dword(shown);
}

template <typename C>
int64_t kept_listing<C>::find(std::basic_string_view<C> name) {
    std::lock_guard<std::mutex> hold(lock);
    case_map<C>& mapping = case_mapping();
    auto lowered = [&](std::basic_string_view<C> s) {
        std::basic_string<C> l(s);
        mapping.lower(l.data(), l.size());
        return l;
    };
    auto hash = [](const std::basic_string<C>& s) {
        const uint64_t h = fnv1a(std::basic_string_view<C>(s));
        return static_cast<size_t>(h ^ (h >> 31));
    };
    const size_t count = data.entry_count();
    if (index.empty() && count > 0) {
        mapping.learn(data.names);
        size_t size = 16;
        while (size < 2 * count) size *= 2;
        index.assign(size, 0);
        // Entries go in in order, so the first of equal names comes first on every probe.
        for (size_t i = 0; i < count; ++i) {
            size_t slot = hash(lowered(data.entry(i).name)) & (size - 1);
            while (index[slot]) slot = (slot + 1) & (size - 1);
            index[slot] = static_cast<uint32_t>(i + 1);
        }
    }
    if (index.empty()) return -1;
    const std::basic_string<C> wanted = lowered(name);
    for (size_t slot = hash(wanted) & (index.size() - 1); index[slot]; slot = (slot + 1) & (index.size() - 1))
        if (lowered(data.entry(index[slot] - 1).name) == wanted) return index[slot] - 1;
    return -1;
}

template <typename C>
win_filetime kept_listing<C>::shown_time(size_t i) {
    const entry_view<C> e = data.entry(i);
    local_step step = e.time;
    if (!host_has_no_time && step == no_step) {
        for (uint32_t k = e.first; k < e.first + e.count; ++k)
            if (data.files[k].time != no_step && (step == no_step || data.files[k].time > step)) step = data.files[k].time;
        if (step == no_step) step = 0;
    }
    std::lock_guard<std::mutex> hold(lock);
    const win_filetime shown = shown_times.get(step, host_time);
    // A conversion that fails leaves the host a time it cannot hold.
    if (!host_has_no_time && shown == no_time) return shown_times.get(0, host_time);
    return shown;
}

template <typename C>
std::basic_string<C> folder_key(std::basic_string_view<C> folder) {
    std::basic_string<C> key(folder);
    if (paths_ignore_case) {
        case_map<C> cases;
        cases.lower(key.data(), key.size());
    }
    while (!key.empty() && key.back() == C(path_separator)) key.pop_back();
    return key;
}

template <typename C>
listing_ref<C> folder_listing(plugin_context& context, std::basic_string_view<C> folder) {
    const std::basic_string<C> key = folder_key(folder);
    {
        std::lock_guard<std::mutex> hold(context.tables.lock);
        if (listing_ref<C> kept = latest_of(context.tables, key)) return kept;
    }
    listing<C> made;
    if (!seq_dir<C>(search_pattern(folder), ini_place_of(context.settings), made) || made.entry_count() == 0)
        return nullptr;
    return keep(context.tables, key, std::move(made));
}

template <typename C>
bool find_entry_in(plugin_context& context, std::basic_string_view<C> real_folder, std::basic_string_view<C> name,
                   found_entry<C>& out) {
    if (name.empty()) return false;
    out.kept = folder_listing(context, real_folder);
    if (!out.kept) return false;
    const int64_t found = out.kept->find(name);
    if (found < 0) return false;
    out.index = static_cast<size_t>(found);
    out.folder = real_folder;
    if (!out.folder.empty() && out.folder.back() != C(path_separator)) out.folder += C(path_separator);
    return true;
}

template <typename C>
bool find_host_entry(plugin_context& context, std::basic_string_view<C> host_path, found_entry<C>& out) {
    while (host_path.size() > 1 && host_path.back() == C(path_separator)) host_path.remove_suffix(1);
    const split_path<C> parts(real_path<C>(host_path), C(path_separator));
    return !parts.folder.empty() && find_entry_in<C>(context, parts.folder, parts.name, out);
}

template <typename C>
std::basic_string<C> found_entry<C>::real_path_of(uint32_t k) const {
    const listing<C>& l = kept->data;
    return folder + std::basic_string<C>(l.name_of(l.files[view().first + k]));
}

win_handle FsFindFirst(const char* path, win_find_data* data) {
    if (!path || !data) {
        set_last_error(error_path_not_found);
        return invalid_handle;
    }
    std::string p = peek_string(path);
    // 318 bytes is the record as Windows defines it; the two bytes after are
    // padding that the host's own record may not have.
    std::memset(static_cast<void*>(data), 0, 318);
    return find_first<char>(context(), std::move(p), data);
}

win_handle FsFindFirstW(const char16_t* path, win_find_data_w* data) {
    if (!path || !data) {
        set_last_error(error_path_not_found);
        return invalid_handle;
    }
    // Read no further than a valid path can reach.
    size_t n = 0;
    while (n <= host_path_limit_w && path[n]) ++n;
    std::u16string p(path, n);
    if (!valid_wide_path(p)) {
        set_last_error(error_path_not_found);
        return invalid_handle;
    }
    std::memset(static_cast<void*>(data), 0, sizeof *data);
    return find_first<char16_t>(context(), std::move(p), data);
}

int32_t FsFindNext(win_handle handle, win_find_data* data) { return find_next<char>(context().tables, handle, data); }
int32_t FsFindNextW(win_handle handle, win_find_data_w* data) {
    return find_next<char16_t>(context().tables, handle, data);
}

int32_t FsFindClose(win_handle handle) {
    listing_tables& tables = context().tables;
    std::lock_guard<std::mutex> hold(tables.lock);
    tables.handles.erase(reinterpret_cast<uintptr_t>(handle));
    return 0;
}

size_t kept_listing_count(listing_tables& tables) {
    std::lock_guard<std::mutex> hold(tables.lock);
    return tables.narrow.listings.size() + tables.wide.listings.size();
}

void reset_listings(listing_tables& tables) {
    std::lock_guard<std::mutex> hold(tables.lock);
    tables.narrow = listing_table<char>{};
    tables.wide = listing_table<char16_t>{};
    tables.handles.clear();
}

#define TALLYRUN_ENUMERATION(C)                                                                             \
    template struct kept_listing<C>;                                                                        \
    template struct found_entry<C>;                                                                         \
    template bool find_entry_in<C>(plugin_context&, std::basic_string_view<C>, std::basic_string_view<C>,   \
                                   found_entry<C>&);                                                        \
    template bool find_host_entry<C>(plugin_context&, std::basic_string_view<C>, found_entry<C>&);          \
    template listing_ref<C> folder_listing<C>(plugin_context&, std::basic_string_view<C>);                  \
    template std::basic_string<C> folder_key<C>(std::basic_string_view<C>);                                 \
    template void write_find_entry<C>(std::basic_string_view<C>, win_filetime, uint32_t, uint64_t,            \
                                      typename unit<C>::find_data*);
TALLYRUN_ENUMERATION(char)
TALLYRUN_ENUMERATION(char16_t)

}  // namespace tallyrun
