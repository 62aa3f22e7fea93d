// The DLL's exported entry points: thin stdcall shims that let no exception or C++ type reach the host.
#include <windows.h>

#include "plugin/boundary.h"
#include "plugin/content.h"
#include "plugin/enumeration.h"
#include "plugin/execution.h"
#include "plugin/retrieval.h"
#include "plugin/startup.h"

static_assert(sizeof(WIN32_FIND_DATAA) == sizeof(tallyrun::win_find_data), "find-data layout");
static_assert(sizeof(WIN32_FIND_DATAW) == sizeof(tallyrun::win_find_data_w), "wide find-data layout");

namespace {
tallyrun::win_find_data* find_data(WIN32_FIND_DATAA* data) {
    return reinterpret_cast<tallyrun::win_find_data*>(data);
}
tallyrun::win_find_data_w* find_data(WIN32_FIND_DATAW* data) {
    return reinterpret_cast<tallyrun::win_find_data_w*>(data);
}
char16_t* units(WCHAR* text) { return reinterpret_cast<char16_t*>(text); }
tallyrun::win_handle* bitmap_of(HBITMAP* bitmap) { return reinterpret_cast<tallyrun::win_handle*>(bitmap); }
}  // namespace

using namespace tallyrun;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return guarded(load_failed, [&] { return dll_main(instance, reason); });
}

__declspec(dllexport) int WINAPI FsInit(int plugin_number, void* progress, void*, void*) {
    return guarded(init_failed, [&] { return tallyrun::FsInit(plugin_number, reinterpret_cast<progress_proc>(progress)); });
}

__declspec(dllexport) int WINAPI FsInitW(int plugin_number, void* progress, void*, void*) {
    return guarded(init_failed,
                   [&] { return tallyrun::FsInitW(plugin_number, reinterpret_cast<progress_proc_w>(progress)); });
}

__declspec(dllexport) int WINAPI FsGetDefRootName(char* name, int size) {
    return guarded(settings_failed, [&] { return tallyrun::FsGetDefRootName(name, size); });
}

__declspec(dllexport) int WINAPI FsSetDefaultParams(void* record) {
    return guarded(settings_failed, [&] { return tallyrun::FsSetDefaultParams(record); });
}

__declspec(dllexport) HANDLE WINAPI FsFindFirst(char* path, WIN32_FIND_DATAA* data) {
    return guarded(find_first_failed, [&] { return tallyrun::FsFindFirst(path, find_data(data)); });
}

__declspec(dllexport) HANDLE WINAPI FsFindFirstW(WCHAR* path, WIN32_FIND_DATAW* data) {
    return guarded(find_first_failed, [&] { return tallyrun::FsFindFirstW(units(path), find_data(data)); });
}

__declspec(dllexport) BOOL WINAPI FsFindNext(HANDLE handle, WIN32_FIND_DATAA* data) {
    return guarded(find_next_failed, [&] { return tallyrun::FsFindNext(handle, find_data(data)); });
}

__declspec(dllexport) BOOL WINAPI FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* data) {
    return guarded(find_next_failed, [&] { return tallyrun::FsFindNextW(handle, find_data(data)); });
}

__declspec(dllexport) int WINAPI FsFindClose(HANDLE handle) {
    return guarded(find_close_failed, [&] { return tallyrun::FsFindClose(handle); });
}

__declspec(dllexport) int WINAPI FsGetFile(char* remote_name, char* local_name, int copy_flags, void*) {
    return guarded(get_file_failed, [&] { return tallyrun::FsGetFile(remote_name, local_name, copy_flags); });
}

__declspec(dllexport) int WINAPI FsGetFileW(WCHAR* remote_name, WCHAR* local_name, int copy_flags, void*) {
    return guarded(get_file_failed,
                   [&] { return tallyrun::FsGetFileW(units(remote_name), units(local_name), copy_flags); });
}

__declspec(dllexport) int WINAPI FsGetBackgroundFlags() {
    return guarded(background_failed, [] { return tallyrun::FsGetBackgroundFlags(); });
}

__declspec(dllexport) int WINAPI FsExecuteFile(HWND main_window, char* remote_name, char* verb) {
    return guarded(execute_failed, [&] { return tallyrun::FsExecuteFile(main_window, remote_name, verb); });
}

__declspec(dllexport) int WINAPI FsExecuteFileW(HWND main_window, WCHAR* remote_name, WCHAR* verb) {
    return guarded(execute_failed,
                   [&] { return tallyrun::FsExecuteFileW(main_window, units(remote_name), units(verb)); });
}

__declspec(dllexport) int WINAPI FsGetPreviewBitmap(char* remote_name, int width, int height, HBITMAP* bitmap) {
    return guarded(preview_failed,
                   [&] { return tallyrun::FsGetPreviewBitmap(remote_name, width, height, bitmap_of(bitmap)); });
}

__declspec(dllexport) int WINAPI FsGetPreviewBitmapW(WCHAR* remote_name, int width, int height, HBITMAP* bitmap) {
    return guarded(preview_failed,
                   [&] { return tallyrun::FsGetPreviewBitmapW(units(remote_name), width, height, bitmap_of(bitmap)); });
}

__declspec(dllexport) int WINAPI FsContentGetSupportedField(int field_index, char* field_name, char* units,
                                                            int max_length) {
    return guarded(field_failed,
                   [&] { return tallyrun::FsContentGetSupportedField(field_index, field_name, units, max_length); });
}

__declspec(dllexport) int WINAPI FsContentGetValue(char* file_name, int field_index, int unit_index, void* value,
                                                   int max_length, int flags) {
    return guarded(value_failed, [&] {
        return tallyrun::FsContentGetValue(file_name, field_index, unit_index, value, max_length, flags);
    });
}

__declspec(dllexport) int WINAPI FsContentGetValueW(WCHAR* file_name, int field_index, int unit_index, void* value,
                                                    int max_length, int flags) {
    return guarded(value_failed, [&] {
        return tallyrun::FsContentGetValueW(units(file_name), field_index, unit_index, value, max_length, flags);
    });
}

__declspec(dllexport) int WINAPI FsContentGetSupportedFieldFlags(int field_index) {
    return guarded(flags_failed, [&] { return tallyrun::FsContentGetSupportedFieldFlags(field_index); });
}

__declspec(dllexport) BOOL WINAPI FsContentGetDefaultView(char* contents, char* headers, char* widths, char* options,
                                                          int max_length) {
    return guarded(view_failed,
                   [&] { return tallyrun::FsContentGetDefaultView(contents, headers, widths, options, max_length); });
}

__declspec(dllexport) void WINAPI FsContentPluginUnloading() {
    guarded([] { tallyrun::FsContentPluginUnloading(); });
}

}  // extern "C"
