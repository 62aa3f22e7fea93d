// The DLL's binding table: each Windows function looked up by name at start-up.
#include <windows.h>

#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "support/bindings.h"
#include "support/file_copy.h"

namespace tallyrun {

static_assert(sizeof(WIN32_FIND_DATAA) == sizeof(win_find_data), "find-data layout");
static_assert(sizeof(WIN32_FIND_DATAW) == sizeof(win_find_data_w), "wide find-data layout");
static_assert(sizeof(WCHAR) == sizeof(char16_t), "UTF-16 units");
static_assert(sizeof(SHELLEXECUTEINFOW) == sizeof(win_shell_execute_info), "shell execute layout");
static_assert(offsetof(SHELLEXECUTEINFOW, hProcess) == offsetof(win_shell_execute_info, process), "shell execute layout");
static_assert(sizeof(FILETIME) == sizeof(win_filetime), "FILETIME layout");
static_assert(sizeof(CPINFO) == sizeof(win_cp_info), "CPINFO layout");

win_bindings win = {};

namespace {

void* system_function(const char* module, const char* name) {
    // user32 and kernel32 are loaded in every GUI process already; LoadLibrary only takes a reference.
    HMODULE handle = GetModuleHandleA(module);
    if (!handle) handle = LoadLibraryA(module);
    return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
}

bool missing(const char* name) {
    std::fprintf(stderr, "couldn't find %s\n", name);
    std::fflush(stderr);
    return false;
}

// shell32 is not loaded in every process, and loading a library while the
// loader runs DllMain can deadlock: it is looked up when it is called, by the
// lookup that bound the table (after the first call it is loaded and found at
// once). The slot itself never changes, so no thread writes the table later.
int32_t TR_WINAPI shell_execute_when_called(win_shell_execute_info* info) {
    auto found = reinterpret_cast<decltype(win.ShellExecuteExW)>(
        win.lookup ? win.lookup("shell32.dll", "ShellExecuteExW") : nullptr);
    if (!found) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    return found(info);
}

}  // namespace

bool bind_windows(function_lookup lookup) {
    // The lookup hands back a generic pointer; each slot's type is the
    // function's real signature, checked by hand against the SDK's.
    auto bind = [lookup](auto& slot, const char* module, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(lookup(module, name));
    };
    const char* user32 = "user32.dll";
    bind(win.MessageBoxA, user32, "MessageBoxA");
    bind(win.MessageBoxW, user32, "MessageBoxW");
    if (!win.MessageBoxA) return missing("MessageBoxA");
    bind(win.GetActiveWindow, user32, "GetActiveWindow");
    if (!win.GetActiveWindow) return missing("GetActiveWindow");
    bind(win.GetForegroundWindow, user32, "GetForegroundWindow");
    bind(win.GetWindowThreadProcessId, user32, "GetWindowThreadProcessId");
    bind(win.CharLowerBuffA, user32, "CharLowerBuffA");
    bind(win.CharUpperBuffA, user32, "CharUpperBuffA");
    bind(win.CharLowerBuffW, user32, "CharLowerBuffW");
    bind(win.CharUpperBuffW, user32, "CharUpperBuffW");
    bind(win.GetKeyState, user32, "GetKeyState");
    bind(win.DialogBoxIndirectParamA, user32, "DialogBoxIndirectParamA");
    bind(win.DialogBoxIndirectParamW, user32, "DialogBoxIndirectParamW");
    bind(win.EndDialog, user32, "EndDialog");

    const char* kernel32 = "kernel32.dll";
    bind(win.MultiByteToWideChar, kernel32, "MultiByteToWideChar");
    bind(win.WideCharToMultiByte, kernel32, "WideCharToMultiByte");
    bind(win.FindFirstFileA, kernel32, "FindFirstFileA");
    bind(win.FindNextFileA, kernel32, "FindNextFileA");
    bind(win.FindFirstFileW, kernel32, "FindFirstFileW");
    bind(win.FindNextFileW, kernel32, "FindNextFileW");
    bind(win.FindClose, kernel32, "FindClose");
    bind(win.FileTimeToLocalFileTime, kernel32, "FileTimeToLocalFileTime");
    bind(win.LocalFileTimeToFileTime, kernel32, "LocalFileTimeToFileTime");
    bind(win.GetDriveTypeA, kernel32, "GetDriveTypeA");
    bind(win.GetModuleFileNameW, kernel32, "GetModuleFileNameW");
    bind(win.GetLastError, kernel32, "GetLastError");
    bind(win.SetLastError, kernel32, "SetLastError");
    bind(win.GetFileSizeEx, kernel32, "GetFileSizeEx");
    bind(win.GetFileTime, kernel32, "GetFileTime");
    bind(win.SetFileTime, kernel32, "SetFileTime");
    bind(win.GetFileAttributesA, kernel32, "GetFileAttributesA");
    bind(win.GetFileAttributesW, kernel32, "GetFileAttributesW");
    bind(win.SetFileAttributesA, kernel32, "SetFileAttributesA");
    bind(win.SetFileAttributesW, kernel32, "SetFileAttributesW");
    bind(win.DeleteFileA, kernel32, "DeleteFileA");
    bind(win.DeleteFileW, kernel32, "DeleteFileW");
    bind(win.GetTickCount, kernel32, "GetTickCount");
    bind(win.GetCurrentProcessId, kernel32, "GetCurrentProcessId");
    // Copies report progress and stop when told to: kernel32's CopyFileEx on
    // Windows, the plugin's own chunked copy over the calls above under Wine.
    choose_copy_file_ex(win, lookup);
    bind(win.CreateFileA, kernel32, "CreateFileA");
    bind(win.CreateFileW, kernel32, "CreateFileW");
    bind(win.ReadFile, kernel32, "ReadFile");
    bind(win.WriteFile, kernel32, "WriteFile");
    bind(win.CloseHandle, kernel32, "CloseHandle");
    bind(win.GetCPInfo, kernel32, "GetCPInfo");

    win.lookup = lookup;
    win.ShellExecuteExW = shell_execute_when_called;
    return true;
}

bool bind_windows() { return bind_windows(system_function); }

}  // namespace tallyrun
