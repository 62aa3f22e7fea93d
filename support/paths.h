// Path splitting, strings in host memory, the module's own identity, drives, keys and number halves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/bindings.h"

namespace tallyrun {

// Position (1-based) of the last separator in path; else of the first ':'; else 0.
size_t last_separator(std::string_view path, char separator);
// The folder part, normally ending in the separator ("C:\dir\" of "C:\dir\f.txt").
// A last component starting with '.' is taken as a folder: the separator is appended.
std::string file_path(std::string_view path, char separator);
// The name part; empty when the path ends in a separator or the name starts with '.'.
std::string file_name(std::string_view path, char separator);

// The bytes at address before the first NUL (no upper limit: the host promises a NUL).
std::string peek_string(const char* address);
// Writes at most size - 1 bytes of text and a NUL at address; size must be >= 1.
void poke_string(char* address, std::string_view text, size_t size);

// The module handle the DLL entry point received (null before it ran).
win_handle dll_instance();
void set_dll_instance(win_handle instance);
// Full path of the DLL file; empty when GetModuleFileNameA fails or is missing.
std::string module_filename();
// GetDriveTypeA of the root, a backslash appended when missing; 1 (no root) when unbound.
uint32_t drive_type(std::string_view root);
// 1 while a Ctrl key is held (GetKeyState of VK_CONTROL, bit 15), else 0.
int ctrl_down();

inline uint32_t lo_word(uint32_t x) { return x & 0xFFFFu; }
inline uint32_t hi_word(uint32_t x) { return (x & 0xFFFF0000u) >> 16; }
// The two 32-bit halves of a size; -1 gives 0xFFFFFFFF for both.
inline uint32_t lo_dword(int64_t x) { return static_cast<uint32_t>(static_cast<uint64_t>(x)); }
inline uint32_t hi_dword(int64_t x) {
    return static_cast<uint32_t>(static_cast<uint64_t>(x) >> 32);
}

}  // namespace tallyrun
