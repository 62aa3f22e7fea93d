// Runs the end-to-end tests (tallyrun_e2e PLUGIN-FILE HOST-EXE [gtest options]) and holds their helpers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "e2e/e2e.h"

namespace e2e {

std::string plugin_file;
std::string host_exe;

namespace {

template <typename Fn>
void entry(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int WINAPI record_progress(int, char* source, char* target, int percent) {
    the_plugin().reports.push_back({source ? source : "", target ? target : "", percent});
    return 0;
}

std::vector<char> buffer(const std::string& s) {
    std::vector<char> b(s.begin(), s.end());
    b.resize(s.size() + 1 < MAX_PATH ? MAX_PATH : s.size() + 1, 0);
    return b;
}

void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = d.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &d));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

void snap(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = d.cFileName;
        if (name == "." || name == "..") continue;
        char facts[96];
        std::snprintf(facts, sizeof facts, "%lu %lu %lu:%lu %lx|", d.nFileSizeHigh, d.nFileSizeLow,
                      d.ftLastWriteTime.dwHighDateTime, d.ftLastWriteTime.dwLowDateTime,
                      d.dwFileAttributes);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + name + "\\"] = facts;
            snap(folder + name + "\\", prefix + name + "\\", out);
        } else {
            out[prefix + name] = facts + read_file(folder + name);
        }
    } while (FindNextFileA(h, &d));
    FindClose(h);
}

}  // namespace

plugin& the_plugin() {
    static plugin p = [] {
        plugin q;
        q.module = LoadLibraryA(plugin_file.c_str());
        if (!q.module) return q;
        entry(q.module, "FsInit", q.FsInit);
        entry(q.module, "FsFindFirst", q.FsFindFirst);
        entry(q.module, "FsFindNext", q.FsFindNext);
        entry(q.module, "FsFindClose", q.FsFindClose);
        entry(q.module, "FsGetDefRootName", q.FsGetDefRootName);
        entry(q.module, "FsSetDefaultParams", q.FsSetDefaultParams);
        entry(q.module, "FsGetFile", q.FsGetFile);
        return q;
    }();
    static bool started = false;
    if (!started && p.FsInit && p.FsSetDefaultParams) {
        started = true;
        p.FsInit(4, reinterpret_cast<void*>(record_progress), nullptr, nullptr);
        static temp_folder ini;  // empty: no tallyrun.ini, the defaults apply
        p.set_ini_folder(ini.path);
    }
    return p;
}

void plugin::set_ini_folder(const std::string& folder) {
    struct {
        int size;
        DWORD low, high;
        char name[MAX_PATH];
    } record{};
    record.size = sizeof record;
    record.high = 2;
    std::snprintf(record.name, sizeof record.name, "%splugins.ini", folder.c_str());
    FsSetDefaultParams(&record);
}

std::vector<std::string> plugin::names(const std::string& path, DWORD* error) {
    std::vector<std::string> out;
    std::vector<char> b = buffer(path);
    WIN32_FIND_DATAA d;
    HANDLE h = FsFindFirst(b.data(), &d);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return out;
    }
    do out.push_back(d.cFileName);
    while (FsFindNext(h, &d));
    FsFindClose(h);
    return out;
}

int plugin::get(const std::string& remote, const std::string& local, int flags) {
    std::vector<char> r = buffer(remote), l = buffer(local);
    return FsGetFile(r.data(), l.data(), flags, nullptr);
}

temp_folder::temp_folder() {
    static int count = 0;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path = std::string(base) + "tallyrun-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count) + "\\";
    CreateDirectoryA(path.c_str(), nullptr);
}

temp_folder::~temp_folder() { remove_tree(path); }

std::string percents(const std::vector<progress_report>& reports) {
    std::string s;
    for (const progress_report& r : reports) s += std::to_string(r.percent) + " ";
    return s;
}

FILETIME utc(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME s{};
    s.wYear = static_cast<WORD>(year);
    s.wMonth = static_cast<WORD>(month);
    s.wDay = static_cast<WORD>(day);
    s.wHour = static_cast<WORD>(hour);
    s.wMinute = static_cast<WORD>(minute);
    s.wSecond = static_cast<WORD>(second);
    FILETIME t{};
    SystemTimeToFileTime(&s, &t);
    return t;
}

void write_file(const std::string& path, const std::string& content, FILETIME time) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

std::string read_file(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got) content.append(chunk, got);
    CloseHandle(h);
    return content;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string plugin_path(const std::string& real_path) {
    std::string p = real_path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return "\\" + p;
}

std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> out;
    snap(folder, "", out);
    return out;
}

// --- window answers ---------------------------------------------------------------------------

struct window_answerer::state {
    std::vector<std::string> actions;
    std::vector<std::string> texts;
    mutable std::mutex lock;
    std::atomic<bool> running{true};
    std::thread thread;
};

namespace {

BOOL CALLBACK find_own(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && !std::strcmp(title, "Tallyrun")) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK find_static(HWND child, LPARAM param) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    char text[2048] = "";
    GetWindowTextA(child, text, sizeof text);
    if (!_stricmp(cls, "Static") && text[0]) {
        *reinterpret_cast<std::string*>(param) = text;
        return FALSE;
    }
    return TRUE;
}

void act(HWND window, const std::string& action) {
    static const struct {
        const char* name;
        int id;
    } buttons[] = {{"overwrite", 3}, {"all", 4}, {"skip", 5}, {"cancel", 6}, {"older", 7}, {"skip-all", 8}};
    for (const auto& b : buttons)
        if (action == b.name) {
            PostMessageA(GetDlgItem(window, b.id), BM_CLICK, 0, 0);
            return;
        }
    if (action == "enter" || action == "ok") PostMessageA(window, WM_COMMAND, IDOK, 0);
    if (action == "escape") PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    if (action == "close") PostMessageA(window, WM_CLOSE, 0, 0);
}

void answer_loop(window_answerer::state* s) {
    size_t next = 0;
    while (s->running) {
        HWND window = nullptr;
        EnumWindows(find_own, reinterpret_cast<LPARAM>(&window));
        if (!window || next >= s->actions.size()) {
            Sleep(15);
            continue;
        }
        std::string text;
        EnumChildWindows(window, find_static, reinterpret_cast<LPARAM>(&text));
        {
            std::lock_guard<std::mutex> hold(s->lock);
            s->texts.push_back(text);
        }
        act(window, s->actions[next++]);
        for (int i = 0; i < 500 && IsWindow(window); ++i) Sleep(10);
    }
}

}  // namespace

window_answerer::window_answerer(std::vector<std::string> actions) : state_(new state) {
    state_->actions = std::move(actions);
    state_->thread = std::thread(answer_loop, state_);
}

window_answerer::~window_answerer() {
    state_->running = false;
    state_->thread.join();
    delete state_;
}

std::vector<std::string> window_answerer::texts() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->texts;
}

std::string run_host(const std::string& arguments, DWORD* status) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    CreatePipe(&read_end, &write_end, &inherit, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = write_end;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command = "\"" + host_exe + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    std::string output;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        if (status) *status = 0xFFFFFFFF;
        return "<cannot start " + host_exe + ">";
    }
    CloseHandle(write_end);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got) output.append(chunk, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (status) *status = code;
    // Text-mode output ends lines with CR LF; the tests compare with LF.
    std::string lf;
    for (char c : output)
        if (c != '\r') lf += c;
    output = lf;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(read_end);
    return output;
}

void hold_ctrl(bool held) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = held ? 0x80 : 0;
    SetKeyboardState(keys);
}

}  // namespace e2e

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tallyrun_e2e PLUGIN-FILE HOST-EXE\n");
        return 2;
    }
    e2e::plugin_file = argv[1];
    e2e::host_exe = argv[2];
    return RUN_ALL_TESTS();
}
