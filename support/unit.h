// What differs between the plugin's two sides, the 8-bit (ANSI) one and the wide (UTF-16) one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "support/bindings.h"

namespace tallyrun {

// Of a pair of things, the one of the side of C: the first for the 8-bit side
// (char), the second for the wide one (char16_t); e.g. the ...A and ...W
// slots of one Windows function.
template <typename C, typename Narrow, typename Wide>
constexpr auto& side_of(Narrow& narrow, Wide& wide) {
    static_assert(std::is_same_v<C, char> || std::is_same_v<C, char16_t>, "a side is char or char16_t");
    if constexpr (std::is_same_v<C, char>) {
        return narrow;
    } else {
        return wide;
    }
}

// A side's calls into Windows, each through the side's slot: a slot left
// unbound answers as the function's failure would.
template <typename C>
struct unit {
    using find_data = basic_find_data<C>;
    using case_function = uint32_t(TR_WINAPI*)(C*, uint32_t);
    // The host passes names of at most 259 bytes to the 8-bit functions and
    // Windows takes no longer path; a folder listing takes search paths of at
    // most 255. The host passes paths of up to 1023 units to the wide
    // functions (on Linux up to its MAX_PATH of 4096 with the zero); on
    // Windows longer ones reach the system with the \\?\ prefix (support/paths.h).
    static constexpr bool narrow = std::is_same_v<C, char>;
#ifdef TALLYRUN_POSIX
    static constexpr size_t longest_wide_path = 4095;
#else
    static constexpr size_t longest_wide_path = 1023;
#endif
    static constexpr size_t longest_path = narrow ? 259 : longest_wide_path;
    static constexpr size_t longest_search_path = narrow ? 255 : longest_wide_path + 4;

    static case_function lower_function() { return side_of<C>(win.CharLowerBuffA, win.CharLowerBuffW); }
    static case_function upper_function() { return side_of<C>(win.CharUpperBuffA, win.CharUpperBuffW); }
    static win_handle find_first(const C* pattern, find_data* data) {
        const auto find = side_of<C>(win.FindFirstFileA, win.FindFirstFileW);
        return find ? find(pattern, data) : invalid_handle;
    }
    static bool find_next(win_handle handle, find_data* data) {
        const auto next = side_of<C>(win.FindNextFileA, win.FindNextFileW);
        return next && next(handle, data);
    }
    static bool copy_file(const C* source, const C* target, copy_progress_routine progress, void* data) {
        const auto copy = side_of<C>(win.CopyFileExA, win.CopyFileExW);
        return copy && copy(source, target, progress, data, nullptr, 0);
    }
    static win_handle create_file(const C* name, uint32_t access, uint32_t disposition, uint32_t share = 0,
                                  uint32_t flags = file_attribute_normal) {
        const auto create = side_of<C>(win.CreateFileA, win.CreateFileW);
        return create ? create(name, access, share, nullptr, disposition, flags, nullptr) : invalid_handle;
    }
    static uint32_t attributes_of(const C* name) {
        const auto attributes = side_of<C>(win.GetFileAttributesA, win.GetFileAttributesW);
        return attributes ? attributes(name) : invalid_file_attributes;
    }
    static bool set_attributes(const C* name, uint32_t attributes) {
        const auto set = side_of<C>(win.SetFileAttributesA, win.SetFileAttributesW);
        return set && set(name, attributes);
    }
    static bool delete_file(const C* name) {
        const auto remove = side_of<C>(win.DeleteFileA, win.DeleteFileW);
        return remove && remove(name);
    }
};

// True only when Windows says for certain that nothing is at path: a cheap look
// that spares FindFirstFile, which reads a whole folder for a missing name.
template <typename C>
inline bool surely_absent(const C* path) {
    const bool bound = side_of<C>(win.GetFileAttributesA, win.GetFileAttributesW) != nullptr;
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
