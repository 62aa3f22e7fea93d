// Real folders and files behind the binding table on Linux, for the native lister.
#include "ls/posix_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "support/bindings.h"

namespace tallyrun {
namespace {

uint32_t posix_error = 0;

struct posix_search {
    DIR* dir;
    std::string folder;
};

// Seconds between 1601-01-01 and 1970-01-01.
constexpr long long epoch_gap = 11644473600LL;

win_filetime filetime_of(long long seconds, long nanoseconds) {
    unsigned long long ticks =
        static_cast<unsigned long long>(seconds + epoch_gap) * 10000000ull + nanoseconds / 100;
    return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

long long seconds_of(const win_filetime* t) {
    unsigned long long ticks = (static_cast<unsigned long long>(t->high) << 32) | t->low;
    return static_cast<long long>(ticks / 10000000ull) - epoch_gap;
}

std::string unix_path(const char* path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool fill(posix_search& s, win_find_data* data) {
    while (dirent* e = readdir(s.dir)) {
        struct stat st;
        std::string full = s.folder + "/" + e->d_name;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
        std::memset(data, 0, sizeof *data);
        data->attributes = S_ISDIR(st.st_mode) ? 16 : 32;
        if (e->d_name[0] == '.' && std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            data->attributes |= 2;  // dot files are what Linux calls hidden
        if (!(st.st_mode & S_IWUSR)) data->attributes |= 1;
        unsigned long long size = S_ISDIR(st.st_mode) ? 0 : static_cast<unsigned long long>(st.st_size);
        data->size_high = static_cast<uint32_t>(size >> 32);
        data->size_low = static_cast<uint32_t>(size);
        data->last_write_time = filetime_of(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        std::strncpy(data->name, e->d_name, sizeof data->name - 1);
        return true;
    }
    return false;
}

win_handle TR_WINAPI find_first(const char* pattern, win_find_data* data) {
    std::string folder = unix_path(pattern);
    size_t cut = folder.rfind('/');
    folder = cut == std::string::npos ? "." : folder.substr(0, cut);
    if (folder.empty()) folder = "/";
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        posix_error = error_path_not_found;
        return invalid_handle;
    }
    auto* s = new posix_search{dir, folder};
    if (!fill(*s, data)) {
        closedir(dir);
        delete s;
        posix_error = error_file_not_found;
        return invalid_handle;
    }
    return s;
}

int32_t TR_WINAPI find_next(win_handle h, win_find_data* data) {
    if (fill(*static_cast<posix_search*>(h), data)) return 1;
    posix_error = error_no_more_files;
    return 0;
}

int32_t TR_WINAPI find_close(win_handle h) {
    auto* s = static_cast<posix_search*>(h);
    closedir(s->dir);
    delete s;
    return 1;
}

// Windows gives local time with the offset in force at that moment; so does localtime_r.
int32_t TR_WINAPI to_local(const win_filetime* utc, win_filetime* local) {
    time_t t = static_cast<time_t>(seconds_of(utc));
    struct tm tm;
    localtime_r(&t, &tm);
    unsigned long long ticks = ((static_cast<unsigned long long>(utc->high) << 32) | utc->low) +
                               static_cast<long long>(tm.tm_gmtoff) * 10000000LL;
    *local = {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    return 1;
}

int32_t TR_WINAPI to_utc(const win_filetime* local, win_filetime* utc) {
    time_t t = static_cast<time_t>(seconds_of(local));
    struct tm tm;
    localtime_r(&t, &tm);
    unsigned long long ticks = ((static_cast<unsigned long long>(local->high) << 32) | local->low) -
                               static_cast<long long>(tm.tm_gmtoff) * 10000000LL;
    *utc = {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    return 1;
}

win_handle TR_WINAPI create_file(const char16_t* wide, uint32_t access, uint32_t, void*, uint32_t,
                                 uint32_t, win_handle) {
    if (access & generic_write) {
        posix_error = error_access_denied;  // the lister never writes
        return invalid_handle;
    }
    std::string name;
    for (char16_t u : std::u16string(wide)) name += static_cast<char>(u);  // the lister's paths are ASCII
    FILE* f = std::fopen(unix_path(name.c_str()).c_str(), "rb");
    if (!f) {
        posix_error = errno == ENOENT ? error_file_not_found : error_access_denied;
        return invalid_handle;
    }
    return f;
}

int32_t TR_WINAPI read_file(win_handle h, void* buffer, uint32_t size, uint32_t* done, void*) {
    size_t n = std::fread(buffer, 1, size, static_cast<FILE*>(h));
    if (done) *done = static_cast<uint32_t>(n);
    return !std::ferror(static_cast<FILE*>(h));
}

int32_t TR_WINAPI close_handle(win_handle h) { return std::fclose(static_cast<FILE*>(h)) == 0; }
uint32_t TR_WINAPI last_error() { return posix_error; }
void TR_WINAPI set_last_error(uint32_t e) { posix_error = e; }

}  // namespace

void bind_posix() {
    win.FindFirstFileA = find_first;
    win.FindNextFileA = find_next;
    win.FindClose = find_close;
    win.FileTimeToLocalFileTime = to_local;
    win.LocalFileTimeToFileTime = to_utc;
    win.CreateFileW = create_file;
    win.ReadFile = read_file;
    win.CloseHandle = close_handle;
    win.GetLastError = last_error;
    win.SetLastError = set_last_error;
}

}  // namespace tallyrun
