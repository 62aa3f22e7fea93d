// Helpers of the end-to-end tests: the real plugin loaded by file name, real folders, window answers.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

// Set by main from the command line: the plugin file and the harness program.
extern std::string plugin_file;
extern std::string host_exe;

// Text between the sides: UTF-8 (messages, the harness's output), the ANSI
// code page (the 8-bit side) and UTF-16. A unit of no surrogate pair becomes
// U+FFFD in UTF-8; a character the code page lacks becomes '?' in ANSI.
std::string utf8(const std::wstring& text);
std::wstring from_ansi(const std::string& text);
std::string to_ansi(const std::wstring& text);

struct progress_report {
    std::string source, target;  // as UTF-8
    int percent;
};

// The plugin, loaded once per process, with FsInit, FsInitW and FsSetDefaultParams done.
struct plugin {
    HMODULE module = nullptr;
    int(WINAPI* FsInit)(int, void*, void*, void*) = nullptr;
    HANDLE(WINAPI* FsFindFirst)(char*, WIN32_FIND_DATAA*) = nullptr;
    BOOL(WINAPI* FsFindNext)(HANDLE, WIN32_FIND_DATAA*) = nullptr;
    int(WINAPI* FsFindClose)(HANDLE) = nullptr;
    void(WINAPI* FsGetDefRootName)(char*, int) = nullptr;
    void(WINAPI* FsSetDefaultParams)(void*) = nullptr;
    int(WINAPI* FsGetFile)(char*, char*, int, void*) = nullptr;
    int(WINAPI* FsInitW)(int, void*, void*, void*) = nullptr;
    HANDLE(WINAPI* FsFindFirstW)(WCHAR*, WIN32_FIND_DATAW*) = nullptr;
    BOOL(WINAPI* FsFindNextW)(HANDLE, WIN32_FIND_DATAW*) = nullptr;
    int(WINAPI* FsGetFileW)(WCHAR*, WCHAR*, int, void*) = nullptr;
    int(WINAPI* FsExecuteFile)(HWND, char*, char*) = nullptr;
    int(WINAPI* FsExecuteFileW)(HWND, WCHAR*, WCHAR*) = nullptr;
    int(WINAPI* FsGetPreviewBitmap)(char*, int, int, HBITMAP*) = nullptr;
    int(WINAPI* FsGetPreviewBitmapW)(WCHAR*, int, int, HBITMAP*) = nullptr;
    int(WINAPI* FsContentGetSupportedField)(int, char*, char*, int) = nullptr;
    int(WINAPI* FsContentGetValue)(char*, int, int, void*, int, int) = nullptr;
    int(WINAPI* FsContentGetValueW)(WCHAR*, int, int, void*, int, int) = nullptr;
    BOOL(WINAPI* FsContentGetDefaultView)(char*, char*, char*, char*, int) = nullptr;

    // Points the INI folder at folder (ending with a backslash).
    void set_ini_folder(const std::string& folder);
    // Calls FsInit and FsInitW again, each with its recording call-back, or with none when false.
    void set_progress(bool narrow, bool wide);
    // Names of a plugin folder in order ("." and ".." included); empty when
    // FsFindFirst fails, with the Windows error in *error.
    std::vector<std::string> names(const std::string& plugin_path, DWORD* error = nullptr);
    std::vector<std::wstring> names_w(const std::wstring& plugin_path, DWORD* error = nullptr);
    // The whole records of a listing, the same way.
    std::vector<WIN32_FIND_DATAA> records(const std::string& plugin_path, DWORD* error = nullptr);
    std::vector<WIN32_FIND_DATAW> records_w(const std::wstring& plugin_path, DWORD* error = nullptr);
    // FsGetFile(W) with the names in fresh buffers of the host's size.
    int get(const std::string& remote, const std::string& local, int flags = 0);
    int get_w(const std::wstring& remote, const std::wstring& local, int flags = 0);
    std::vector<progress_report> reports;       // through the FsInit call-back
    std::vector<progress_report> wide_reports;  // through the FsInitW call-back
    int abort_from = 101;  // both call-backs answer 1 (abort) from this percent on
};
plugin& the_plugin();
// The percentages of the reports, in order, each followed by a space ("0 100 ").
std::string percents(const std::vector<progress_report>& reports);
// The reports of one entry: 0 first, then rising percents, ending with 100
// when the entry was done (told_done), never reaching it when not (told_unfinished).
template <typename Report>
bool told_done(const std::vector<Report>& reports) {
    int previous = -1;
    for (const Report& r : reports) {
        if (r.percent <= previous || r.percent > 100) return false;
        previous = r.percent;
    }
    return !reports.empty() && reports.front().percent == 0 && previous == 100;
}
template <typename Report>
bool told_unfinished(const std::vector<Report>& reports) {
    int previous = -1;
    for (const Report& r : reports) {
        if (r.percent <= previous || r.percent >= 100) return false;
        previous = r.percent;
    }
    return !reports.empty() && reports.front().percent == 0;
}

// A name in a fresh buffer of the host's size (MAX_PATH bytes, 1024 wide units), or longer to hold it.
std::vector<char> host_buffer(const std::string& text);
std::vector<WCHAR> host_buffer(const std::wstring& text);

// A fresh folder under the temporary folder, removed with everything in it at scope end.
struct temp_folder {
    temp_folder();
    ~temp_folder();
    std::string path;    // ends with a backslash; plain ASCII
    std::wstring wpath;  // the same
};

// A FILETIME for a UTC date.
FILETIME utc(int year, int month, int day, int hour, int minute, int second);
// Real files and folders. A std::string path is ANSI, as the 8-bit side names
// it; a wide one may be of any length (it reaches Windows with \\?\).
// read_file answers "<missing>" for a file that cannot be read.
void write_file(const std::string& path, const std::string& content, FILETIME time);
void write_file(const std::wstring& path, const std::string& content, FILETIME time);
std::string read_file(const std::string& path);
std::string read_file(const std::wstring& path);
// The size and a 64-bit FNV-1a hash of a file's bytes ("<missing>" when it
// cannot be read), read a chunk at a time: for files too large to hold.
std::string file_digest(const std::wstring& path);
bool exists(const std::string& path);
bool exists(const std::wstring& path);
bool make_folder(const std::wstring& path);
// The path as Windows' wide file functions take it at any length: \\?\ before a full path.
std::wstring long_path(const std::wstring& path);
// "\" + path without its trailing backslash: the plugin's name for a real folder.
std::string plugin_path(const std::string& real_path);
std::wstring plugin_path(const std::wstring& real_path);

// Every file and folder below a folder: relative name (UTF-8) -> size, time,
// attributes and bytes (a file_digest above 1 MiB).
std::map<std::string, std::string> snapshot(const std::string& folder);
std::map<std::string, std::string> snapshot(const std::wstring& folder);

// Answers the plugin's windows (prompts and message boxes titled "Tallyrun" of
// this process) from a second thread while it lives. Each action is one of
// overwrite, all, skip, cancel, older, skip-all (buttons), enter, escape,
// close, ok (a message box's OK). The text of every window answered is kept,
// read with the wide functions and kept as UTF-8.
struct window_answerer {
    explicit window_answerer(std::vector<std::string> actions);
    ~window_answerer();
    std::vector<std::string> texts() const;
    struct state;
    state* state_;
};

// Runs the harness with arguments (UTF-8, passed on as Unicode): its standard
// output and error (UTF-8), CR LF made LF; *status gets its exit code.
std::string run_host(const std::string& arguments, DWORD* status = nullptr);

// Holds the Ctrl key for GetKeyState on this thread.
void hold_ctrl(bool held);

}  // namespace e2e
