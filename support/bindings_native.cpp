// The native build's binding table: stand-ins that behave as Windows does in a Western locale.
#include <cstdio>
#include <cstring>
#include <string>

#include "support/bindings.h"
#include "support/file_copy.h"
#include "support/native_time.h"

namespace tallyrun {
namespace {

thread_local uint32_t last_error_value = 0;  // each thread has its own, as on Windows

int32_t TR_WINAPI message_box(win_handle, const char*, const char*, uint32_t) { return 1; }
int32_t TR_WINAPI message_box_w(win_handle, const char16_t*, const char16_t*, uint32_t) { return 1; }
win_handle TR_WINAPI active_window() { return nullptr; }
int16_t TR_WINAPI key_state(int32_t) { return 0; }
intptr_t TR_WINAPI dialog_box(win_handle, const void*, win_handle, dialog_proc, intptr_t) {
    return -1;
}
int32_t TR_WINAPI end_dialog(win_handle, intptr_t) { return 1; }

// Code page 1252's 0x80-0x9F block; the five holes map to the same code point,
// as MultiByteToWideChar does.
const uint16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int32_t TR_WINAPI multi_byte_to_wide(uint32_t, uint32_t, const char* text, int32_t length,
                                     char16_t* wide, int32_t wide_length) {
    if (length < 0) length = static_cast<int32_t>(std::strlen(text)) + 1;
    if (length == 0 || length > wide_length) {
        last_error_value = error_insufficient_buffer;
        return 0;
    }
    for (int32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        wide[i] = (c >= 0x80 && c < 0xA0) ? cp1252_high[c - 0x80] : c;
    }
    return length;
}

// Back to code page 1252; a unit with no byte of its own becomes '?' and is reported.
int32_t TR_WINAPI wide_to_multi_byte(uint32_t, uint32_t, const char16_t* wide, int32_t wide_length, char* text,
                                     int32_t length, const char*, int32_t* used_default) {
    if (wide_length < 0) wide_length = static_cast<int32_t>(std::char_traits<char16_t>::length(wide)) + 1;
    if (wide_length == 0 || wide_length > length) {
        last_error_value = error_insufficient_buffer;
        return 0;
    }
    bool defaulted = false;
    for (int32_t i = 0; i < wide_length; ++i) {
        char16_t u = wide[i];
        int byte = u < 0x80 || (u >= 0xA0 && u < 0x100) ? u : -1;
        for (int k = 0; k < 32 && byte < 0; ++k)
            if (cp1252_high[k] == u) byte = 0x80 + k;
        if (byte < 0) {
            byte = '?';
            defaulted = true;
        }
        text[i] = static_cast<char>(byte);
    }
    if (used_default) *used_default = defaulted;
    return wide_length;
}

template <typename C, typename Data>
win_handle TR_WINAPI no_find_first(const C*, Data*) {
    last_error_value = error_path_not_found;
    return invalid_handle;
}
template <typename Data>
int32_t TR_WINAPI no_find_next(win_handle, Data*) {
    last_error_value = error_no_more_files;
    return 0;
}
int32_t TR_WINAPI no_find_close(win_handle) { return 1; }

int32_t TR_WINAPI to_local(const win_filetime* utc, win_filetime* local) {
    *local = shift_file_time(*utc, win.utc_offset_seconds);
    return 1;
}
int32_t TR_WINAPI to_utc(const win_filetime* local, win_filetime* utc) {
    *utc = shift_file_time(*local, -win.utc_offset_seconds);
    return 1;
}

// One fixed drive, C:, unless a test says otherwise.
uint32_t TR_WINAPI drive_type_of(const char* root) {
    return (root && (root[0] == 'C' || root[0] == 'c') && root[1] == ':') ? 3 : 1;
}

uint32_t TR_WINAPI module_file_name(win_handle, char16_t* buffer, uint32_t size) {
    static const char16_t path[] = u"C:\\plugins\\tallyrun\\tallyrun.wfx";
    uint32_t n = sizeof path / sizeof path[0] - 1;
    if (size == 0) return 0;
    if (n >= size) n = size - 1;
    std::memcpy(buffer, path, n * sizeof path[0]);
    buffer[n] = 0;
    return n;
}

uint32_t TR_WINAPI get_last_error() { return last_error_value; }
void TR_WINAPI set_last_error(uint32_t error) { last_error_value = error; }

template <typename C>
win_handle TR_WINAPI no_create(const C*, uint32_t, uint32_t, void*, uint32_t, uint32_t, win_handle) {
    last_error_value = error_path_not_found;
    return invalid_handle;
}
int32_t TR_WINAPI no_read(win_handle, void*, uint32_t, uint32_t* done, void*) {
    if (done) *done = 0;
    return 0;
}
int32_t TR_WINAPI no_write(win_handle, const void*, uint32_t, uint32_t* done, void*) {
    if (done) *done = 0;
    return 0;
}
int32_t TR_WINAPI no_close(win_handle) { return 1; }
// Code page 1252, as the case stand-ins assume.
int32_t TR_WINAPI cp_info(uint32_t, win_cp_info* info) {
    *info = win_cp_info{1, {'?', 0}, {}};
    return 1;
}

// Time stands still unless a fake moves it.
uint32_t TR_WINAPI tick_count() { return 0; }
template <typename C>
uint32_t TR_WINAPI no_attributes(const C*) {
    last_error_value = error_file_not_found;
    return invalid_file_attributes;
}
template <typename C>
int32_t TR_WINAPI no_delete(const C*) {
    last_error_value = error_file_not_found;
    return 0;
}

// The native build has no shell: nothing is opened.
int32_t TR_WINAPI no_shell(win_shell_execute_info*) {
    last_error_value = error_file_not_found;
    return 0;
}

}  // namespace


win_bindings win = {};

bool bind_windows() {
    win.MessageBoxA = message_box;
    win.MessageBoxW = message_box_w;
    win.GetActiveWindow = active_window;
    win.CharLowerBuffA = cp1252_lower_buff;
    win.CharUpperBuffA = cp1252_upper_buff;
    win.CharLowerBuffW = utf16_lower_buff;
    win.CharUpperBuffW = utf16_upper_buff;
    win.GetKeyState = key_state;
    win.DialogBoxIndirectParamA = dialog_box;
    win.DialogBoxIndirectParamW = dialog_box;
    win.EndDialog = end_dialog;
    win.MultiByteToWideChar = multi_byte_to_wide;
    win.WideCharToMultiByte = wide_to_multi_byte;
    win.FindFirstFileA = no_find_first<char, win_find_data>;
    win.FindNextFileA = no_find_next<win_find_data>;
    win.FindFirstFileW = no_find_first<char16_t, win_find_data_w>;
    win.FindNextFileW = no_find_next<win_find_data_w>;
    win.FindClose = no_find_close;
    win.FileTimeToLocalFileTime = to_local;
    win.LocalFileTimeToFileTime = to_utc;
    win.GetDriveTypeA = drive_type_of;
    win.GetModuleFileNameW = module_file_name;
    win.GetLastError = get_last_error;
    win.SetLastError = set_last_error;
    win.CreateFileA = no_create<char>;
    win.CreateFileW = no_create<char16_t>;
    win.ReadFile = no_read;
    win.WriteFile = no_write;
    win.CloseHandle = no_close;
    win.GetCPInfo = cp_info;
    win.ShellExecuteExW = no_shell;
    win.CopyFileExA = copy_in_chunks<char>;
    win.CopyFileExW = copy_in_chunks<char16_t>;
    win.GetFileSizeEx = nullptr;
    win.GetFileTime = nullptr;
    win.SetFileTime = nullptr;
    win.GetFileAttributesA = no_attributes<char>;
    win.GetFileAttributesW = no_attributes<char16_t>;
    win.SetFileAttributesA = nullptr;
    win.SetFileAttributesW = nullptr;
    win.DeleteFileA = no_delete<char>;
    win.DeleteFileW = no_delete<char16_t>;
    win.GetTickCount = tick_count;
    return true;
}

// The native build has no DLL start-up, so the table is filled before main.
namespace {
struct bind_at_load {
    bind_at_load() { bind_windows(); }
} bind_at_load_instance;
}  // namespace

}  // namespace tallyrun
