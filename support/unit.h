// What differs between the plugin's two sides, the 8-bit (ANSI) one and the wide (UTF-16) one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/bindings.h"

namespace tallyrun {

template <typename C>
struct unit;

template <>
struct unit<char> {
    using find_data = win_find_data;
    using case_function = uint32_t(TR_WINAPI*)(char*, uint32_t);
    // The host passes names of at most 259 bytes and Windows takes no longer
    // path; a folder listing takes search paths of at most 255.
    static constexpr size_t longest_path = 259;
    static constexpr size_t longest_search_path = 255;

    static case_function lower_function() { return win.CharLowerBuffA; }
    static case_function upper_function() { return win.CharUpperBuffA; }
    static win_handle find_first(const char* pattern, find_data* data) {
        return win.FindFirstFileA ? win.FindFirstFileA(pattern, data) : invalid_handle;
    }
    static bool find_next(win_handle find, find_data* data) {
        return win.FindNextFileA && win.FindNextFileA(find, data);
    }
    static bool copy_file(const char* source, const char* target, copy_progress_routine progress, void* data) {
        return win.CopyFileExA && win.CopyFileExA(source, target, progress, data, nullptr, 0);
    }
    static win_handle create_file(const char* name, uint32_t access, uint32_t disposition, uint32_t share = 0,
                                  uint32_t flags = file_attribute_normal) {
        if (!win.CreateFileA) return invalid_handle;
        return win.CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
    }
    static uint32_t attributes_of(const char* name) {
        return win.GetFileAttributesA ? win.GetFileAttributesA(name) : invalid_file_attributes;
    }
    static bool set_attributes(const char* name, uint32_t attributes) {
        return win.SetFileAttributesA && win.SetFileAttributesA(name, attributes);
    }
    static bool delete_file(const char* name) { return win.DeleteFileA && win.DeleteFileA(name); }
};

template <>
struct unit<char16_t> {
    using find_data = win_find_data_w;
    using case_function = uint32_t(TR_WINAPI*)(char16_t*, uint32_t);
    // The host passes paths of up to 1023 units to the wide functions (on
    // Linux up to its MAX_PATH of 4096 with the zero); on Windows longer ones
    // reach the system with the \\?\ prefix (support/paths.h).
#ifdef TALLYRUN_POSIX
    static constexpr size_t longest_path = 4095;
#else
    static constexpr size_t longest_path = 1023;
#endif
    static constexpr size_t longest_search_path = longest_path + 4;

    static case_function lower_function() { return win.CharLowerBuffW; }
    static case_function upper_function() { return win.CharUpperBuffW; }
    static win_handle find_first(const char16_t* pattern, find_data* data) {
        return win.FindFirstFileW ? win.FindFirstFileW(pattern, data) : invalid_handle;
    }
    static bool find_next(win_handle find, find_data* data) {
        return win.FindNextFileW && win.FindNextFileW(find, data);
    }
    static bool copy_file(const char16_t* source, const char16_t* target, copy_progress_routine progress,
                          void* data) {
        return win.CopyFileExW && win.CopyFileExW(source, target, progress, data, nullptr, 0);
    }
    static win_handle create_file(const char16_t* name, uint32_t access, uint32_t disposition, uint32_t share = 0,
                                  uint32_t flags = file_attribute_normal) {
        if (!win.CreateFileW) return invalid_handle;
        return win.CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
    }
    static uint32_t attributes_of(const char16_t* name) {
        return win.GetFileAttributesW ? win.GetFileAttributesW(name) : invalid_file_attributes;
    }
    static bool set_attributes(const char16_t* name, uint32_t attributes) {
        return win.SetFileAttributesW && win.SetFileAttributesW(name, attributes);
    }
    static bool delete_file(const char16_t* name) { return win.DeleteFileW && win.DeleteFileW(name); }
};

// True only when Windows says for certain that nothing is at path: a cheap look
// that spares FindFirstFile, which reads a whole folder for a missing name.
template <typename C>
inline bool surely_absent(const C* path) {
    const bool bound = sizeof(C) == 1 ? win.GetFileAttributesA != nullptr : win.GetFileAttributesW != nullptr;
    if (!bound || !win.GetLastError || unit<C>::attributes_of(path) != invalid_file_attributes) return false;
    const uint32_t error = win.GetLastError();
    return error == error_file_not_found || error == error_path_not_found;
}

// "0" to "9" only, on either side (a fullwidth digit is no digit).
template <typename C>
inline bool is_digit(C c) {
    return c >= C('0') && c <= C('9');
}

}  // namespace tallyrun
