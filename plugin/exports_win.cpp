// The DLL's exported entry points: thin stdcall shims that let no exception or C++ type reach the host.
#include <windows.h>

#include "plugin/enumeration.h"
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
const char16_t* units(const WCHAR* text) { return reinterpret_cast<const char16_t*>(text); }
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

}  // extern "C"
