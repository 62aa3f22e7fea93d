// Folder listings for the host: search handles, the kept listings and the find-data record.
#include "plugin/enumeration.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#include "config/text.h"
#include "plugin/startup.h"
#include "support/paths.h"

namespace tallyrun {
namespace {

struct kept_listing {
    std::string key;
    listing data;
    size_t cursor = 1;  // 1-based position of the next entry to report
    int readers = 0;    // open search handles on it
};

struct search_handle {
    char current_drive[4] = {0, 0, 0, 0};  // drive listing only: "C:"
    int64_t number = -1;                   // listing read, -1 for the drive listing
};

// Listing numbers rise for the life of the DLL and are never reused, so a
// stale number can never reach another folder's listing.
std::map<int64_t, kept_listing> listings;
int64_t last_number = 0;
// Most recently listed folders first, each once.
std::deque<std::string> recent_folders;

std::map<uintptr_t, search_handle> handles;
uintptr_t last_handle = 0;

// The host's "no time" marker; the listing's own marker would read as a date
// tens of thousands of years away.
constexpr uint32_t host_no_time_low = 0xFFFFFFFEu;

}  // namespace

void write_find_entry(const virtual_entry& e, win_find_data* data) {
    poke_string(data->name, e.name, 260);
    if (e.time == no_time) {
        data->last_write_time = {host_no_time_low, 0xFFFFFFFFu};
    } else {
        data->last_write_time = {e.time.low, e.time.high};
    }
    data->attributes = e.attributes;
    data->size_low = lo_dword(e.size);
    data->size_high = hi_dword(e.size);
}

namespace {

void clear_record(win_find_data* data) {
    // 318 bytes is the record as Windows defines it; the two bytes after are padding
    // that the host's own record may not have.
    std::memset(static_cast<void*>(data), 0, 318);
}

int64_t latest_of(const std::string& key) {
    for (auto it = listings.rbegin(); it != listings.rend(); ++it)
        if (it->second.key == key) return it->first;
    return -1;
}

// Keeps what an open handle reads and the latest listing of each recent
// folder; releases everything else.
void release_unused() {
    std::map<int64_t, bool> wanted;
    for (const std::string& key : recent_folders) wanted[latest_of(key)] = true;
    for (auto it = listings.begin(); it != listings.end();) {
        if (it->second.readers > 0 || wanted.count(it->first))
            ++it;
        else
            it = listings.erase(it);
    }
}

int64_t keep(const std::string& key, listing&& data) {
    kept_listing k;
    k.key = key;
    k.data = std::move(data);
    int64_t number = ++last_number;
    listings.emplace(number, std::move(k));
    recent_folders.erase(std::remove(recent_folders.begin(), recent_folders.end(), key),
                         recent_folders.end());
    recent_folders.push_front(key);
    if (recent_folders.size() > kept_folders) recent_folders.pop_back();
    return number;
}

void set_last_error(uint32_t error) {
    if (win.SetLastError) win.SetLastError(error);
}

// Why a folder gave no listing: nothing in it (the search found no match) or
// it cannot be read at all.
uint32_t listing_failure(const std::string& search_path) {
    if (!win.FindFirstFileA || !win.GetLastError) return error_path_not_found;
    win_find_data probe;
    win_handle h = win.FindFirstFileA(search_path.c_str(), &probe);
    if (h != invalid_handle) {
        if (win.FindClose) win.FindClose(h);
        return error_path_not_found;  // it has entries, yet could not be listed
    }
    uint32_t error = win.GetLastError();
    return (error == error_file_not_found || error == error_no_more_files) ? error_no_more_files
                                                                          : error_path_not_found;
}

bool next_drive(char from, search_handle& h, win_find_data* data) {
    for (char letter = from; letter <= 'Z'; ++letter) {
        char root[4] = {letter, ':', 0, 0};
        if (drive_type(root) != 1) {
            std::memcpy(h.current_drive, root, 3);
            std::memcpy(data->name, root, 3);
            return true;
        }
    }
    return false;
}

win_handle to_handle(uintptr_t id) { return reinterpret_cast<win_handle>(id); }

search_handle* find_handle(win_handle handle) {
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles.end() ? nullptr : &it->second;
}

}  // namespace

std::string folder_key(const std::string& folder) {
    std::string key = win_lower(folder);
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

int64_t find_first_file(const std::string& search_path, win_find_data* data,
                        const std::string& ini_folder) {
    listing made;
    if (!seq_dir(search_path, ini_folder, plugin.ini_name, made) || made.entries.empty()) return -1;
    write_find_entry(made.entries[0], data);
    int64_t number = keep(folder_key(file_path(search_path, '\\')), std::move(made));
    listings[number].cursor = 2;
    return number;
}

int find_next_file(int64_t number, win_find_data* data) {
    auto it = listings.find(number);
    if (it == listings.end()) return 0;
    kept_listing& k = it->second;
    if (k.cursor < 1 || k.cursor > k.data.entries.size()) return 0;
    write_find_entry(k.data.entries[k.cursor - 1], data);
    ++k.cursor;
    return 1;
}

void find_close(int64_t number) { listings.erase(number); }

win_handle FsFindFirst(const char* path, win_find_data* data) {
    if (!path || !data) {
        set_last_error(error_path_not_found);
        return invalid_handle;
    }
    std::string p = peek_string(path);
    clear_record(data);
    while (!p.empty() && p.back() == '\\') p.pop_back();

    search_handle h;
    if (p.empty()) {
        data->attributes = 16;
        data->last_write_time = {host_no_time_low, 0xFFFFFFFFu};
        if (!next_drive('A', h, data)) {
            set_last_error(error_no_more_files);
            return invalid_handle;
        }
    } else {
        std::string search_path = p.substr(1) + "\\*.*";
        h.number = find_first_file(search_path, data, plugin.ini_folder);
        if (h.number < 0) {
            uint32_t error = listing_failure(search_path);
            release_unused();
            set_last_error(error);
            return invalid_handle;
        }
        listings[h.number].readers++;
        release_unused();
    }
    uintptr_t id = ++last_handle;
    handles[id] = h;
    return to_handle(id);
}

int32_t FsFindNext(win_handle handle, win_find_data* data) {
    search_handle* h = find_handle(handle);
    if (!h || !data) return 0;
    if (h->number != -1) return find_next_file(h->number, data);
    char from = static_cast<char>(h->current_drive[0] + 1);
    return next_drive(from, *h, data) ? 1 : 0;
}

int32_t FsFindClose(win_handle handle) {
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles.end()) return 0;
    auto kept = listings.find(it->second.number);
    if (kept != listings.end()) kept->second.readers--;
    handles.erase(it);
    release_unused();
    return 0;
}

const listing* folder_listing(const std::string& folder) {
    std::string key = folder_key(folder);
    int64_t number = latest_of(key);
    if (number < 0) {
        listing made;
        std::string search_path = folder;
        while (!search_path.empty() && search_path.back() == '\\') search_path.pop_back();
        search_path += "\\*.*";
        if (!seq_dir(search_path, plugin.ini_folder, plugin.ini_name, made) || made.entries.empty())
            return nullptr;
        number = keep(key, std::move(made));
        release_unused();
    }
    return &listings[number].data;
}

size_t kept_listing_count() { return listings.size(); }

void reset_listings() {
    listings.clear();
    recent_folders.clear();
    handles.clear();
}

}  // namespace tallyrun
