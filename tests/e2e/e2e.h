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

struct progress_report {
    std::string source, target;
    int percent;
};

// The plugin, loaded once per process, with FsInit and FsSetDefaultParams done.
struct plugin {
    HMODULE module = nullptr;
    int(WINAPI* FsInit)(int, void*, void*, void*) = nullptr;
    HANDLE(WINAPI* FsFindFirst)(char*, WIN32_FIND_DATAA*) = nullptr;
    BOOL(WINAPI* FsFindNext)(HANDLE, WIN32_FIND_DATAA*) = nullptr;
    int(WINAPI* FsFindClose)(HANDLE) = nullptr;
    void(WINAPI* FsGetDefRootName)(char*, int) = nullptr;
    void(WINAPI* FsSetDefaultParams)(void*) = nullptr;
    int(WINAPI* FsGetFile)(char*, char*, int, void*) = nullptr;

    // Points the INI folder at folder (ending with a backslash).
    void set_ini_folder(const std::string& folder);
    // Names of a plugin folder in order ("." and ".." included); empty when
    // FsFindFirst fails, with the Windows error in *error.
    std::vector<std::string> names(const std::string& plugin_path, DWORD* error = nullptr);
    // FsGetFile with the names in fresh buffers.
    int get(const std::string& remote, const std::string& local, int flags = 0);
    std::vector<progress_report> reports;
};
plugin& the_plugin();
// The percentages of the reports, in order, each followed by a space ("0 100 ").
std::string percents(const std::vector<progress_report>& reports);

// A fresh folder under the temporary folder, removed with everything in it at scope end.
struct temp_folder {
    temp_folder();
    ~temp_folder();
    std::string path;  // ends with a backslash
};

// A FILETIME for a UTC date.
FILETIME utc(int year, int month, int day, int hour, int minute, int second);
void write_file(const std::string& path, const std::string& content, FILETIME time);
std::string read_file(const std::string& path);
bool exists(const std::string& path);
// "\" + path without its trailing backslash: the plugin's name for a real folder.
std::string plugin_path(const std::string& real_path);

// Every file and folder below a folder: relative name -> size, time, attributes and bytes.
std::map<std::string, std::string> snapshot(const std::string& folder);

// Answers the plugin's windows (prompts and message boxes titled "Tallyrun" of
// this process) from a second thread while it lives. Each action is one of
// overwrite, all, skip, cancel, older, skip-all (buttons), enter, escape,
// close, ok (a message box's OK). The text of every window answered is kept.
struct window_answerer {
    explicit window_answerer(std::vector<std::string> actions);
    ~window_answerer();
    std::vector<std::string> texts() const;
    struct state;
    state* state_;
};

// Runs the harness with arguments: its standard output and error, CR LF made LF; *status gets its exit code.
std::string run_host(const std::string& arguments, DWORD* status = nullptr);

// Holds the Ctrl key for GetKeyState on this thread.
void hold_ctrl(bool held);

}  // namespace e2e
