// The DLL's exported entry points: thin stdcall shims that let no exception or C++ type reach the host.
#include <windows.h>

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
}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    try {
        return tallyrun::dll_main(instance, reason);
    } catch (...) {
        return FALSE;
    }
}

__declspec(dllexport) int WINAPI FsInit(int plugin_number, void* progress, void*, void*) {
    try {
        return tallyrun::FsInit(plugin_number, reinterpret_cast<tallyrun::progress_proc>(progress));
    } catch (...) {
        return -1;
    }
}

__declspec(dllexport) int WINAPI FsInitW(int plugin_number, void* progress, void*, void*) {
    try {
        return tallyrun::FsInitW(plugin_number, reinterpret_cast<tallyrun::progress_proc_w>(progress));
    } catch (...) {
        return -1;
    }
}

__declspec(dllexport) int WINAPI FsGetDefRootName(char* name, int size) {
    try {
        return tallyrun::FsGetDefRootName(name, size);
    } catch (...) {
        return 0;
    }
}

__declspec(dllexport) int WINAPI FsSetDefaultParams(void* record) {
    try {
        return tallyrun::FsSetDefaultParams(record);
    } catch (...) {
        return 0;
    }
}

__declspec(dllexport) HANDLE WINAPI FsFindFirst(char* path, WIN32_FIND_DATAA* data) {
    try {
        return tallyrun::FsFindFirst(path, find_data(data));
    } catch (...) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
}

__declspec(dllexport) HANDLE WINAPI FsFindFirstW(WCHAR* path, WIN32_FIND_DATAW* data) {
    try {
        return tallyrun::FsFindFirstW(units(path), find_data(data));
    } catch (...) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
}

__declspec(dllexport) BOOL WINAPI FsFindNext(HANDLE handle, WIN32_FIND_DATAA* data) {
    try {
        return tallyrun::FsFindNext(handle, find_data(data));
    } catch (...) {
        return FALSE;
    }
}

__declspec(dllexport) BOOL WINAPI FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* data) {
    try {
        return tallyrun::FsFindNextW(handle, find_data(data));
    } catch (...) {
        return FALSE;
    }
}

__declspec(dllexport) int WINAPI FsFindClose(HANDLE handle) {
    try {
        return tallyrun::FsFindClose(handle);
    } catch (...) {
        return 0;
    }
}

__declspec(dllexport) int WINAPI FsGetFile(char* remote_name, char* local_name, int copy_flags,
                                           void*) {
    try {
        return tallyrun::FsGetFile(remote_name, local_name, copy_flags);
    } catch (...) {
        return tallyrun::fs_read_error;
    }
}

__declspec(dllexport) int WINAPI FsGetFileW(WCHAR* remote_name, WCHAR* local_name, int copy_flags, void*) {
    try {
        return tallyrun::FsGetFileW(units(remote_name), units(local_name), copy_flags);
    } catch (...) {
        return tallyrun::fs_read_error;
    }
}

__declspec(dllexport) int WINAPI FsExecuteFile(HWND main_window, char* remote_name, char* verb) {
    try {
        return tallyrun::FsExecuteFile(main_window, remote_name, verb);
    } catch (...) {
        return tallyrun::fs_exec_error;
    }
}

__declspec(dllexport) int WINAPI FsExecuteFileW(HWND main_window, WCHAR* remote_name, WCHAR* verb) {
    try {
        return tallyrun::FsExecuteFileW(main_window, units(remote_name), units(verb));
    } catch (...) {
        return tallyrun::fs_exec_error;
    }
}

__declspec(dllexport) int WINAPI FsGetPreviewBitmap(char* remote_name, int width, int height, HBITMAP* bitmap) {
    try {
        return tallyrun::FsGetPreviewBitmap(remote_name, width, height, reinterpret_cast<tallyrun::win_handle*>(bitmap));
    } catch (...) {
        return tallyrun::fs_bitmap_none;
    }
}

__declspec(dllexport) int WINAPI FsGetPreviewBitmapW(WCHAR* remote_name, int width, int height, HBITMAP* bitmap) {
    try {
        return tallyrun::FsGetPreviewBitmapW(units(remote_name), width, height,
                                             reinterpret_cast<tallyrun::win_handle*>(bitmap));
    } catch (...) {
        return tallyrun::fs_bitmap_none;
    }
}

__declspec(dllexport) int WINAPI FsContentGetSupportedField(int field_index, char* field_name, char* units,
                                                            int max_length) {
    try {
        return tallyrun::FsContentGetSupportedField(field_index, field_name, units, max_length);
    } catch (...) {
        return tallyrun::ft_nomorefields;
    }
}

__declspec(dllexport) int WINAPI FsContentGetValue(char* file_name, int field_index, int unit_index, void* value,
                                                   int max_length, int flags) {
    try {
        return tallyrun::FsContentGetValue(file_name, field_index, unit_index, value, max_length, flags);
    } catch (...) {
        return tallyrun::ft_fileerror;
    }
}

__declspec(dllexport) int WINAPI FsContentGetValueW(WCHAR* file_name, int field_index, int unit_index, void* value,
                                                    int max_length, int flags) {
    try {
        return tallyrun::FsContentGetValueW(units(file_name), field_index, unit_index, value, max_length, flags);
    } catch (...) {
        return tallyrun::ft_fileerror;
    }
}

__declspec(dllexport) int WINAPI FsContentGetSupportedFieldFlags(int field_index) {
    try {
        return tallyrun::FsContentGetSupportedFieldFlags(field_index);
    } catch (...) {
        return 0;
    }
}

__declspec(dllexport) BOOL WINAPI FsContentGetDefaultView(char* contents, char* headers, char* widths, char* options,
                                                          int max_length) {
    try {
        return tallyrun::FsContentGetDefaultView(contents, headers, widths, options, max_length);
    } catch (...) {
        return FALSE;
    }
}

__declspec(dllexport) void WINAPI FsContentPluginUnloading() {
    try {
        tallyrun::FsContentPluginUnloading();
    } catch (...) {
    }
}

}  // extern "C"
