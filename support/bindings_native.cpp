// The native build's binding table: stand-ins that behave as Windows does in a Western locale.
#include <cstdio>
#include <cstring>

#include "support/bindings.h"
#include "support/native_time.h"

namespace tallyrun {
namespace {

uint32_t last_error_value = 0;

int32_t TR_WINAPI message_box(win_handle, const char*, const char*, uint32_t) { return 1; }
win_handle TR_WINAPI active_window() { return nullptr; }
int16_t TR_WINAPI key_state(int32_t) { return 0; }
intptr_t TR_WINAPI dialog_box(win_handle, const void*, win_handle, dialog_proc, intptr_t) {
    return -1;
}
int32_t TR_WINAPI end_dialog(win_handle, intptr_t) { return 1; }

int32_t TR_WINAPI string_length(const char* text) {
    return text ? static_cast<int32_t>(std::strlen(text)) : 0;
}

// Code page 1252's 0x80-0x9F block; the five holes map to the same code point,
// as MultiByteToWideChar does.
const uint16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int32_t TR_WINAPI multi_byte_to_wide(uint32_t, uint32_t, const char* text, int32_t length,
                                     uint16_t* wide, int32_t wide_length) {
    if (length < 0) length = static_cast<int32_t>(std::strlen(text)) + 1;
    if (length == 0 || length > wide_length) {
        last_error_value = 122;  // ERROR_INSUFFICIENT_BUFFER
        return 0;
    }
    for (int32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        wide[i] = (c >= 0x80 && c < 0xA0) ? cp1252_high[c - 0x80] : c;
    }
    return length;
}

win_handle TR_WINAPI no_find_first(const char*, win_find_data*) {
    last_error_value = error_path_not_found;
    return invalid_handle;
}
int32_t TR_WINAPI no_find_next(win_handle, win_find_data*) {
    last_error_value = error_no_more_files;
    return 0;
}
int32_t TR_WINAPI no_find_close(win_handle) { return 1; }

int32_t TR_WINAPI to_local(const win_filetime* utc, win_filetime* local) {
    *local = shift_file_time(*utc, native_utc_offset_seconds);
    return 1;
}
int32_t TR_WINAPI to_utc(const win_filetime* local, win_filetime* utc) {
    *utc = shift_file_time(*local, -native_utc_offset_seconds);
    return 1;
}
int32_t TR_WINAPI to_dos(const win_filetime* time, uint16_t* dos_date, uint16_t* dos_time) {
    if (!file_time_to_dos(*time, dos_date, dos_time)) {
        last_error_value = 87;  // ERROR_INVALID_PARAMETER
        return 0;
    }
    return 1;
}

// One fixed drive, C:, unless a test says otherwise.
uint32_t TR_WINAPI drive_type_of(const char* root) {
    return (root && (root[0] == 'C' || root[0] == 'c') && root[1] == ':') ? 3 : 1;
}

uint32_t TR_WINAPI module_file_name(win_handle, char* buffer, uint32_t size) {
    static const char path[] = "C:\\plugins\\tallyrun\\tallyrun.wfx";
    uint32_t n = sizeof path - 1;
    if (size == 0) return 0;
    if (n >= size) n = size - 1;
    std::memcpy(buffer, path, n);
    buffer[n] = 0;
    return n;
}

int32_t TR_WINAPI no_copy(const char*, const char*, int32_t) {
    last_error_value = error_file_not_found;
    return 0;
}
uint32_t TR_WINAPI get_last_error() { return last_error_value; }
void TR_WINAPI set_last_error(uint32_t error) { last_error_value = error; }

win_handle TR_WINAPI no_create(const char*, uint32_t, uint32_t, void*, uint32_t, uint32_t,
                               win_handle) {
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

}  // namespace

int native_utc_offset_seconds = 0;

win_bindings win = {};

bool bind_windows() {
    win.MessageBoxA = message_box;
    win.GetActiveWindow = active_window;
    win.CharLowerBuffA = cp1252_lower_buff;
    win.CharUpperBuffA = cp1252_upper_buff;
    win.GetKeyState = key_state;
    win.DialogBoxIndirectParamA = dialog_box;
    win.EndDialog = end_dialog;
    win.lstrlenA = string_length;
    win.MultiByteToWideChar = multi_byte_to_wide;
    win.FindFirstFileA = no_find_first;
    win.FindNextFileA = no_find_next;
    win.FindClose = no_find_close;
    win.FileTimeToLocalFileTime = to_local;
    win.LocalFileTimeToFileTime = to_utc;
    win.FileTimeToDosDateTime = to_dos;
    win.GetDriveTypeA = drive_type_of;
    win.GetModuleFileNameA = module_file_name;
    win.CopyFileA = no_copy;
    win.GetLastError = get_last_error;
    win.SetLastError = set_last_error;
    win.CreateFileA = no_create;
    win.ReadFile = no_read;
    win.WriteFile = no_write;
    win.CloseHandle = no_close;
    win.GetCPInfo = cp_info;
    return true;
}

// The native build has no DLL start-up, so the table is filled before main.
namespace {
struct bind_at_load {
    bind_at_load() { bind_windows(); }
} bind_at_load_instance;
}  // namespace

}  // namespace tallyrun
