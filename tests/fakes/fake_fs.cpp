// An in-memory disk behind the binding table, so engine and retrieval tests run natively on both sides.
#include "fakes/fake_fs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "support/file_copy.h"
#include "support/native_time.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

fake_fs* active = nullptr;
// Tests may call the plugin from several threads at once: every call of the
// fake disk holds this (a copy's progress routine may call in again), and
// each thread has its own last error, as on Windows.
std::recursive_mutex fake_lock;
thread_local uint32_t fake_error = 0;
std::unique_lock<std::recursive_mutex> held() { return std::unique_lock<std::recursive_mutex>(fake_lock); }

// The 8-bit side's code page, through the native stand-ins of Windows' conversions.
std::string from_ansi(const std::string& s) {
    std::u16string wide(s.size(), u'\0');
    if (!s.empty()) win.MultiByteToWideChar(0, 0, s.data(), static_cast<int32_t>(s.size()), wide.data(), static_cast<int32_t>(wide.size()));
    return utf8(wide);
}
std::string to_ansi_text(const std::string& s) {
    std::u16string wide = utf16(s);
    std::string out(wide.size(), '\0');
    int32_t used = 0;
    if (!wide.empty())
        win.WideCharToMultiByte(0, 0, wide.data(), static_cast<int32_t>(wide.size()), out.data(), static_cast<int32_t>(out.size()), nullptr, &used);
    return out;
}

std::string lowered(const std::string& s) {
    std::u16string w = utf16(s);
    utf16_lower_buff(w.data(), static_cast<uint32_t>(w.size()));
    return utf8(w);
}

std::string strip_slash(std::string p) {
    if (p.rfind("\\\\?\\", 0) == 0) p.erase(0, 4);
    while (p.size() > 2 && p.back() == '\\') p.pop_back();
    if (p.size() == 3 && p[1] == ':' && p[2] == '\\') p.pop_back();
    return p;
}

void split(const std::string& path, std::string& folder, std::string& name) {
    std::string p = strip_slash(path);
    size_t cut = p.rfind('\\');
    if (cut == std::string::npos) {
        folder.clear();
        name = p;
    } else {
        folder = p.substr(0, cut);
        name = p.substr(cut + 1);
    }
}

struct search {
    std::vector<fake_file> rows;
    size_t next = 0;
    int calls = 0;
};

struct open_file {
    std::string path;
    bool writing;
    size_t offset = 0;
};

std::map<intptr_t, std::unique_ptr<search>> searches_open;
std::map<intptr_t, open_file> files_open;
intptr_t next_handle = 0x1000;

template <typename Data>
void row_of(const fake_file& f, Data* d) {
    *d = Data{};
    d->attributes = f.attributes;
    d->last_write_time = f.write_time;
    d->creation_time = f.write_time;
    d->last_access_time = f.write_time;
    d->size_high = static_cast<uint32_t>(f.size >> 32);
    d->size_low = static_cast<uint32_t>(f.size);
    if constexpr (sizeof(d->name[0]) == 1) {
        std::strncpy(d->name, to_ansi_text(f.name).c_str(), sizeof d->name - 1);
    } else {
        std::u16string n = utf16(f.name).substr(0, 259);
        std::copy(n.begin(), n.end(), d->name);
    }
}

bool wildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

template <typename Data>
win_handle find_first(const std::string& pattern, Data* data) {
    active->searches.push_back(pattern);
    std::string folder, name;
    split(pattern, folder, name);
    auto it = active->folders_.find(lowered(folder));
    if (it == active->folders_.end()) {
        fake_error = error_path_not_found;
        return invalid_handle;
    }
    auto s = std::make_unique<search>();
    if (wildcard(name)) {  // only "*" and "*.*" are used: every entry
        if (folder.size() > 2) {
            fake_file dot;
            dot.attributes = 16;
            dot.name = ".";
            s->rows.push_back(dot);
            dot.name = "..";
            s->rows.push_back(dot);
        }
        for (const fake_file& f : it->second.entries) s->rows.push_back(f);
    } else {
        for (const fake_file& f : it->second.entries)
            if (lowered(f.name) == lowered(name)) s->rows.push_back(f);
    }
    if (s->rows.empty()) {
        fake_error = error_file_not_found;
        return invalid_handle;
    }
    row_of(s->rows[0], data);
    s->next = 1;
    intptr_t h = next_handle++;
    searches_open[h] = std::move(s);
    return reinterpret_cast<win_handle>(h);
}

win_handle TR_WINAPI find_first_a(const char* pattern, win_find_data* data) { const auto hold = held(); return find_first(from_ansi(pattern), data); }
win_handle TR_WINAPI find_first_w(const char16_t* pattern, win_find_data_w* data) { const auto hold = held(); return find_first(utf8(pattern), data); }

template <typename Data>
int32_t TR_WINAPI find_next(win_handle handle, Data* data) {
    const auto hold = held();
    auto it = searches_open.find(reinterpret_cast<intptr_t>(handle));
    if (it == searches_open.end()) {
        fake_error = error_invalid_handle;
        return 0;
    }
    search& s = *it->second;
    if (active->find_next_fails_after >= 0 && s.calls++ >= active->find_next_fails_after) {
        fake_error = active->find_next_error;
        return 0;
    }
    if (s.next >= s.rows.size()) {
        fake_error = error_no_more_files;
        return 0;
    }
    row_of(s.rows[s.next++], data);
    return 1;
}

int32_t TR_WINAPI find_close(win_handle handle) {
    const auto hold = held();
    return searches_open.erase(reinterpret_cast<intptr_t>(handle)) ? 1 : 0;
}

uint32_t TR_WINAPI drive_type(const char* root) {
    const auto hold = held();
    std::string r = strip_slash(root ? root : "");
    return active->folders_.count(lowered(r)) && r.size() == 2 ? 3 : 1;
}

// CopyFileEx with progress told in chunks of copy_chunk_bytes (time moving by
// ms_per_chunk each); a copy stopped by the routine leaves no target.
int32_t copy_file(const std::string& source, const std::string& target, int32_t fail_if_exists,
                  copy_progress_routine progress, void* data) {
    ++active->copy_calls;
    auto injected = active->copy_errors.find(lowered(strip_slash(source)));
    if (injected != active->copy_errors.end()) {
        fake_error = injected->second;
        return 0;
    }
    const fake_file* from = active->find_utf8(source);
    if (!from || (from->attributes & 16)) {
        fake_error = error_file_not_found;
        return 0;
    }
    std::string folder, name;
    split(target, folder, name);
    if (!active->folders_.count(lowered(folder))) {
        fake_error = error_path_not_found;
        return 0;
    }
    if (const fake_file* to = active->find_utf8(target)) {
        if (fail_if_exists) {
            fake_error = error_file_exists;
            return 0;
        }
        if (to->attributes & 1) {  // Windows will not replace a read-only file
            fake_error = error_access_denied;
            return 0;
        }
    }
    fake_file copy = *from;
    if (progress) {
        const int64_t total = static_cast<int64_t>(copy.size);
        auto told = [&](int64_t done, uint32_t reason) {
            uint32_t answer = progress(total, done, total, done, 1, reason, nullptr, nullptr, data);
            return answer != progress_cancel && answer != progress_stop;
        };
        bool going = told(0, callback_stream_switch);
        for (int64_t done = 0; going && done < total;) {
            done = std::min<int64_t>(total, done + copy_chunk_bytes);
            active->ticks += active->ms_per_chunk;
            going = told(done, callback_chunk_finished);
        }
        if (!going) {
            fake_error = error_request_aborted;
            ++active->copies_stopped;
            return 0;
        }
    }
    active->add_file_utf8(target, copy.size, copy.write_time, copy.attributes | 32, copy.content);
    active->copied.push_back(strip_slash(source) + ">" + strip_slash(target));
    return 1;
}

int32_t TR_WINAPI copy_file_ex_a(const char* source, const char* target, copy_progress_routine progress, void* data,
                                 int32_t*, uint32_t flags) {
    const auto hold = held();
    return copy_file(from_ansi(source), from_ansi(target), flags & copy_file_fail_if_exists, progress, data);
}
int32_t TR_WINAPI copy_file_ex_w(const char16_t* source, const char16_t* target, copy_progress_routine progress,
                                 void* data, int32_t*, uint32_t flags) {
    const auto hold = held();
    return copy_file(utf8(source), utf8(target), flags & copy_file_fail_if_exists, progress, data);
}

win_handle create_file(const std::string& name, uint32_t access, uint32_t disposition) {
    std::string folder, leaf;
    split(name, folder, leaf);
    bool writing = (access & generic_write) != 0;
    if (writing) {
        if (!active->folders_.count(lowered(folder))) {
            fake_error = error_path_not_found;
            return invalid_handle;
        }
        const fake_file* old = active->find_utf8(name);
        if (old && disposition == create_new) {
            fake_error = error_file_exists;
            return invalid_handle;
        }
        if (old && (old->attributes & 1)) {
            fake_error = error_access_denied;
            return invalid_handle;
        }
        if (disposition == create_always || !old) active->add_file_utf8(name, 0, {}, 32, "");
    } else if (!active->find_utf8(name) || (active->find_utf8(name)->attributes & 16)) {
        fake_error = error_file_not_found;
        return invalid_handle;
    }
    intptr_t h = next_handle++;
    files_open[h] = open_file{name, writing, 0};
    return reinterpret_cast<win_handle>(h);
}

win_handle TR_WINAPI create_file_a(const char* name, uint32_t access, uint32_t, void*, uint32_t disposition,
                                   uint32_t, win_handle) {
    const auto hold = held();
    return create_file(from_ansi(name), access, disposition);
}
win_handle TR_WINAPI create_file_w(const char16_t* name, uint32_t access, uint32_t, void*, uint32_t disposition,
                                   uint32_t, win_handle) {
    const auto hold = held();
    return create_file(utf8(name), access, disposition);
}

int32_t TR_WINAPI read_file(win_handle handle, void* buffer, uint32_t size, uint32_t* done, void*) {
    const auto hold = held();
    auto it = files_open.find(reinterpret_cast<intptr_t>(handle));
    if (done) *done = 0;
    if (it == files_open.end()) return 0;
    const fake_file* f = active->find_utf8(it->second.path);
    std::string content = f ? f->content : std::string();
    size_t n = 0;
    if (it->second.offset < content.size()) {
        n = content.size() - it->second.offset;
        if (n > size) n = size;
        std::memcpy(buffer, content.data() + it->second.offset, n);
    }
    it->second.offset += n;
    if (done) *done = static_cast<uint32_t>(n);
    return 1;
}

int32_t TR_WINAPI write_file(win_handle handle, const void* buffer, uint32_t size, uint32_t* done, void*) {
    const auto hold = held();
    auto it = files_open.find(reinterpret_cast<intptr_t>(handle));
    if (done) *done = 0;
    if (it == files_open.end() || !it->second.writing) return 0;
    const fake_file* f = active->find_utf8(it->second.path);
    std::string content = f ? f->content : std::string();
    content.append(static_cast<const char*>(buffer), size);
    active->add_file_utf8(it->second.path, content.size(), {}, 32, content);
    if (done) *done = size;
    return 1;
}

int32_t TR_WINAPI close_handle(win_handle handle) {
    const auto hold = held();
    return files_open.erase(reinterpret_cast<intptr_t>(handle)) ? 1 : 0;
}

fake_file* file_of(win_handle handle) {
    auto it = files_open.find(reinterpret_cast<intptr_t>(handle));
    return it == files_open.end() ? nullptr : const_cast<fake_file*>(active->find_utf8(it->second.path));
}

int32_t TR_WINAPI file_size(win_handle handle, int64_t* size) {
    const auto hold = held();
    const fake_file* f = file_of(handle);
    if (!f) {
        fake_error = error_invalid_handle;
        return 0;
    }
    *size = static_cast<int64_t>(f->content.size());
    return 1;
}

int32_t TR_WINAPI get_file_time(win_handle handle, win_filetime*, win_filetime*, win_filetime* write) {
    const auto hold = held();
    const fake_file* f = file_of(handle);
    if (!f) return 0;
    if (write) *write = f->write_time;
    return 1;
}

int32_t TR_WINAPI set_file_time(win_handle handle, const win_filetime*, const win_filetime*, const win_filetime* write) {
    const auto hold = held();
    fake_file* f = file_of(handle);
    if (!f) return 0;
    if (write) f->write_time = *write;
    return 1;
}

uint32_t attributes_of(const std::string& path) {
    active->looked_up.push_back(strip_slash(path));
    const fake_file* f = active->find_utf8(path);
    if (!f) {
        fake_error = error_file_not_found;
        return invalid_file_attributes;
    }
    return f->attributes;
}
uint32_t TR_WINAPI get_attributes_a(const char* name) { const auto hold = held(); return attributes_of(from_ansi(name)); }
uint32_t TR_WINAPI get_attributes_w(const char16_t* name) { const auto hold = held(); return attributes_of(utf8(name)); }

int32_t set_attributes(const std::string& path, uint32_t attributes) {
    fake_file* f = const_cast<fake_file*>(active->find_utf8(path));
    if (!f) {
        fake_error = error_file_not_found;
        return 0;
    }
    f->attributes = attributes;
    return 1;
}
int32_t TR_WINAPI set_attributes_a(const char* name, uint32_t a) { const auto hold = held(); return set_attributes(from_ansi(name), a); }
int32_t TR_WINAPI set_attributes_w(const char16_t* name, uint32_t a) { const auto hold = held(); return set_attributes(utf8(name), a); }

int32_t delete_file(const std::string& path) {
    const fake_file* f = active->find_utf8(path);
    if (!f || (f->attributes & 16)) {
        fake_error = error_file_not_found;
        return 0;
    }
    if (f->attributes & 1) {
        fake_error = error_access_denied;
        return 0;
    }
    active->remove_utf8(path);
    return 1;
}
int32_t TR_WINAPI delete_file_a(const char* name) { const auto hold = held(); return delete_file(from_ansi(name)); }
int32_t TR_WINAPI delete_file_w(const char16_t* name) { const auto hold = held(); return delete_file(utf8(name)); }

uint32_t TR_WINAPI tick_count() { const auto hold = held(); return active->ticks; }
uint32_t TR_WINAPI last_error() { return fake_error; }
void TR_WINAPI set_error(uint32_t e) { fake_error = e; }

}  // namespace

std::string utf8(const std::u16string& s) { return utf8_of(s); }
std::u16string utf16(const std::string& s) { return utf16_of(s); }

fake_fs::fake_fs() {
    saved_ = win;
    active = this;
    win.FindFirstFileA = find_first_a;
    win.FindNextFileA = find_next<win_find_data>;
    win.FindFirstFileW = find_first_w;
    win.FindNextFileW = find_next<win_find_data_w>;
    win.FindClose = find_close;
    win.GetDriveTypeA = drive_type;
    win.CopyFileExA = copy_file_ex_a;
    win.CopyFileExW = copy_file_ex_w;
    win.CreateFileA = create_file_a;
    win.CreateFileW = create_file_w;
    win.ReadFile = read_file;
    win.WriteFile = write_file;
    win.CloseHandle = close_handle;
    win.GetFileSizeEx = file_size;
    win.GetFileTime = get_file_time;
    win.SetFileTime = set_file_time;
    win.GetFileAttributesA = get_attributes_a;
    win.GetFileAttributesW = get_attributes_w;
    win.SetFileAttributesA = set_attributes_a;
    win.SetFileAttributesW = set_attributes_w;
    win.DeleteFileA = delete_file_a;
    win.DeleteFileW = delete_file_w;
    win.GetTickCount = tick_count;
    win.GetLastError = last_error;
    win.SetLastError = set_error;
}

fake_fs::~fake_fs() {
    win = saved_;
    active = nullptr;
    searches_open.clear();
    files_open.clear();
}

void fake_fs::add_folder(const std::string& path, uint32_t attributes) { add_folder_utf8(from_ansi(path), attributes); }
void fake_fs::add_folder(const std::u16string& path, uint32_t attributes) { add_folder_utf8(utf8(path), attributes); }

void fake_fs::add_folder_utf8(const std::string& path, uint32_t attributes) {
    std::string p = strip_slash(path);
    if (folders_.count(lowered(p))) return;
    std::string parent, name;
    split(p, parent, name);
    if (!parent.empty()) {
        add_folder_utf8(parent, 16);
        fake_file f;
        f.name = name;
        f.attributes = attributes;
        folders_[lowered(parent)].entries.push_back(f);
    }
    folders_[lowered(p)].path = p;
}

void fake_fs::add_file(const std::string& path, uint64_t size, win_filetime time, uint32_t attributes,
                       const std::string& content) {
    add_file_utf8(from_ansi(path), size, time, attributes, content);
}
void fake_fs::add_file(const std::u16string& path, uint64_t size, win_filetime time, uint32_t attributes,
                       const std::string& content) {
    add_file_utf8(utf8(path), size, time, attributes, content);
}

void fake_fs::add_file_utf8(const std::string& path, uint64_t size, win_filetime time, uint32_t attributes,
                            const std::string& content) {
    std::string folder, name;
    split(path, folder, name);
    add_folder_utf8(folder, 16);
    fake_file f;
    f.name = name;
    f.attributes = attributes;
    f.size = size == ~0ull ? content.size() : size;
    f.write_time = time;
    f.content = content;
    for (fake_file& old : folders_[lowered(folder)].entries)
        if (lowered(old.name) == lowered(name)) {
            f.name = old.name;  // Windows keeps the case of the existing name
            old = f;
            return;
        }
    folders_[lowered(folder)].entries.push_back(f);
}

void fake_fs::remove(const std::string& path) { remove_utf8(from_ansi(path)); }

void fake_fs::remove_utf8(const std::string& path) {
    std::string folder, name;
    split(path, folder, name);
    auto it = folders_.find(lowered(folder));
    if (it == folders_.end()) return;
    auto& v = it->second.entries;
    for (size_t i = 0; i < v.size(); ++i)
        if (lowered(v[i].name) == lowered(name)) {
            v.erase(v.begin() + static_cast<long>(i));
            break;
        }
    folders_.erase(lowered(strip_slash(path)));
}

const fake_file* fake_fs::find_utf8(const std::string& path) const {
    std::string folder, name;
    split(path, folder, name);
    auto it = folders_.find(lowered(folder));
    if (it == folders_.end()) return nullptr;
    for (const fake_file& f : it->second.entries)
        if (lowered(f.name) == lowered(name)) return &f;
    return nullptr;
}

const fake_file* fake_fs::find(const std::string& path) const { return find_utf8(from_ansi(path)); }
bool fake_fs::exists(const std::string& path) const { return find(path) != nullptr; }
bool fake_fs::exists(const std::u16string& path) const { return find_utf8(utf8(path)) != nullptr; }

std::string fake_fs::content(const std::string& path) const {
    const fake_file* f = find(path);
    return f ? f->content : std::string();
}
std::string fake_fs::content(const std::u16string& path) const {
    const fake_file* f = find_utf8(utf8(path));
    return f ? f->content : std::string();
}

std::vector<std::string> fake_fs::names(const std::string& folder) const {
    std::vector<std::string> out;
    auto it = folders_.find(lowered(strip_slash(from_ansi(folder))));
    if (it != folders_.end())
        for (const fake_file& f : it->second.entries) out.push_back(f.name);
    return out;
}

fake_fs* current_fake_fs() { return active; }

win_filetime utc_time(int year, int month, int day, int hour, int minute, int second) {
    return file_time_of(year, month, day, hour, minute, second);
}

}  // namespace tallyrun
