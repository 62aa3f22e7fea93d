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
    the_plugin().reports.push_back(
        {utf8(from_ansi(source ? source : "")), utf8(from_ansi(target ? target : "")), percent});
    return percent >= the_plugin().abort_from ? 1 : 0;
}

int WINAPI record_progress_w(int, WCHAR* source, WCHAR* target, int percent) {
    the_plugin().wide_reports.push_back({utf8(source ? source : L""), utf8(target ? target : L""), percent});
    return percent >= the_plugin().abort_from ? 1 : 0;
}

template <typename C>
std::vector<C> buffer(const std::basic_string<C>& s) {
    const size_t size = sizeof(C) == 1 ? MAX_PATH : 1024;
    std::vector<C> b(s.begin(), s.end());
    b.resize(s.size() + 1 < size ? size : s.size() + 1, 0);
    return b;
}

template <typename Data, typename C, typename First, typename Next>
std::vector<Data> read_records(First first, Next next, const std::basic_string<C>& path, DWORD* error) {
    std::vector<Data> out;
    std::vector<C> b = buffer(path);
    Data d;
    HANDLE h = first(b.data(), &d);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return out;
    }
    do out.push_back(d);
    while (next(h, &d));
    the_plugin().FsFindClose(h);
    return out;
}

std::wstring converted(UINT code_page, const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string converted(UINT code_page, const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(long_path(folder + L"*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = long_path(folder + name);
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(folder + name + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &d));
        FindClose(h);
    }
    RemoveDirectoryW(long_path(folder).c_str());
}

void snap(const std::wstring& folder, const std::string& prefix, std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(long_path(folder + L"*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        char facts[96];
        std::snprintf(facts, sizeof facts, "%lu %lu %lu:%lu %lx|", d.nFileSizeHigh, d.nFileSizeLow,
                      d.ftLastWriteTime.dwHighDateTime, d.ftLastWriteTime.dwLowDateTime,
                      d.dwFileAttributes);
        std::string key = prefix + utf8(name);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[key + "\\"] = facts;
            snap(folder + name + L"\\", key + "\\", out);
        } else {
            const bool large = d.nFileSizeHigh || d.nFileSizeLow > (1u << 20);
            out[key] = facts + (large ? file_digest(folder + name) : read_file(folder + name));
        }
    } while (FindNextFileW(h, &d));
    FindClose(h);
}

}  // namespace

std::string utf8(const std::wstring& text) { return converted(CP_UTF8, text); }
std::wstring from_ansi(const std::string& text) { return converted(CP_ACP, text); }
std::string to_ansi(const std::wstring& text) { return converted(CP_ACP, text); }

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
        entry(q.module, "FsInitW", q.FsInitW);
        entry(q.module, "FsFindFirstW", q.FsFindFirstW);
        entry(q.module, "FsFindNextW", q.FsFindNextW);
        entry(q.module, "FsGetFileW", q.FsGetFileW);
        entry(q.module, "FsExecuteFile", q.FsExecuteFile);
        entry(q.module, "FsExecuteFileW", q.FsExecuteFileW);
        entry(q.module, "FsGetPreviewBitmap", q.FsGetPreviewBitmap);
        entry(q.module, "FsGetPreviewBitmapW", q.FsGetPreviewBitmapW);
        entry(q.module, "FsContentGetSupportedField", q.FsContentGetSupportedField);
        entry(q.module, "FsContentGetValue", q.FsContentGetValue);
        entry(q.module, "FsContentGetValueW", q.FsContentGetValueW);
        entry(q.module, "FsContentGetDefaultView", q.FsContentGetDefaultView);
        return q;
    }();
    static bool started = false;
    if (!started && p.FsInit && p.FsSetDefaultParams) {
        started = true;
        p.set_progress(true, true);
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

void plugin::set_progress(bool narrow, bool wide) {
    // As the file manager does: both forms, each with its own call-back.
    FsInit(4, narrow ? reinterpret_cast<void*>(record_progress) : nullptr, nullptr, nullptr);
    if (FsInitW) FsInitW(4, wide ? reinterpret_cast<void*>(record_progress_w) : nullptr, nullptr, nullptr);
}

std::vector<char> host_buffer(const std::string& text) { return buffer(text); }
std::vector<WCHAR> host_buffer(const std::wstring& text) { return buffer(text); }

std::vector<WIN32_FIND_DATAA> plugin::records(const std::string& path, DWORD* error) {
    return read_records<WIN32_FIND_DATAA>(FsFindFirst, FsFindNext, path, error);
}

std::vector<WIN32_FIND_DATAW> plugin::records_w(const std::wstring& path, DWORD* error) {
    return read_records<WIN32_FIND_DATAW>(FsFindFirstW, FsFindNextW, path, error);
}

std::vector<std::string> plugin::names(const std::string& path, DWORD* error) {
    std::vector<std::string> out;
    for (const WIN32_FIND_DATAA& d : records(path, error)) out.push_back(d.cFileName);
    return out;
}

std::vector<std::wstring> plugin::names_w(const std::wstring& path, DWORD* error) {
    std::vector<std::wstring> out;
    for (const WIN32_FIND_DATAW& d : records_w(path, error)) out.push_back(d.cFileName);
    return out;
}

int plugin::get(const std::string& remote, const std::string& local, int flags) {
    std::vector<char> r = buffer(remote), l = buffer(local);
    return FsGetFile(r.data(), l.data(), flags, nullptr);
}

int plugin::get_w(const std::wstring& remote, const std::wstring& local, int flags) {
    std::vector<WCHAR> r = buffer(remote), l = buffer(local);
    return FsGetFileW(r.data(), l.data(), flags, nullptr);
}

temp_folder::temp_folder() {
    static int count = 0;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path = std::string(base) + "tallyrun-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count) + "\\";
    wpath = from_ansi(path);
    CreateDirectoryA(path.c_str(), nullptr);
}

temp_folder::~temp_folder() { remove_tree(wpath); }

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

std::wstring long_path(const std::wstring& path) {
    bool full = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return full ? L"\\\\?\\" + path : path;
}

void write_file(const std::wstring& path, const std::string& content, FILETIME time) {
    HANDLE h = CreateFileW(long_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

void write_file(const std::string& path, const std::string& content, FILETIME time) {
    write_file(from_ansi(path), content, time);
}

std::string read_file(const std::wstring& path) {
    HANDLE h = CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got) content.append(chunk, got);
    CloseHandle(h);
    return content;
}

std::string read_file(const std::string& path) { return read_file(from_ansi(path)); }

std::string file_digest(const std::wstring& path) {
    HANDLE h = CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    unsigned long long hash = 14695981039346656037ull, size = 0;
    std::vector<unsigned char> chunk(4u << 20);
    DWORD got = 0;
    while (ReadFile(h, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got) {
        for (DWORD i = 0; i < got; ++i) hash = (hash ^ chunk[i]) * 1099511628211ull;
        size += got;
    }
    CloseHandle(h);
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes, fnv %016llx", size, hash);
    return text;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(long_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool exists(const std::string& path) { return exists(from_ansi(path)); }

bool make_folder(const std::wstring& path) { return CreateDirectoryW(long_path(path).c_str(), nullptr) != 0; }

template <typename C>
std::basic_string<C> plugin_path_of(const std::basic_string<C>& real_path) {
    std::basic_string<C> p = real_path;
    while (!p.empty() && p.back() == C('\\')) p.pop_back();
    return C('\\') + p;
}

std::string plugin_path(const std::string& real_path) { return plugin_path_of(real_path); }
std::wstring plugin_path(const std::wstring& real_path) { return plugin_path_of(real_path); }

std::map<std::string, std::string> snapshot(const std::wstring& folder) {
    std::map<std::string, std::string> out;
    snap(folder, "", out);
    return out;
}

std::map<std::string, std::string> snapshot(const std::string& folder) { return snapshot(from_ansi(folder)); }

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
    WCHAR title[64] = L"";
    GetWindowTextW(window, title, 64);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(title) == L"Tallyrun") {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

// Read with the wide functions: a prompt about a Unicode name shows it as it is.
BOOL CALLBACK find_static(HWND child, LPARAM param) {
    WCHAR cls[32] = L"";
    GetClassNameW(child, cls, 32);
    WCHAR text[2048] = L"";
    GetWindowTextW(child, text, 2048);
    if (CompareStringOrdinal(cls, -1, L"Static", -1, TRUE) == CSTR_EQUAL && text[0]) {
        *reinterpret_cast<std::string*>(param) = utf8(text);
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
            PostMessageW(GetDlgItem(window, b.id), BM_CLICK, 0, 0);
            return;
        }
    if (action == "enter" || action == "ok") PostMessageW(window, WM_COMMAND, IDOK, 0);
    if (action == "escape") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    if (action == "close") PostMessageW(window, WM_CLOSE, 0, 0);
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
    // Wine starts its desktop process for the first window of a session; were
    // that the harness's, the desktop would keep the harness's output open
    // for as long as this process lives. Asked for here, it is this process's.
    GetDesktopWindow();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    CreatePipe(&read_end, &write_end, &inherit, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = write_end;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + from_ansi(host_exe) + L"\" " + converted(CP_UTF8, arguments);
    std::vector<WCHAR> line(command.begin(), command.end());
    line.push_back(0);
    std::string output;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
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
