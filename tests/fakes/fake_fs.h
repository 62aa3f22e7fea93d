// An in-memory disk behind the binding table, so engine and retrieval tests run natively.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/bindings.h"

namespace tallyrun {

struct fake_file {
    std::string name;
    uint32_t attributes = 32;  // archive
    uint64_t size = 0;
    win_filetime write_time{};
    std::string content;
};

// While one lives, FindFirstFileA/FindNextFileA/FindClose, GetDriveTypeA,
// CopyFileA, CreateFileA/ReadFile/WriteFile/CloseHandle and GetLastError/
// SetLastError read and change it; the destructor puts the earlier bindings back.
// Paths are Windows paths ("C:\photos\IMG_0001.JPG"), matched ignoring case.
// Folder listings yield "." and ".." first, except at a drive root, then the
// entries in the order they were added.
struct fake_fs {
    fake_fs();
    ~fake_fs();
    fake_fs(const fake_fs&) = delete;
    fake_fs& operator=(const fake_fs&) = delete;

    // Creates the folder and its parents (and the drive).
    void add_folder(const std::string& path, uint32_t attributes = 16);
    // Creates or replaces a file; its folder is created as needed. A size of
    // ~0 means "the length of content".
    void add_file(const std::string& path, uint64_t size = ~0ull, win_filetime time = {},
                  uint32_t attributes = 32, const std::string& content = "");
    void remove(const std::string& path);

    bool exists(const std::string& path) const;
    const fake_file* find(const std::string& path) const;
    std::string content(const std::string& path) const;
    // The names in a folder, in listing order (without "." and "..").
    std::vector<std::string> names(const std::string& folder) const;

    // Failure injection.
    std::map<std::string, uint32_t> copy_errors;  // lowered source path -> error of CopyFileA
    int find_next_fails_after = -1;                // FindNextFileA fails after this many calls
    uint32_t find_next_error = 5;

    // What happened.
    std::vector<std::string> copied;    // "source>target" per successful CopyFileA
    int copy_calls = 0;
    std::vector<std::string> searches;  // every FindFirstFileA pattern

    struct folder {
        std::string path;  // as first written, without trailing backslash ("C:", "C:\photos")
        std::vector<fake_file> entries;
    };
    std::map<std::string, folder> folders_;  // key: lowered path
    win_bindings saved_;
};

// The single fake_fs that the bindings currently serve (null when none).
fake_fs* current_fake_fs();

// A FILETIME for a calendar date in UTC.
win_filetime utc_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace tallyrun
