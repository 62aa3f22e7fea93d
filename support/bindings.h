// The one table through which the plugin reaches Windows; tests put fakes in its slots.
#pragma once

#include <cstdint>

namespace tallyrun {

struct host_forms;

// Windows calls its API and call-backs with stdcall in 32-bit code; everywhere
// else (64-bit Windows, the native build) there is one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define TR_WINAPI __attribute__((stdcall))
#else
#define TR_WINAPI
#endif

using win_handle = void*;  // HANDLE, HWND, HINSTANCE: always pointer-sized

// CPINFO: how many bytes the longest character of a code page takes.
struct win_cp_info {
    uint32_t max_char_size;
    uint8_t default_char[2];
    uint8_t lead_byte[12];
};

// FILETIME: 100 ns ticks since 1601-01-01, in two halves as Windows lays them out.
struct win_filetime {
    uint32_t low;
    uint32_t high;

    uint64_t ticks() const { return static_cast<uint64_t>(high) << 32 | low; }
    static win_filetime of_ticks(uint64_t ticks) {
        return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    }
};
inline bool operator==(win_filetime a, win_filetime b) { return a.low == b.low && a.high == b.high; }
// The plugin's own "no time": no file's; the host is shown its own marker for it.
inline constexpr win_filetime no_time{0xFFFFFFFFu, 0xFFFFFFFFu};

// WIN32_FIND_DATAA and WIN32_FIND_DATAW as Windows lays them out: one record,
// its names in bytes or in UTF-16 units.
template <typename C>
struct basic_find_data {
    uint32_t attributes;
    win_filetime creation_time;
    win_filetime last_access_time;
    win_filetime last_write_time;
    uint32_t size_high;
    uint32_t size_low;
    uint32_t reserved0;
    uint32_t reserved1;
    C name[260];
    C short_name[14];
};
using win_find_data = basic_find_data<char>;
using win_find_data_w = basic_find_data<char16_t>;
static_assert(sizeof(win_find_data) == 320, "WIN32_FIND_DATAA layout (318 bytes, padded to 320)");
static_assert(sizeof(win_find_data_w) == 592, "WIN32_FIND_DATAW layout");

// SHELLEXECUTEINFOW as Windows lays it out (60 bytes in 32-bit code, 112 in 64-bit).
struct win_shell_execute_info {
    uint32_t size;  // sizeof this record
    uint32_t mask;
    win_handle window;
    const char16_t* verb;
    const char16_t* file;
    const char16_t* parameters;
    const char16_t* directory;
    int32_t show;
    win_handle instance_app;
    void* id_list;
    const char16_t* class_name;
    void* class_key;
    uint32_t hot_key;
    win_handle icon;
    win_handle process;
};

// LPPROGRESS_ROUTINE of CopyFileEx: told of each chunk copied; its answer
// goes on (0), cancels and removes the target (1), stops (2) or asks no more (3).
using copy_progress_routine = uint32_t(TR_WINAPI*)(int64_t total, int64_t transferred, int64_t stream_size,
                                                   int64_t stream_transferred, uint32_t stream, uint32_t reason,
                                                   win_handle source, win_handle target, void* data);

using dialog_proc = intptr_t(TR_WINAPI*)(win_handle window, uint32_t message, uintptr_t wparam,
                                         intptr_t lparam);

// Windows constants the plugin passes or tests for.
inline const win_handle invalid_handle = reinterpret_cast<win_handle>(intptr_t{-1});
inline constexpr uint32_t error_file_not_found = 2;
inline constexpr uint32_t error_path_not_found = 3;
inline constexpr uint32_t error_too_many_open_files = 4;
inline constexpr uint32_t error_access_denied = 5;
inline constexpr uint32_t error_invalid_handle = 6;
inline constexpr uint32_t error_no_more_files = 18;
inline constexpr uint32_t error_disk_full = 112;
inline constexpr uint32_t error_file_exists = 80;
inline constexpr uint32_t error_invalid_parameter = 87;
inline constexpr uint32_t error_insufficient_buffer = 122;
inline constexpr uint32_t error_request_aborted = 1235;
inline constexpr uint32_t progress_continue = 0;
inline constexpr uint32_t progress_cancel = 1;
inline constexpr uint32_t progress_stop = 2;
inline constexpr uint32_t progress_quiet = 3;
inline constexpr uint32_t callback_chunk_finished = 0;
inline constexpr uint32_t callback_stream_switch = 1;
inline constexpr uint32_t copy_file_fail_if_exists = 1;
inline constexpr uint32_t cp_acp = 0;
inline constexpr uint32_t mb_precomposed = 1;
inline constexpr uint32_t wc_no_best_fit_chars = 0x400;
inline constexpr uint32_t generic_read = 0x80000000u;
inline constexpr uint32_t generic_write = 0x40000000u;
inline constexpr uint32_t file_share_read = 1;
inline constexpr uint32_t file_share_write = 2;
inline constexpr uint32_t file_share_delete = 4;
inline constexpr uint32_t file_flag_sequential_scan = 0x08000000u;
inline constexpr uint32_t invalid_file_attributes = 0xFFFFFFFFu;
inline constexpr uint32_t create_new = 1;
inline constexpr uint32_t create_always = 2;
inline constexpr uint32_t open_existing = 3;
inline constexpr uint32_t file_attribute_normal = 0x80;
inline constexpr uint32_t io_reparse_tag_symlink = 0xA000000Cu;
inline constexpr uint32_t see_mask_nocloseprocess = 0x40;
inline constexpr uint32_t see_mask_invokeidlist = 0xC;
inline constexpr uint32_t see_mask_flag_no_ui = 0x400;
inline constexpr int32_t sw_shownormal = 1;

// Looks up one function of a system module by name; null when it is not there.
using function_lookup = void* (*)(const char* module, const char* name);

// Every Windows function the plugin calls, by its Windows name. In the DLL the
// slots are filled at start-up by looking each name up in kernel32.dll or
// user32.dll; a slot may then be null when the lookup failed. In the native
// build they hold fakes (support/bindings_native.cpp, tests/fakes/).
struct win_bindings {
    // user32
    int32_t(TR_WINAPI* MessageBoxA)(win_handle owner, const char* text, const char* caption,
                                    uint32_t type);
    int32_t(TR_WINAPI* MessageBoxW)(win_handle owner, const char16_t* text, const char16_t* caption,
                                    uint32_t type);
    win_handle(TR_WINAPI* GetActiveWindow)();
    win_handle(TR_WINAPI* GetForegroundWindow)();
    uint32_t(TR_WINAPI* GetWindowThreadProcessId)(win_handle window, uint32_t* process);
    uint32_t(TR_WINAPI* CharLowerBuffA)(char* buffer, uint32_t length);
    uint32_t(TR_WINAPI* CharUpperBuffA)(char* buffer, uint32_t length);
    uint32_t(TR_WINAPI* CharLowerBuffW)(char16_t* buffer, uint32_t length);
    uint32_t(TR_WINAPI* CharUpperBuffW)(char16_t* buffer, uint32_t length);
    int16_t(TR_WINAPI* GetKeyState)(int32_t key);
    intptr_t(TR_WINAPI* DialogBoxIndirectParamA)(win_handle instance, const void* dialog_template,
                                                 win_handle owner, dialog_proc proc,
                                                 intptr_t init_param);
    intptr_t(TR_WINAPI* DialogBoxIndirectParamW)(win_handle instance, const void* dialog_template,
                                                 win_handle owner, dialog_proc proc,
                                                 intptr_t init_param);
    int32_t(TR_WINAPI* EndDialog)(win_handle window, intptr_t result);

    // kernel32
    int32_t(TR_WINAPI* MultiByteToWideChar)(uint32_t code_page, uint32_t flags, const char* text,
                                            int32_t length, char16_t* wide, int32_t wide_length);
    int32_t(TR_WINAPI* WideCharToMultiByte)(uint32_t code_page, uint32_t flags, const char16_t* wide,
                                            int32_t wide_length, char* text, int32_t length,
                                            const char* default_char, int32_t* used_default);
    win_handle(TR_WINAPI* FindFirstFileA)(const char* pattern, win_find_data* data);
    int32_t(TR_WINAPI* FindNextFileA)(win_handle find, win_find_data* data);
    win_handle(TR_WINAPI* FindFirstFileW)(const char16_t* pattern, win_find_data_w* data);
    int32_t(TR_WINAPI* FindNextFileW)(win_handle find, win_find_data_w* data);
    int32_t(TR_WINAPI* FindClose)(win_handle find);
    int32_t(TR_WINAPI* FileTimeToLocalFileTime)(const win_filetime* utc, win_filetime* local);
    int32_t(TR_WINAPI* LocalFileTimeToFileTime)(const win_filetime* local, win_filetime* utc);
    uint32_t(TR_WINAPI* GetDriveTypeA)(const char* root);
    uint32_t(TR_WINAPI* GetModuleFileNameW)(win_handle module, char16_t* buffer, uint32_t size);
    // kernel32's own where it tells its progress routine of each chunk, else
    // copy_in_chunks (support/file_copy.h: choose_copy_file_ex).
    int32_t(TR_WINAPI* CopyFileExA)(const char* source, const char* target, copy_progress_routine progress,
                                    void* data, int32_t* cancel, uint32_t flags);
    int32_t(TR_WINAPI* CopyFileExW)(const char16_t* source, const char16_t* target, copy_progress_routine progress,
                                    void* data, int32_t* cancel, uint32_t flags);
    int32_t(TR_WINAPI* GetFileSizeEx)(win_handle file, int64_t* size);
    int32_t(TR_WINAPI* GetFileTime)(win_handle file, win_filetime* creation, win_filetime* access,
                                    win_filetime* write);
    int32_t(TR_WINAPI* SetFileTime)(win_handle file, const win_filetime* creation, const win_filetime* access,
                                    const win_filetime* write);
    uint32_t(TR_WINAPI* GetFileAttributesA)(const char* name);
    uint32_t(TR_WINAPI* GetFileAttributesW)(const char16_t* name);
    int32_t(TR_WINAPI* SetFileAttributesA)(const char* name, uint32_t attributes);
    int32_t(TR_WINAPI* SetFileAttributesW)(const char16_t* name, uint32_t attributes);
    int32_t(TR_WINAPI* DeleteFileA)(const char* name);
    int32_t(TR_WINAPI* DeleteFileW)(const char16_t* name);
    uint32_t(TR_WINAPI* GetTickCount)();
    uint32_t(TR_WINAPI* GetCurrentProcessId)();
    uint32_t(TR_WINAPI* GetLastError)();
    void(TR_WINAPI* SetLastError)(uint32_t error);
    win_handle(TR_WINAPI* CreateFileA)(const char* name, uint32_t access, uint32_t share,
                                       void* security, uint32_t disposition, uint32_t flags,
                                       win_handle template_file);
    win_handle(TR_WINAPI* CreateFileW)(const char16_t* name, uint32_t access, uint32_t share,
                                       void* security, uint32_t disposition, uint32_t flags,
                                       win_handle template_file);
    int32_t(TR_WINAPI* ReadFile)(win_handle file, void* buffer, uint32_t size, uint32_t* done,
                                 void* overlapped);
    int32_t(TR_WINAPI* WriteFile)(win_handle file, const void* buffer, uint32_t size,
                                  uint32_t* done, void* overlapped);
    int32_t(TR_WINAPI* CloseHandle)(win_handle handle);
    int32_t(TR_WINAPI* GetCPInfo)(uint32_t code_page, win_cp_info* info);

    // shell32
    int32_t(TR_WINAPI* ShellExecuteExW)(win_shell_execute_info* info);

    // Beside the functions: this module's instance as its entry point was
    // given it (null before), the lookup the Windows build bound the slots by
    // (for a function looked up when it is called), and what the Linux build's
    // message boxes and dialogs show through (null elsewhere, and before
    // start-up).
    win_handle module;
    function_lookup lookup;
    host_forms* forms;
#if !defined(_WIN32) && !defined(TALLYRUN_POSIX)
    // The native stand-ins' time zone, as seconds east of UTC (0 unless a test sets it).
    int utc_offset_seconds;
#endif
};

// The process-wide table.
extern win_bindings win;

// Fills every slot: in the DLL by name from kernel32.dll and user32.dll, in the
// native build with the built-in fakes. Fails only when MessageBoxA or
// GetActiveWindow cannot be found: it then writes "couldn't find <name>\n" to
// standard error and answers false, and the module must refuse to load (ending
// the process would end the host with every window it has open).
bool bind_windows();


#ifdef _WIN32
// bind_windows with the functions found by `lookup`, so that a test can take
// one away and see the start-up refuse the load.
bool bind_windows(function_lookup lookup);
#endif

// The stand-ins of the native build, also compiled into the Windows test
// programs so that a test can prove they agree with the real functions.
uint32_t TR_WINAPI cp1252_lower_buff(char* buffer, uint32_t length);
uint32_t TR_WINAPI cp1252_upper_buff(char* buffer, uint32_t length);
uint32_t TR_WINAPI utf16_lower_buff(char16_t* buffer, uint32_t length);
uint32_t TR_WINAPI utf16_upper_buff(char16_t* buffer, uint32_t length);

// Swaps one slot for the life of a scope: `binding_override o(win.ReadFile, fake);`
template <typename Fn>
struct binding_override {
    binding_override(Fn& slot, Fn replacement) : slot_(slot), saved_(slot) { slot = replacement; }
    ~binding_override() { slot_ = saved_; }
    binding_override(const binding_override&) = delete;
    binding_override& operator=(const binding_override&) = delete;
    Fn& slot_;
    Fn saved_;
};

}  // namespace tallyrun
