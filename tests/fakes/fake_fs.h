// An in-memory disk behind the binding table, so engine and retrieval tests run natively on both sides.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/bindings.h"

namespace tallyrun {

// Names are kept in UTF-8, as a file system of UTF-16 names would hold them:
// the 8-bit calls see them in code page 1252 ('?' for what it lacks), the
// wide calls as they are.
struct fake_file {
    std::string name;  // UTF-8
    uint32_t attributes = 32;  // archive
    uint64_t size = 0;
    win_filetime write_time{};
    std::string content;
};

// While one lives, the find, drive, copy (CopyFileEx telling its progress in
// chunks of copy_chunk_bytes of the files' sizes), file and clock calls of both sides and
// GetLastError/SetLastError read and change it; the destructor puts the earlier
// bindings back. Paths are Windows paths ("C:\photos\IMG_0001.JPG"), matched
// ignoring case; wide paths may carry the \\?\ prefix. Folder listings yield
// "." and ".." first, except at a drive root, then the entries in the order
// they were added.
struct fake_fs {
    fake_fs();
    ~fake_fs();
    fake_fs(const fake_fs&) = delete;
    fake_fs& operator=(const fake_fs&) = delete;

    // Paths of the 8-bit side (code page 1252) and of the wide side.
    // Creates the folder and its parents (and the drive).
    void add_folder(const std::string& path, uint32_t attributes = 16);
    void add_folder(const std::u16string& path, uint32_t attributes = 16);
    // Creates or replaces a file; its folder is created as needed. A size of
    // ~0 means "the length of content".
    void add_file(const std::string& path, uint64_t size = ~0ull, win_filetime time = {},
                  uint32_t attributes = 32, const std::string& content = "");
    void add_file(const std::u16string& path, uint64_t size = ~0ull, win_filetime time = {},
                  uint32_t attributes = 32, const std::string& content = "");
    void remove(const std::string& path);

    bool exists(const std::string& path) const;
    bool exists(const std::u16string& path) const;
    const fake_file* find(const std::string& path) const;
    std::string content(const std::string& path) const;
    std::string content(const std::u16string& path) const;
    // The names in a folder, in listing order (without "." and ".."), in UTF-8.
    std::vector<std::string> names(const std::string& folder) const;

    // Failure injection.
    std::map<std::string, uint32_t> copy_errors;  // lowered UTF-8 source path -> error of CopyFileEx
    int find_next_fails_after = -1;                // FindNextFile fails after this many calls
    uint32_t find_next_error = 5;

    // What happened (paths in UTF-8).
    std::vector<std::string> copied;    // "source>target" per successful CopyFileEx
    int copy_calls = 0;
    int copies_stopped = 0;  // CopyFileEx calls that their progress routine stopped
    uint32_t ticks = 0;         // what GetTickCount answers
    uint32_t ms_per_chunk = 0;  // how far it moves while CopyFileEx copies a chunk
    std::vector<std::string> searches;  // every FindFirstFile pattern
    std::vector<std::string> looked_up;  // every GetFileAttributes path

    struct folder {
        std::string path;  // as first written, without trailing backslash ("C:", "C:\photos")
        std::vector<fake_file> entries;
    };
    std::map<std::string, folder> folders_;  // key: lowered UTF-8 path
    win_bindings saved_;

    // Paths in the fake's own form.
    void add_folder_utf8(const std::string& path, uint32_t attributes);
    void add_file_utf8(const std::string& path, uint64_t size, win_filetime time, uint32_t attributes,
                       const std::string& content);
    const fake_file* find_utf8(const std::string& path) const;
    void remove_utf8(const std::string& path);
};

// The single fake_fs that the bindings currently serve (null when none).
fake_fs* current_fake_fs();

// A FILETIME for a calendar date in UTC.
win_filetime utc_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// UTF-8 of UTF-16 and back; a unit of no pair keeps a three-byte form of its own,
// so every name survives the round trip.
std::string utf8(const std::u16string& s);
std::u16string utf16(const std::string& s);

}  // namespace tallyrun
