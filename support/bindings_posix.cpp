// The Linux build's binding table: the Windows calls the engine makes, done with POSIX calls on real folders.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <locale.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/bindings.h"
#include "support/bindings_posix.h"
#include "support/calendar.h"
#include "support/file_copy.h"
#include "support/handles.h"
#include "support/utf16.h"
#include "support/wide.h"

extern char** environ;

namespace tallyrun {
namespace {

// Windows error numbers this file sets beyond those the engine tests for.
constexpr uint32_t error_not_enough_memory = 8;
constexpr uint32_t error_write_protect = 19;
constexpr uint32_t error_gen_failure = 31;
constexpr uint32_t error_sharing_violation = 32;
constexpr uint32_t error_invalid_name = 123;
constexpr uint32_t error_mod_not_found = 126;
constexpr uint32_t error_filename_exced_range = 206;
constexpr uint32_t error_file_too_large = 223;
constexpr uint32_t error_io_device = 1117;
constexpr uint32_t error_no_association = 1155;

constexpr uint32_t open_always = 4, truncate_existing = 5;
constexpr uint32_t attribute_read_only = 0x1, attribute_hidden = 0x2, attribute_directory = 0x10,
                   attribute_archive = 0x20;
constexpr int32_t vk_control = 0x11;

// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01 (time_t's).
constexpr int64_t epoch_gap_seconds = 11644473600LL;

thread_local uint32_t last_error = 0;

int32_t fail(uint32_t error) {
    last_error = error;
    return 0;
}

// The file a path names is missing: Windows tells a missing file from a missing folder.
uint32_t not_found_error(const std::string& path) {
    const size_t cut = path.rfind('/');
    if (cut == std::string::npos || cut == 0) return error_file_not_found;
    struct stat st;
    const std::string folder = path.substr(0, cut);
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? error_file_not_found : error_path_not_found;
}

// --- Handles: one record for both kinds, so that each call can refuse the other's.

// A descriptor and a folder listing, closed by close and closedir. After EINTR
// a descriptor is gone all the same (Linux); only a real failure (EIO, a full
// disk on a network file system) says the data is lost, with errno saying why.
struct descriptor_kind {
    using value_type = int;
    static int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static bool close(int fd) { return ::close(fd) == 0 || errno == EINTR; }
};
struct directory_stream_kind {
    using value_type = DIR*;
    static DIR* none() { return nullptr; }
    static bool valid(DIR* dir) { return dir != nullptr; }
    static bool close(DIR* dir) { return closedir(dir) == 0 || errno == EINTR; }
};
using descriptor = owned<descriptor_kind>;
using directory_stream = owned<directory_stream_kind>;

enum class handle_kind : uint32_t { file = 0x46494C45, search = 0x46494E44 };

struct posix_handle {
    handle_kind kind;
    descriptor fd;       // an open file
    directory_stream dir;  // a folder being listed; none for a search that found one entry
};

// The table hands out a record's address; the record is deleted in one place,
// by the owner that takes it back when the handle is closed.
using handle_owner = std::unique_ptr<posix_handle>;
win_handle hand_out(posix_handle&& record) { return new posix_handle(std::move(record)); }

posix_handle* handle_of(win_handle h, handle_kind kind) {
    if (h == nullptr || h == invalid_handle) return nullptr;
    posix_handle* p = static_cast<posix_handle*>(h);
    return p->kind == kind ? p : nullptr;
}

// --- Times

win_filetime file_time_of_timespec(const struct timespec& t) {
    const int64_t seconds = static_cast<int64_t>(t.tv_sec) + epoch_gap_seconds;
    if (seconds < 0) return {0, 0};
    return win_filetime::of_ticks(static_cast<uint64_t>(seconds) * ticks_per_second + static_cast<uint64_t>(t.tv_nsec) / 100);
}

bool time_of_ticks(uint64_t ticks, time_t& seconds) {
    const int64_t s = static_cast<int64_t>(ticks / ticks_per_second) - epoch_gap_seconds;
    seconds = static_cast<time_t>(s);
    return static_cast<int64_t>(seconds) == s;
}

// The local zone's offset at that instant, daylight saving included (unlike
// Windows, which applies today's offset to every date).
int32_t TR_WINAPI file_time_to_local(const win_filetime* utc, win_filetime* local) {
    time_t seconds;
    struct tm parts;
    if (!utc || !local || !time_of_ticks(utc->ticks(), seconds) || !localtime_r(&seconds, &parts))
        return fail(error_invalid_parameter);
    const int64_t shifted = static_cast<int64_t>(utc->ticks()) + static_cast<int64_t>(parts.tm_gmtoff) * static_cast<int64_t>(ticks_per_second);
    if (shifted < 0) return fail(error_invalid_parameter);
    *local = win_filetime::of_ticks(static_cast<uint64_t>(shifted));
    return 1;
}

int32_t TR_WINAPI local_to_file_time(const win_filetime* local, win_filetime* utc) {
    time_t seconds;
    struct tm parts;
    if (!local || !utc || !time_of_ticks(local->ticks(), seconds) || !gmtime_r(&seconds, &parts))
        return fail(error_invalid_parameter);
    parts.tm_isdst = -1;  // the zone's rule for that date decides
    errno = 0;
    const time_t back = mktime(&parts);
    if (back == static_cast<time_t>(-1) && errno) return fail(error_invalid_parameter);
    const int64_t shifted = (static_cast<int64_t>(back) + epoch_gap_seconds) * static_cast<int64_t>(ticks_per_second) +
                            static_cast<int64_t>(local->ticks() % ticks_per_second);
    if (shifted < 0) return fail(error_invalid_parameter);
    *utc = win_filetime::of_ticks(static_cast<uint64_t>(shifted));
    return 1;
}

// --- Text: UTF-8 is the "ANSI" code page, and names are bytes

// The length of the valid UTF-8 character at s[i], or 0 when none starts
// there (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
size_t utf8_length_at(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80) return 1;
    size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;   // no overlong form
        if (b == 0xED) high = 0x9F;  // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;   // no overlong form
        if (b == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

int32_t TR_WINAPI multi_byte_to_wide(uint32_t, uint32_t, const char* text, int32_t length, char16_t* wide,
                                     int32_t wide_length) {
    if (!text || length == 0 || wide_length < 0 || (wide_length > 0 && !wide)) return fail(error_invalid_parameter);
    const size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    const std::u16string units = wide_of_name(std::string_view(text, n));
    if (units.size() > INT_MAX) return fail(error_invalid_parameter);
    if (wide_length == 0) return static_cast<int32_t>(units.size());
    if (units.size() > static_cast<size_t>(wide_length)) return fail(error_insufficient_buffer);
    std::memcpy(wide, units.data(), units.size() * sizeof(char16_t));
    return static_cast<int32_t>(units.size());
}

int32_t TR_WINAPI wide_to_multi_byte(uint32_t, uint32_t, const char16_t* wide, int32_t wide_length, char* text,
                                     int32_t length, const char*, int32_t* used_default) {
    if (!wide || wide_length == 0 || length < 0 || (length > 0 && !text)) return fail(error_invalid_parameter);
    const size_t n = wide_length < 0 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wide_length);
    bool lost = false;
    const std::string bytes = name_of_wide(std::u16string_view(wide, n), &lost);
    if (used_default) *used_default = lost;
    if (bytes.size() > INT_MAX) return fail(error_invalid_parameter);
    if (length == 0) return static_cast<int32_t>(bytes.size());
    if (bytes.size() > static_cast<size_t>(length)) return fail(error_insufficient_buffer);
    std::memcpy(text, bytes.data(), bytes.size());
    return static_cast<int32_t>(bytes.size());
}

int32_t TR_WINAPI cp_info(uint32_t, win_cp_info* info) {
    if (!info) return fail(error_invalid_parameter);
    *info = win_cp_info{4, {'?', 0}, {}};  // UTF-8: up to four bytes a character
    return 1;
}

// The 8-bit side maps ASCII letters only: a UTF-8 text keeps its length.
uint32_t TR_WINAPI ascii_lower_buff(char* buffer, uint32_t length) {
    for (uint32_t i = 0; buffer && i < length; ++i)
        if (buffer[i] >= 'A' && buffer[i] <= 'Z') buffer[i] = static_cast<char>(buffer[i] + 32);
    return length;
}
uint32_t TR_WINAPI ascii_upper_buff(char* buffer, uint32_t length) {
    for (uint32_t i = 0; buffer && i < length; ++i)
        if (buffer[i] >= 'a' && buffer[i] <= 'z') buffer[i] = static_cast<char>(buffer[i] - 32);
    return length;
}

// The C library's wide-character case rules of a UTF-8 locale, for every
// character alike whatever the user's locale says; null when it has none.
locale_t utf8_locale() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return utf8;
}

// Maps each character, a surrogate pair as one; a character whose mapping
// would take another number of units (or a lone surrogate) stays as it is.
uint32_t map_case(char16_t* buffer, uint32_t length, bool lower) {
    const locale_t locale = utf8_locale();
    if (!buffer || !locale) return buffer ? length : 0;
    for (uint32_t i = 0; i < length; ++i) {
        const char16_t u = buffer[i];
        if (pair_at(buffer, length, i)) {
            const wint_t c = code_point_of(u, buffer[i + 1]);
            const wint_t m = lower ? towlower_l(c, locale) : towupper_l(c, locale);
            if (m >= 0x10000 && m <= 0x10FFFF) {
                buffer[i] = high_surrogate_of(m);
                buffer[i + 1] = low_surrogate_of(m);
            }
            ++i;
        } else if (!is_surrogate_unit(u)) {
            const wint_t m = lower ? towlower_l(u, locale) : towupper_l(u, locale);
            if (m < 0x10000 && !is_surrogate_unit(m)) buffer[i] = static_cast<char16_t>(m);
        }
    }
    return length;
}
uint32_t TR_WINAPI lower_buff_w(char16_t* buffer, uint32_t length) { return map_case(buffer, length, true); }
uint32_t TR_WINAPI upper_buff_w(char16_t* buffer, uint32_t length) { return map_case(buffer, length, false); }

// A path of the wide side as the bytes the system takes; false (with the error
// set) when a unit has no byte form.
bool path_bytes(const char16_t* path, std::string& bytes) {
    if (!path) return fail(error_invalid_parameter);
    bool lost = false;
    bytes = name_of_wide(path, &lost);
    if (lost || bytes.empty()) return fail(error_invalid_name);
    return true;
}

// --- Folder listings

// What the listing says of one entry: folders, a dot name as hidden, no write
// permission as read-only, every other file with the archive bit (as Windows
// sets it on a file that was ever written). A link that names no file shows
// as itself, with a symbolic link's reparse tag in reserved0.
void fill_find_data(std::string_view name, const struct stat& st, bool link_to_nothing, win_find_data_w* data) {
    const bool folder = S_ISDIR(st.st_mode);
    data->attributes = folder ? attribute_directory : attribute_archive;
    if (name.size() > 1 && name[0] == '.' && name != "..") data->attributes |= attribute_hidden;
    if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) data->attributes |= attribute_read_only;
    data->creation_time = file_time_of_timespec(st.st_ctim);
    data->last_access_time = file_time_of_timespec(st.st_atim);
    data->last_write_time = file_time_of_timespec(st.st_mtim);
    const uint64_t size = folder || st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
    data->size_high = static_cast<uint32_t>(size >> 32);
    data->size_low = static_cast<uint32_t>(size);
    data->reserved0 = data->reserved1 = 0;
    if (link_to_nothing) data->reserved0 = io_reparse_tag_symlink;
    data->short_name[0] = 0;
    // Listings are read a file at a time: an ASCII name, as most are, is widened in place.
    const size_t room = sizeof data->name / sizeof data->name[0] - 1;
    size_t n = 0;
    for (; n < name.size() && n < room && static_cast<unsigned char>(name[n]) < 0x80; ++n) data->name[n] = static_cast<char16_t>(name[n]);
    if (n < name.size() && n < room) {
        const std::u16string wide = wide_of_name(name);
        n = std::min(wide.size(), room);
        std::memcpy(data->name, wide.data(), n * sizeof(char16_t));
    }
    data->name[n] = 0;
}

// The next entry of a folder; false at its end (error_no_more_files) or when
// reading fails. An entry that vanishes while it is read is left out; a
// link is shown as what it leads to, and one that leads nowhere as the link itself.
bool next_entry(posix_handle& search, win_find_data_w* data) {
    for (;;) {
        errno = 0;
        const struct dirent* e = readdir(search.dir.get());
        if (!e) return fail(errno ? windows_error_of(errno) : error_no_more_files);
        struct stat st;
        bool link_to_nothing = false;
        const int folder = dirfd(search.dir.get());
        if (fstatat(folder, e->d_name, &st, 0) != 0) {
            if (fstatat(folder, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            link_to_nothing = S_ISLNK(st.st_mode);
        }
        fill_find_data(e->d_name, st, link_to_nothing, data);
        return true;
    }
}

// "folder/*" lists the folder; any other path finds the one entry it names.
win_handle TR_WINAPI find_first_file(const char16_t* pattern, win_find_data_w* data) {
    std::string path;
    if (!data) {
        fail(error_invalid_parameter);
        return invalid_handle;
    }
    if (!path_bytes(pattern, path)) return invalid_handle;
    const size_t cut = path.rfind('/');
    const std::string_view last = cut == std::string::npos ? std::string_view(path) : std::string_view(path).substr(cut + 1);
    if (last == "*") {
        const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
        descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        directory_stream dir(fd.ok() ? fdopendir(fd.get()) : nullptr);
        if (!dir.ok()) {
            fail(errno == ENOENT ? error_path_not_found : windows_error_of(errno));
            return invalid_handle;
        }
        fd.release();  // the listing closes it now
        posix_handle search{handle_kind::search, descriptor(), std::move(dir)};
        if (!next_entry(search, data)) {
            const uint32_t error = last_error;
            fail(error == error_no_more_files ? error_file_not_found : error);
            return invalid_handle;
        }
        return hand_out(std::move(search));
    }
    struct stat st;
    bool link_to_nothing = false;
    if (stat(path.c_str(), &st) != 0) {
        if (lstat(path.c_str(), &st) != 0) {
            fail(errno == ENOENT ? not_found_error(path) : windows_error_of(errno));
            return invalid_handle;
        }
        link_to_nothing = S_ISLNK(st.st_mode);
    }
    fill_find_data(last, st, link_to_nothing, data);
    return hand_out(posix_handle{handle_kind::search, descriptor(), directory_stream()});
}

int32_t TR_WINAPI find_next_file(win_handle find, win_find_data_w* data) {
    posix_handle* search = handle_of(find, handle_kind::search);
    if (!search || !data) return fail(error_invalid_handle);
    if (!search->dir.ok()) return fail(error_no_more_files);
    return next_entry(*search, data) ? 1 : 0;
}

int32_t TR_WINAPI find_close(win_handle find) {
    posix_handle* search = handle_of(find, handle_kind::search);
    if (!search) return fail(error_invalid_handle);
    handle_owner(search).reset();
    return 1;
}

// --- Files

win_handle TR_WINAPI create_file(const char16_t* name, uint32_t access, uint32_t, void*, uint32_t disposition,
                                 uint32_t, win_handle) {
    std::string path;
    if (!path_bytes(name, path)) return invalid_handle;
    int flags = O_CLOEXEC | O_NOCTTY;
    if ((access & generic_read) && (access & generic_write)) flags |= O_RDWR;
    else if (access & generic_write) flags |= O_WRONLY;
    else flags |= O_RDONLY;
    switch (disposition) {
        case create_new: flags |= O_CREAT | O_EXCL; break;
        case create_always: flags |= O_CREAT | O_TRUNC; break;
        case open_existing: break;
        case open_always: flags |= O_CREAT; break;
        case truncate_existing: flags |= O_TRUNC; break;
        default: fail(error_invalid_parameter); return invalid_handle;
    }
    descriptor fd(open(path.c_str(), flags, 0666));
    if (!fd.ok()) {
        fail(errno == ENOENT ? not_found_error(path) : windows_error_of(errno));
        return invalid_handle;
    }
    return hand_out(posix_handle{handle_kind::file, std::move(fd), directory_stream()});
}

int32_t TR_WINAPI read_file(win_handle file, void* buffer, uint32_t size, uint32_t* done, void*) {
    posix_handle* f = handle_of(file, handle_kind::file);
    if (done) *done = 0;
    if (!f || (!buffer && size)) return fail(error_invalid_handle);
    ssize_t n;
    do n = read(f->fd.get(), buffer, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) return fail(windows_error_of(errno));
    if (done) *done = static_cast<uint32_t>(n);
    return 1;
}

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int32_t TR_WINAPI write_file(win_handle file, const void* buffer, uint32_t size, uint32_t* done, void*) {
    posix_handle* f = handle_of(file, handle_kind::file);
    if (done) *done = 0;
    if (!f || (!buffer && size)) return fail(error_invalid_handle);
    if (!write_all(f->fd.get(), static_cast<const char*>(buffer), size)) return fail(windows_error_of(errno ? errno : EIO));
    if (done) *done = size;
    return 1;
}

int32_t TR_WINAPI close_handle(win_handle handle) {
    posix_handle* f = handle_of(handle, handle_kind::file);
    if (!f) return fail(error_invalid_handle);
    const bool closed = f->fd.close();
    const int error = errno;
    handle_owner(f).reset();
    return closed ? 1 : fail(windows_error_of(error));
}

// The progress routine of one copy, as CopyFileEx calls it: false when it asks to stop.
struct copy_report {
    copy_progress_routine routine;
    void* data;
    int64_t total;

    bool told(int64_t done, uint32_t reason) {
        // The routine gets no handles: the copy's descriptors are no Windows handles.
        return tell_progress(routine, total, done, reason, nullptr, nullptr, data);
    }
};

// Moves every byte from one descriptor to the other, a chunk at a time, with
// copy_file_range (the kernel or the file system copies), else with read and
// write from where it stopped. 0, or the Windows error that ended it.
uint32_t copy_bytes(int from, int to, copy_report& report, const int32_t* cancel) {
    std::vector<char> buffer;
    for (int64_t done = 0;;) {
        if (cancel && *cancel) return error_request_aborted;
        ssize_t n;
        if (buffer.empty()) {
            n = copy_file_range(from, nullptr, to, nullptr, kernel_copy_chunk_bytes, 0);
            // Not offered between these two (other file systems on older kernels): by hand.
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                buffer.resize(copy_chunk_bytes);
                continue;
            }
        } else {
            n = read(from, buffer.data(), buffer.size());
            if (n > 0 && !write_all(to, buffer.data(), static_cast<size_t>(n))) n = -1;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return windows_error_of(errno);
        if (n == 0) return 0;
        done += n;
        if (!report.told(done, callback_chunk_finished)) return error_request_aborted;
    }
}

// The member's owner where allowed, its permissions and its times, as cp -p
// keeps them: an owner that cannot be kept is no failure, but then the
// set-user-id and set-group-id bits are dropped.
void keep_metadata(int fd, const struct stat& source) {
    mode_t mode = source.st_mode & 07777;
    if (fchown(fd, source.st_uid, source.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), source.st_gid) != 0)
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    // A file system without Unix permissions (FAT on a card) refuses; the copy stands.
    (void)fchmod(fd, mode);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    (void)futimens(fd, times);
}

// CopyFileEx: the whole source replaces or creates the target, which gets the
// source's permissions and times (cp -p). The progress routine hears of the
// start and of every chunk; when it asks to stop, or *cancel is set, the copy
// ends with error_request_aborted. A target that is the source itself is
// refused (error_sharing_violation) before anything is cut; a named pipe or a
// device is neither read nor written (error_access_denied). A failed copy
// removes the target it made or began to overwrite; one it never touched stays.
int32_t TR_WINAPI copy_file_ex(const char16_t* source, const char16_t* target, copy_progress_routine progress,
                               void* data, int32_t* cancel, uint32_t flags) {
    std::string from_path, to_path;
    if (!path_bytes(source, from_path) || !path_bytes(target, to_path)) return 0;
    // Non-blocking, so that a named pipe or a device never hangs the host; a
    // regular file ignores the flag.
    descriptor from(open(from_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!from.ok()) return fail(errno == ENOENT ? not_found_error(from_path) : windows_error_of(errno));
    struct stat from_st, to_st;
    if (fstat(from.get(), &from_st) != 0 || !S_ISREG(from_st.st_mode)) return fail(error_access_denied);
    const int to_flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    descriptor to(open(to_path.c_str(), to_flags | O_CREAT | O_EXCL, 0600));
    const bool made = to.ok();
    if (!made && errno == EEXIST && !(flags & copy_file_fail_if_exists)) to = descriptor(open(to_path.c_str(), to_flags));
    if (!to.ok()) return fail(errno == ENOENT ? not_found_error(to_path) : windows_error_of(errno));
    uint32_t error = 0;
    if (fstat(to.get(), &to_st) != 0 || !S_ISREG(to_st.st_mode)) error = error_access_denied;
    else if (to_st.st_dev == from_st.st_dev && to_st.st_ino == from_st.st_ino) error = error_sharing_violation;
    if (error) return fail(error);
    copy_report report{progress, data, static_cast<int64_t>(from_st.st_size)};
    bool cut = false;
    if (!report.told(0, callback_stream_switch)) error = error_request_aborted;
    else if (ftruncate(to.get(), 0) != 0) error = windows_error_of(errno);
    else {
        cut = true;
        error = copy_bytes(from.get(), to.get(), report, cancel);
    }
    if (!error) keep_metadata(to.get(), from_st);
    from.close();
    if (!to.close() && !error) error = windows_error_of(errno);
    if (!error) return 1;
    if (made || cut) unlink(to_path.c_str());
    return fail(error);
}

// Milliseconds of a clock that only goes forward, wrapping as Windows' does.
uint32_t TR_WINAPI tick_count() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1000000);
}

uint32_t TR_WINAPI get_last_error() { return last_error; }
void TR_WINAPI set_last_error(uint32_t error) { last_error = error; }

// --- The module, the keyboard, the shell

// The file of the module holding `module` (an address in it), or of this code when null.
uint32_t TR_WINAPI module_file_name(win_handle module, char16_t* buffer, uint32_t size) {
    Dl_info info{};
    const void* address = module ? module : reinterpret_cast<const void*>(&module_file_name);
    if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fname[0]) return fail(error_mod_not_found);
    std::string path = info.dli_fname;
    if (path[0] != '/') {
        // The main program may be named as it was started.
        char* full = realpath(path.c_str(), nullptr);
        if (full) path = full;
        std::free(full);
    }
    const std::u16string wide = wide_of_name(path);
    if (!buffer || size == 0) return fail(error_insufficient_buffer);
    const size_t n = std::min<size_t>(wide.size(), size - 1);
    std::memcpy(buffer, wide.data(), n * sizeof(char16_t));
    buffer[n] = 0;
    if (n < wide.size()) {
        last_error = error_insufficient_buffer;
        return size;
    }
    return static_cast<uint32_t>(n);
}

// The Ctrl key, asked of the X server when there is one. libX11 is opened
// here, not linked: the plugin must load where there is no X at all.
int16_t TR_WINAPI key_state(int32_t key) {
    if (key != vk_control) return 0;
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!x11) return 0;
    using display = void;
    auto open_display = reinterpret_cast<display* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
    auto query_keymap = reinterpret_cast<int (*)(display*, char*)>(dlsym(x11, "XQueryKeymap"));
    auto keycode_of = reinterpret_cast<unsigned char (*)(display*, unsigned long)>(dlsym(x11, "XKeysymToKeycode"));
    auto close_display = reinterpret_cast<int (*)(display*)>(dlsym(x11, "XCloseDisplay"));
    bool held = false;
    display* d = open_display && query_keymap && keycode_of && close_display ? open_display(nullptr) : nullptr;
    if (d) {
        char keys[32] = {};
        query_keymap(d, keys);
        for (unsigned long keysym : {0xFFE3ul, 0xFFE4ul}) {  // Control_L, Control_R
            const unsigned code = keycode_of(d, keysym);
            if (code && (static_cast<unsigned char>(keys[code / 8]) >> (code % 8) & 1)) held = true;
        }
        close_display(d);
    }
    dlclose(x11);
    return held ? static_cast<int16_t>(-128) : 0;  // as Windows: the high bit for "down"
}

// "open" runs xdg-open on the file, detached: a shell starts it in the
// background and ends at once, so the viewer belongs to no one here and no
// child of the host is left behind. Other verbs have no meaning here.
int32_t TR_WINAPI shell_execute(win_shell_execute_info* info) {
    if (!info || info->size < sizeof *info || !info->file) return fail(error_invalid_parameter);
    if (info->verb && std::u16string_view(info->verb) != u"open") return fail(error_no_association);
    std::string path;
    if (!path_bytes(info->file, path)) return 0;
    const char* script = "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
                         "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                    const_cast<char*>("sh"), path.data(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error) return fail(windows_error_of(error));
    int status = 0;
    pid_t waited;
    do waited = waitpid(pid, &status, 0);
    while (waited < 0 && errno == EINTR);
    // A host that reaps its children itself leaves nothing to wait for: the shell ran.
    if (waited < 0) return 1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return fail(error_file_not_found);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : fail(error_gen_failure);
}

win_handle TR_WINAPI active_window() { return nullptr; }

}  // namespace

uint32_t windows_error_of(int error) {
    switch (error) {
        case 0: return 0;
        case ENOENT: return error_file_not_found;
        case ENOTDIR: return error_path_not_found;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ENXIO:  // a named pipe nobody reads, a device that is not there
        case ENODEV: return error_access_denied;
        case EMFILE:
        case ENFILE: return error_too_many_open_files;
        case EEXIST: return error_file_exists;
        case EBADF: return error_invalid_handle;
        case ENOMEM: return error_not_enough_memory;
        case EROFS: return error_write_protect;
        case EBUSY:
        case ETXTBSY: return error_sharing_violation;
        case ENOSPC:
        case EDQUOT: return error_disk_full;
        case ENAMETOOLONG: return error_filename_exced_range;
        case ELOOP: return error_invalid_name;
        case EFBIG: return error_file_too_large;
        case EINVAL: return error_invalid_parameter;
        case EIO: return error_io_device;
        default: return error_gen_failure;
    }
}

std::u16string wide_of_name(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        // The longest stretch of whole, valid UTF-8 characters goes through the UTF-8 decoder at once.
        size_t end = i;
        for (size_t n; end < bytes.size() && (n = utf8_length_at(bytes, end)) > 0;) end += n;
        out += utf16_of(bytes.substr(i, end - i));
        if (end < bytes.size()) out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[end++]));
        i = end;
    }
    return out;
}

std::string name_of_wide(std::u16string_view wide, bool* lost) {
    std::string out;
    out.reserve(wide.size());
    size_t i = 0;
    while (i < wide.size()) {
        size_t end = i;
        while (end < wide.size()) {
            const char16_t u = wide[end];
            if (pair_at(wide.data(), wide.size(), end))
                end += 2;
            else if (is_surrogate_unit(u))
                break;
            else
                ++end;
        }
        out += utf8_of(wide.substr(i, end - i));
        if (end < wide.size()) {
            const char16_t u = wide[end++];
            if (u >= 0xDC80 && u <= 0xDCFF) {
                out += static_cast<char>(u - 0xDC00);
            } else {
                out += '?';
                if (lost) *lost = true;
            }
        }
        i = end;
    }
    return out;
}

win_bindings win = {};

bool bind_windows() {
    tzset();
    win.GetActiveWindow = active_window;
    win.CharLowerBuffA = ascii_lower_buff;
    win.CharUpperBuffA = ascii_upper_buff;
    win.CharLowerBuffW = lower_buff_w;
    win.CharUpperBuffW = upper_buff_w;
    win.GetKeyState = key_state;
    win.MultiByteToWideChar = multi_byte_to_wide;
    win.WideCharToMultiByte = wide_to_multi_byte;
    win.FindFirstFileW = find_first_file;
    win.FindNextFileW = find_next_file;
    win.FindClose = find_close;
    win.FileTimeToLocalFileTime = file_time_to_local;
    win.LocalFileTimeToFileTime = local_to_file_time;
    win.GetModuleFileNameW = module_file_name;
    win.CopyFileExW = copy_file_ex;
    win.GetTickCount = tick_count;
    win.GetLastError = get_last_error;
    win.SetLastError = set_last_error;
    win.CreateFileW = create_file;
    win.ReadFile = read_file;
    win.WriteFile = write_file;
    win.CloseHandle = close_handle;
    win.GetCPInfo = cp_info;
    win.ShellExecuteExW = shell_execute;
    return true;
}

}  // namespace tallyrun
