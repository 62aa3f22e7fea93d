// The host harness: a console program that loads a plugin and drives it as the file manager does.
#include <windows.h>
#include <shellapi.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char usage[] =
    "usage: tallyrun-host [options] PLUGIN COMMAND [ARGS...]\n"
    "\n"
    "Loads the plugin file PLUGIN (tallyrun.wfx or tallyrun.wfx64), finds its entry points,\n"
    "calls FsSetDefaultParams, FsInit (and FsInitW) and FsGetDefRootName as the file manager\n"
    "does, then runs one command. Like the file manager, it lists and copies through the\n"
    "wide functions (FsFindFirstW, FsFindNextW, FsGetFileW) whenever the plugin has them.\n"
    "Arguments are taken as Unicode; names print as UTF-8 (on a console, as Unicode text).\n"
    "\n"
    "Commands:\n"
    "  root                 print the plugin's root name\n"
    "  ls PATH              list a folder of the plugin as a panel shows it: size or <DIR>,\n"
    "                       date and time, attributes, name. PATH is the plugin's own path:\n"
    "                       \\ for the drives, \\C:\\photos for a folder\n"
    "  get REMOTE LOCAL [REMOTE LOCAL...]\n"
    "                       copy entries out (FsGetFile(W)): REMOTE such as\n"
    "                       \\C:\\photos\\IMG_0001-0003.JPG, LOCAL the full target file name\n"
    "  copy REMOTE... LOCAL-FOLDER\n"
    "                       copy a selection the way the file manager copies trees: every\n"
    "                       REMOTE folder and its sub-folders are listed first, the target\n"
    "                       folders made, then every file is fetched with FsGetFile(W)\n"
    "  open PATH [VERB]     press Enter on an entry (FsExecuteFile(W), VERB default open;\n"
    "                       also properties, on \\ the plugin's settings): prints the answer,\n"
    "                       FS_EXEC_OK, FS_EXEC_ERROR or FS_EXEC_YOURSELF (a folder)\n"
    "  preview PATH         ask for an entry's thumbnail (FsGetPreviewBitmap(W)) in a buffer of\n"
    "                       260 units: prints the answer and the path written back\n"
    "  fields PATH...       the plugin's columns (FsContentGetValue(W)) of each entry PATH, or\n"
    "                       of every entry of a folder PATH, as the panel shows them\n"
    "\n"
    "Options:\n"
    "  --ansi               use only the 8-bit functions, as a host without Unicode does\n"
    "  --ini PATH           INI file name passed to FsSetDefaultParams (default: plugins.ini\n"
    "                       beside the plugin; the plugin looks for tallyrun.ini in its folder)\n"
    "  --plugin-number N    plugin number passed to FsInit and FsInitW (default 1)\n"
    "  --verbose            print every progress report\n"
    "  --abort-at N         answer the progress reports of get and copy with 1 (Cancel) from\n"
    "                       N percent on; 0 cancels before anything is copied\n"
    "  --view               with fields: also print the plugin's default column view\n"
    "  --ctrl               hold Ctrl during get and copy (the plugin then writes list files)\n"
    "  --flags N            copy flags for get and copy: 1 overwrite, 2 resume, 4 move (default 0)\n"
    "  --answer LIST        answer overwrite prompts in turn, printing each prompt's text;\n"
    "                       LIST is comma-separated: overwrite, all, skip, cancel, older,\n"
    "                       skip-all (the six buttons), enter, escape (the keys' commands),\n"
    "                       close (the close box). Prompts beyond the list are left to a person\n"
    "  --screenshot FILE    with --answer: save a picture of the first prompt as a BMP file\n"
    "  --answer-boxes       press OK on the plugin's message boxes and print their text\n"
    "                       (without it, they wait for a person)\n"
    "  --background         get copies in the background, as a file manager does once the\n"
    "                       plugin's FsGetBackgroundFlags allows it: each REMOTE LOCAL pair on a\n"
    "                       worker thread of its own, all at once (refused when it does not)\n"
    "  --while PATH         with --background: meanwhile the main thread lists PATH and asks\n"
    "                       for its columns again and again, and tells how often and whether\n"
    "                       every listing was alike\n"
    "  --help               this text\n"
    "\n"
    "Result codes print by name; the exit status is the first non-zero result code\n"
    "(ls: 1 when the folder cannot be listed; open: 1 for FS_EXEC_ERROR; preview: 1 when\n"
    "no thumbnail comes back, 3 when the plugin wrote past the buffer; fields: 1 when an\n"
    "entry cannot be read), 0 when all went well, 64 for bad usage.\n";

using fs_init = int(WINAPI*)(int, void*, void*, void*);
using fs_find_first = HANDLE(WINAPI*)(char*, WIN32_FIND_DATAA*);
using fs_find_first_w = HANDLE(WINAPI*)(WCHAR*, WIN32_FIND_DATAW*);
using fs_find_next = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAA*);
using fs_find_next_w = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAW*);
using fs_find_close = int(WINAPI*)(HANDLE);
using fs_get_def_root_name = void(WINAPI*)(char*, int);
using fs_set_default_params = void(WINAPI*)(void*);
using fs_get_file = int(WINAPI*)(char*, char*, int, void*);
using fs_get_file_w = int(WINAPI*)(WCHAR*, WCHAR*, int, void*);
using fs_execute_file = int(WINAPI*)(HWND, char*, char*);
using fs_execute_file_w = int(WINAPI*)(HWND, WCHAR*, WCHAR*);
using fs_get_preview_bitmap = int(WINAPI*)(char*, int, int, HBITMAP*);
using fs_get_preview_bitmap_w = int(WINAPI*)(WCHAR*, int, int, HBITMAP*);
using fs_content_get_supported_field = int(WINAPI*)(int, char*, char*, int);
using fs_content_get_value = int(WINAPI*)(char*, int, int, void*, int, int);
using fs_content_get_value_w = int(WINAPI*)(WCHAR*, int, int, void*, int, int);
using fs_content_get_default_view = BOOL(WINAPI*)(char*, char*, char*, char*, int);
using fs_get_background_flags = int(WINAPI*)();

// The plugin's entry points; a wide one is null when the plugin lacks it or --ansi is given.
struct plugin_calls {
    fs_init init;
    fs_init init_w;
    fs_find_first find_first;
    fs_find_first_w find_first_w;
    fs_find_next find_next;
    fs_find_next_w find_next_w;
    fs_find_close find_close;
    fs_get_def_root_name get_def_root_name;
    fs_set_default_params set_default_params;
    fs_get_file get_file;
    fs_get_file_w get_file_w;
    // Optional: a command that needs one says so when it is missing.
    fs_execute_file execute_file;
    fs_execute_file_w execute_file_w;
    fs_get_preview_bitmap preview_bitmap;
    fs_get_preview_bitmap_w preview_bitmap_w;
    fs_content_get_supported_field supported_field;
    fs_content_get_value get_value;
    fs_content_get_value_w get_value_w;
    fs_content_get_default_view default_view;
    fs_get_background_flags background_flags;
};

// The host's default-parameter record.
struct default_params {
    int size;
    DWORD version_low;
    DWORD version_high;
    char ini_name[MAX_PATH];
};

struct options {
    bool ansi = false;
    std::wstring ini;
    int plugin_number = 1;
    bool verbose = false;
    int abort_at = -1;  // the first percent answered with 1; -1 for never
    bool view = false;
    bool ctrl = false;
    int flags = 0;
    std::vector<std::string> answers;
    bool answer_boxes = false;
    std::wstring screenshot;  // BMP file for a picture of the first prompt
    bool background = false;
    std::wstring browse_while;  // listed on the main thread while background copies run
};

options opt;
std::mutex print_lock;

// --- text --------------------------------------------------------------------------------------

std::wstring from_code_page(UINT code_page, const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string to_code_page(UINT code_page, const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

// UTF-8 of a name; a unit of no surrogate pair becomes U+FFFD.
std::string u8(const std::wstring& text) { return to_code_page(CP_UTF8, text); }
std::string u8_of_ansi(const char* text) { return u8(from_code_page(CP_ACP, text ? text : "")); }
// What an 8-bit host passes for a name: its ANSI text, '?' for a character the code page lacks.
std::string ansi(const std::wstring& text) { return to_code_page(CP_ACP, text); }

// Writes UTF-8 text to standard output or error: as Unicode text on a console,
// else as the bytes themselves (text mode makes each LF a CR LF).
void put(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(h, &mode)) {
        std::wstring w = from_code_page(CP_UTF8, text);
        WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
        return;
    }
    FILE* f = which == STD_ERROR_HANDLE ? stderr : stdout;
    std::fputs(text.c_str(), f);
    std::fflush(f);
}

void say(const char* format, const std::string& a = "", const std::string& b = "") {
    std::lock_guard<std::mutex> hold(print_lock);
    int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    std::vector<char> text(static_cast<size_t>(n) + 1);
    std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
    put(STD_OUTPUT_HANDLE, text.data());
}

// A path as Windows' own file functions take it: \\?\ before a long full path.
std::wstring system_path(const std::wstring& path) {
    bool full = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return full && path.size() >= 248 ? L"\\\\?\\" + path : path;
}

const char* result_name(int code) {
    static const char* const names[] = {"FS_FILE_OK",        "FS_FILE_EXISTS",
                                        "FS_FILE_NOTFOUND",  "FS_FILE_READERROR",
                                        "FS_FILE_WRITEERROR", "FS_FILE_USERABORT",
                                        "FS_FILE_NOTSUPPORTED"};
    return code >= 0 && code <= 6 ? names[code] : "unknown";
}

// The answer to one progress report: 1 (Cancel) from --abort-at on. The
// report prints with --verbose, and a cancelling one always.
int answer_progress(int number, const std::string& source, const std::string& target, int percent) {
    const int answer = opt.abort_at >= 0 && percent >= opt.abort_at ? 1 : 0;
    if (!opt.verbose && !answer) return answer;
    std::lock_guard<std::mutex> hold(print_lock);
    put(STD_OUTPUT_HANDLE, "progress " + std::to_string(percent) + "% (plugin " + std::to_string(number) +
                               "): " + source + " -> " + target + (answer ? " (answered 1: cancel)" : "") + "\n");
    return answer;
}

int WINAPI progress(int number, char* source, char* target, int percent) {
    return answer_progress(number, u8_of_ansi(source), u8_of_ansi(target), percent);
}
int WINAPI progress_w(int number, WCHAR* source, WCHAR* target, int percent) {
    return answer_progress(number, u8(source ? source : L""), u8(target ? target : L""), percent);
}
void WINAPI log_call(int, int, char*) {}
BOOL WINAPI request_call(int, int, char*, char*, char*, int) { return FALSE; }
void WINAPI log_call_w(int, int, WCHAR*) {}
BOOL WINAPI request_call_w(int, int, WCHAR*, WCHAR*, WCHAR*, int) { return FALSE; }

// --- answering the plugin's windows from a second thread -------------------------------------

std::atomic<bool> answering{false};
size_t next_answer = 0;

struct found_window {
    HWND window = nullptr;
};

BOOL CALLBACK own_tallyrun_window(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    WCHAR title[64] = L"";
    GetWindowTextW(window, title, 64);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wcscmp(title, L"Tallyrun") == 0) {
        reinterpret_cast<found_window*>(param)->window = window;
        return FALSE;
    }
    return TRUE;
}

// Read with the wide functions, so that a prompt about a Unicode name shows it.
BOOL CALLBACK static_text(HWND child, LPARAM param) {
    WCHAR cls[32] = L"";
    GetClassNameW(child, cls, 32);
    if (CompareStringOrdinal(cls, -1, L"Static", -1, TRUE) != CSTR_EQUAL) return TRUE;
    WCHAR text[2048] = L"";
    GetWindowTextW(child, text, 2048);
    if (text[0]) {
        *reinterpret_cast<std::string*>(param) = u8(text);
        return FALSE;
    }
    return TRUE;
}

std::string window_text(HWND window) {
    std::string text;
    EnumChildWindows(window, static_text, reinterpret_cast<LPARAM>(&text));
    return text;
}

// Saves what the window shows as a 24-bit BMP file; false when it cannot.
bool save_window_picture(HWND window, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // What the screen shows: Wine's PrintWindow leaves a dialog's controls out.
    SetForegroundWindow(window);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(stride) * h);
    bool ok = GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS) == h;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok) return false;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    return std::fclose(f) == 0;
}

// Sends one scripted answer to a prompt; false for an unknown word.
bool answer_prompt(HWND window, const std::string& word) {
    static const struct {
        const char* word;
        int button;
    } buttons[] = {{"overwrite", 3}, {"all", 4},   {"skip", 5},
                   {"cancel", 6},    {"older", 7}, {"skip-all", 8}};
    for (const auto& b : buttons)
        if (word == b.word) {
            PostMessageW(GetDlgItem(window, b.button), BM_CLICK, 0, 0);
            return true;
        }
    if (word == "enter") return PostMessageW(window, WM_COMMAND, IDOK, 0) != 0;
    if (word == "escape") return PostMessageW(window, WM_COMMAND, IDCANCEL, 0) != 0;
    if (word == "close") return PostMessageW(window, WM_CLOSE, 0, 0) != 0;
    return false;
}

void answer_windows() {
    while (answering) {
        found_window f;
        EnumWindows(own_tallyrun_window, reinterpret_cast<LPARAM>(&f));
        bool handled = false;
        if (f.window) {
            std::string text = window_text(f.window);
            bool is_prompt = GetDlgItem(f.window, 3) != nullptr;
            if (is_prompt && next_answer < opt.answers.size()) {
                const std::string& word = opt.answers[next_answer++];
                if (next_answer == 1 && !opt.screenshot.empty()) {
                    Sleep(300);  // let the dialog paint its buttons first
                    if (save_window_picture(f.window, opt.screenshot))
                        say("picture of the prompt saved in %s\n", u8(opt.screenshot));
                    else
                        say("could not save a picture of the prompt in %s\n", u8(opt.screenshot));
                }
                say("prompt (answer %s):\n%s\n", word, text);
                handled = answer_prompt(f.window, word);
            } else if (!is_prompt && opt.answer_boxes) {
                say("message box:\n%s\n", text);
                handled = PostMessageW(f.window, WM_COMMAND, IDOK, 0) != 0;
            }
        }
        if (handled) {
            for (int i = 0; i < 500 && IsWindow(f.window); ++i) Sleep(10);
        } else {
            Sleep(20);
        }
    }
}

struct answerer {
    answerer() {
        if (opt.answers.empty() && !opt.answer_boxes) return;
        answering = true;
        thread_ = std::thread(answer_windows);
    }
    ~answerer() {
        answering = false;
        if (thread_.joinable()) thread_.join();
    }
    std::thread thread_;
};

// --- the commands ----------------------------------------------------------------------------

void hold_ctrl(bool held) {
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE state = held ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = state;
    SetKeyboardState(keys);
}

// One entry of a listing, whichever side gave it.
struct entry {
    std::wstring name;
    DWORD attributes;
    FILETIME time;
    unsigned long long size;
};

template <typename Data>
entry entry_of(const Data& d, std::wstring name) {
    return {std::move(name), d.dwFileAttributes, d.ftLastWriteTime,
            (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow};
}

std::string attributes_text(DWORD a) {
    std::string s;
    s += (a & FILE_ATTRIBUTE_READONLY) ? 'r' : '-';
    s += (a & FILE_ATTRIBUTE_HIDDEN) ? 'h' : '-';
    s += (a & FILE_ATTRIBUTE_SYSTEM) ? 's' : '-';
    s += (a & FILE_ATTRIBUTE_DIRECTORY) ? 'd' : '-';
    s += (a & FILE_ATTRIBUTE_ARCHIVE) ? 'a' : '-';
    return s;
}

std::string time_text(const FILETIME& t) {
    if (t.dwLowDateTime == 0xFFFFFFFE && t.dwHighDateTime == 0xFFFFFFFF) return "(no time)          ";
    FILETIME local;
    SYSTEMTIME s;
    if (!FileTimeToLocalFileTime(&t, &local) || !FileTimeToSystemTime(&local, &s))
        return "(bad time)         ";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", s.wYear, s.wMonth, s.wDay,
                  s.wHour, s.wMinute, s.wSecond);
    return text;
}

void print_entry(const entry& e) {
    char size[32];
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY)
        std::snprintf(size, sizeof size, "%s", "<DIR>");
    else
        std::snprintf(size, sizeof size, "%llu", e.size);
    char head[96];
    std::snprintf(head, sizeof head, "%15s  %s  %s  ", size, time_text(e.time).c_str(),
                  attributes_text(e.attributes).c_str());
    std::lock_guard<std::mutex> hold(print_lock);
    put(STD_OUTPUT_HANDLE, head + u8(e.name) + "\n");
}

// A name in a fresh buffer of the host's size, with its zero unit.
template <typename C>
std::vector<C> buffer(const std::basic_string<C>& s, size_t size) {
    std::vector<C> b(s.begin(), s.end());
    b.resize(s.size() + 1 > size ? s.size() + 1 : size, 0);
    return b;
}

// Every entry of a plugin folder, "." and ".." included, through the wide
// functions when the plugin has them; false when it cannot be listed.
bool list(const plugin_calls& p, const std::wstring& path, std::vector<entry>& out, DWORD* error) {
    HANDLE h = INVALID_HANDLE_VALUE;
    if (p.find_first_w && p.find_next_w) {
        std::vector<WCHAR> b = buffer(path, 1024);
        WIN32_FIND_DATAW d;
        h = p.find_first_w(b.data(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do out.push_back(entry_of(d, d.cFileName));
            while (p.find_next_w(h, &d));
        }
    } else {
        std::vector<char> b = buffer(ansi(path), MAX_PATH);
        WIN32_FIND_DATAA d;
        h = p.find_first(b.data(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do out.push_back(entry_of(d, from_code_page(CP_ACP, d.cFileName)));
            while (p.find_next(h, &d));
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return false;
    }
    p.find_close(h);
    return true;
}

int command_ls(const plugin_calls& p, const std::wstring& path) {
    std::vector<entry> entries;
    DWORD error = 0;
    if (!list(p, path, entries, &error)) {
        if (error == ERROR_NO_MORE_FILES) {
            say("%s: empty folder\n", u8(path));
            return 0;
        }
        say("%s: cannot be listed (Windows error %s)\n", u8(path), std::to_string(error));
        return 1;
    }
    for (const entry& e : entries) print_entry(e);
    return 0;
}

int get_one(const plugin_calls& p, const std::wstring& remote, const std::wstring& local) {
    hold_ctrl(opt.ctrl);
    int result;
    if (p.get_file_w) {
        std::vector<WCHAR> r = buffer(remote, 1024), l = buffer(local, 1024);
        result = p.get_file_w(r.data(), l.data(), opt.flags, nullptr);
    } else {
        std::vector<char> r = buffer(ansi(remote), MAX_PATH), l = buffer(ansi(local), MAX_PATH);
        result = p.get_file(r.data(), l.data(), opt.flags, nullptr);
    }
    hold_ctrl(false);
    std::lock_guard<std::mutex> hold(print_lock);
    put(STD_OUTPUT_HANDLE, "get " + u8(remote) + " -> " + u8(local) + ": " + std::to_string(result) + " " +
                               result_name(result) + "\n");
    return result;
}

std::wstring parent_of(const std::wstring& path, std::wstring& name) {
    std::wstring p = path;
    while (p.size() > 1 && p.back() == L'\\') p.pop_back();
    size_t cut = p.rfind(L'\\');
    name = p.substr(cut + 1);
    return cut == 0 ? L"\\" : p.substr(0, cut);
}

struct copy_job {
    std::vector<std::wstring> folders;                           // local folders to make, in order
    std::vector<std::pair<std::wstring, std::wstring>> files;    // remote, local
};

bool is_dots(const std::wstring& name) { return name == L"." || name == L".."; }

bool same_name(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void collect_folder(const plugin_calls& p, const std::wstring& remote, const std::wstring& local,
                    copy_job& job) {
    job.folders.push_back(local);
    std::vector<entry> entries;
    list(p, remote, entries, nullptr);
    for (const entry& e : entries) {
        if (is_dots(e.name)) continue;
        std::wstring r = remote + L"\\" + e.name, l = local + L"\\" + e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY)
            collect_folder(p, r, l, job);
        else
            job.files.push_back({r, l});
    }
}

int command_copy(const plugin_calls& p, const std::vector<std::wstring>& sources,
                 const std::wstring& target) {
    copy_job job;
    std::wstring local_folder = target;
    while (local_folder.size() > 3 && local_folder.back() == L'\\') local_folder.pop_back();
    for (const std::wstring& source : sources) {
        std::wstring name;
        std::wstring parent = parent_of(source, name);
        std::vector<entry> entries;
        bool is_folder = false, found = false;
        if (list(p, parent, entries, nullptr))
            for (const entry& e : entries)
                if (same_name(e.name, name)) {
                    found = true;
                    is_folder = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                    break;
                }
        std::wstring remote = parent == L"\\" ? L"\\" + name : parent + L"\\" + name;
        if (!found) {
            say("%s: not in its folder's listing\n", u8(source));
            return 2;
        }
        if (is_folder)
            collect_folder(p, remote, local_folder + L"\\" + name, job);
        else
            job.files.push_back({remote, local_folder + L"\\" + name});
    }
    // The file manager makes a target folder that does not exist yet, then its sub-folders.
    CreateDirectoryW(system_path(local_folder).c_str(), nullptr);
    for (const std::wstring& folder : job.folders) CreateDirectoryW(system_path(folder).c_str(), nullptr);
    int first_failure = 0;
    for (const auto& f : job.files) {
        int result = get_one(p, f.first, f.second);
        if (result != 0 && first_failure == 0) first_failure = result;
        if (result == 5) break;  // the user aborted: the file manager stops the whole copy
    }
    return first_failure;
}

// True, after saying so, when the plugin lacks an entry point.
template <typename Fn>
bool missing(Fn entry_point, const char* name) {
    if (!entry_point) put(STD_ERROR_HANDLE, std::string("tallyrun-host: the plugin has no entry point ") + name + "\n");
    return !entry_point;
}

const char* exec_name(int code) {
    switch (code) {
        case 0: return "FS_EXEC_OK";
        case 1: return "FS_EXEC_ERROR";
        case -1: return "FS_EXEC_YOURSELF";
        case -2: return "FS_EXEC_SYMLINK";
        default: return "unknown";
    }
}

int command_open(const plugin_calls& p, const std::wstring& path, const std::wstring& verb) {
    if (missing(p.execute_file, "FsExecuteFile")) return 2;
    // As on the file manager's main thread: the shell may hand a verb to a COM extension.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result;
    std::wstring written;
    // The host's buffers: the plugin may write a new name into the path (FS_EXEC_SYMLINK).
    if (p.execute_file_w) {
        std::vector<WCHAR> r = buffer(path, 1024), v = buffer(verb, 1);
        result = p.execute_file_w(nullptr, r.data(), v.data());
        written = r.data();
    } else {
        std::vector<char> r = buffer(ansi(path), MAX_PATH), v = buffer(ansi(verb), 1);
        result = p.execute_file(nullptr, r.data(), v.data());
        written = from_code_page(CP_ACP, r.data());
    }
    std::string line = "open " + u8(path) + " (" + u8(verb) + "): " + std::to_string(result) + " " + exec_name(result);
    if (written != path) line += ", the name became " + u8(written);
    say("%s\n", line);
    return result == 1 ? 1 : 0;
}

std::string bitmap_answer_name(int code) {
    static const char* const kinds[] = {"FS_BITMAP_NONE", "FS_BITMAP_EXTRACTED", "FS_BITMAP_EXTRACT_YOURSELF",
                                        "FS_BITMAP_EXTRACT_YOURSELF_ANDDELETE"};
    std::string name = (code & 255) <= 3 ? kinds[code & 255] : "unknown";
    return (code & 256) ? name + "+FS_BITMAP_CACHE" : name;
}

// The host's RemoteName buffer for a thumbnail, followed by guard units that must stay as they are.
constexpr size_t preview_units = MAX_PATH, guard_units = 16;

template <typename C>
bool guard_intact(const std::vector<C>& b) {
    for (size_t i = preview_units; i < b.size(); ++i)
        if (b[i] != C(0x5A)) return false;
    return true;
}

int command_preview(const plugin_calls& p, const std::wstring& path) {
    if (missing(p.preview_bitmap, "FsGetPreviewBitmap")) return 2;
    HBITMAP bitmap = nullptr;
    int result;
    std::wstring written;
    bool intact;
    const int side = 96;  // the file manager's default thumbnail size
    if (p.preview_bitmap_w) {
        std::vector<WCHAR> b = buffer(path, preview_units);
        b.resize(preview_units + guard_units, 0x5A);
        result = p.preview_bitmap_w(b.data(), side, side, &bitmap);
        intact = guard_intact(b);
        written.assign(b.data(), wcsnlen(b.data(), preview_units));
    } else {
        std::vector<char> b = buffer(ansi(path), preview_units);
        b.resize(preview_units + guard_units, 0x5A);
        result = p.preview_bitmap(b.data(), side, side, &bitmap);
        intact = guard_intact(b);
        written = from_code_page(CP_ACP, std::string(b.data(), strnlen(b.data(), preview_units)));
    }
    std::string line = "preview " + u8(path) + ": " + std::to_string(result) + " " + bitmap_answer_name(result);
    if ((result & 255) >= 2) line += ", extract from " + u8(written);
    if ((result & 255) == 1) line += ", a bitmap";
    say("%s\n", line);
    if (bitmap) DeleteObject(bitmap);
    if (!intact) {
        say("the plugin wrote past the %s units of the name's buffer\n", std::to_string(preview_units));
        return 3;
    }
    return (result & 255) == 0 ? 1 : 0;
}

struct field {
    std::string name;
    int type;
};

std::vector<field> fields_of(const plugin_calls& p) {
    std::vector<field> out;
    for (int i = 0;; ++i) {
        char name[256] = "", units[256] = "";
        int type = p.supported_field(i, name, units, sizeof name);
        if (type == 0) break;  // ft_nomorefields
        out.push_back({name, type});
    }
    return out;
}

// One field's value as a column shows it: empty for ft_fieldempty, a word in
// parentheses for the other failures.
std::string field_text(const plugin_calls& p, const std::wstring& path, int index, bool& failed) {
    alignas(8) char value[2048] = "";
    int type;
    if (p.get_value_w) {
        std::vector<WCHAR> b = buffer(path, 1024);
        type = p.get_value_w(b.data(), index, 0, value, sizeof value, 0);
    } else {
        std::vector<char> b = buffer(ansi(path), MAX_PATH);
        type = p.get_value(b.data(), index, 0, value, sizeof value, 0);
    }
    value[sizeof value - 2] = value[sizeof value - 1] = 0;  // a string cut without its zero ends here
    int32_t n32 = 0;
    long long n64 = 0;
    switch (type) {
        case 1: std::memcpy(&n32, value, 4); return std::to_string(n32);  // ft_numeric_32
        case 2: std::memcpy(&n64, value, 8); return std::to_string(n64);  // ft_numeric_64
        case 6: return value[0] ? "yes" : "no";                            // ft_boolean
        case 7:                                                            // ft_multiplechoice
        case 8: return u8_of_ansi(value);                                  // ft_string
        case 11: return u8(reinterpret_cast<WCHAR*>(value));               // ft_stringw
        case -3: return "";                                                // ft_fieldempty
        case -2: failed = true; return "(error)";                          // ft_fileerror
        case -1: return "(no such field)";                                 // ft_nosuchfield
        case 0: return "(delayed)";                                        // ft_delayed
        default: return "(type " + std::to_string(type) + ")";
    }
}

// Cuts text at every two-character "\n", the separator of the default view's lists.
std::vector<std::string> view_parts(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t cut; (cut = text.find("\\n", start)) != std::string::npos; start = cut + 2)
        parts.push_back(text.substr(start, cut - start));
    parts.push_back(text.substr(start));
    return parts;
}

void print_default_view(const plugin_calls& p, const std::vector<field>& fields) {
    std::string names;
    for (const field& f : fields) names += (names.empty() ? "" : ", ") + f.name;
    say("fields: %s\n", names);
    if (missing(p.default_view, "FsContentGetDefaultView")) return;
    char contents[1024] = "", headers[1024] = "", widths[1024] = "", options[1024] = "";
    if (!p.default_view(contents, headers, widths, options, sizeof contents)) {
        say("default view: none\n");
        return;
    }
    const std::vector<std::string> c = view_parts(contents), h = view_parts(headers);
    say("default view (FsContentGetDefaultView): Name, then\n");
    for (size_t i = 0; i < c.size(); ++i) say("  %-10s %s\n", i < h.size() ? h[i] : "?", c[i]);
    say("  widths %s, options %s\n", widths, options);
}

// Prints the columns of the entries as a table, the name last.
void print_fields(const plugin_calls& p, const std::vector<field>& fields,
                  const std::vector<std::pair<std::wstring, std::wstring>>& entries, bool& failed) {
    std::vector<std::vector<std::string>> rows(1);
    for (const field& f : fields) rows[0].push_back(f.name);
    rows[0].push_back("Name");
    for (const auto& e : entries) {
        rows.emplace_back();
        for (size_t i = 0; i < fields.size(); ++i)
            rows.back().push_back(field_text(p, e.first, static_cast<int>(i), failed));
        rows.back().push_back(u8(e.second));
    }
    std::vector<size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], from_code_page(CP_UTF8, row[i]).size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            std::string pad(width[i] - from_code_page(CP_UTF8, row[i]).size(), ' ');
            // Numbers stand right, as the panel aligns them.
            bool number = i < fields.size() && fields[i].type <= 3;
            line += i + 1 == row.size() ? row[i] : (number ? pad + row[i] : row[i] + pad) + "  ";
        }
        say("%s\n", line);
    }
}

// The copies of get on worker threads at once, while the main thread lists
// opt.browse_while and asks for its columns until they end; the first
// non-zero result, as get answers.
int command_background_get(const plugin_calls& p, const std::vector<std::wstring>& pairs) {
    if (missing(p.background_flags, "FsGetBackgroundFlags")) return 2;
    if (!(p.background_flags() & 1)) {
        say("FsGetBackgroundFlags has no BG_DOWNLOAD: the plugin copies only in the foreground\n");
        return 2;
    }
    std::vector<int> results(pairs.size() / 2, 0);
    std::atomic<size_t> running{results.size()};
    std::vector<std::thread> copies;
    for (size_t k = 0; k < results.size(); ++k)
        copies.emplace_back([&, k] {
            results[k] = get_one(p, pairs[2 * k], pairs[2 * k + 1]);
            --running;
        });
    size_t listings = 0, differing = 0;
    std::vector<entry> first;
    while (!opt.browse_while.empty() && running > 0) {
        std::vector<entry> now;
        list(p, opt.browse_while, now, nullptr);
        if (listings++ == 0) first = now;
        bool alike = now.size() == first.size();
        for (size_t i = 0; alike && i < now.size(); ++i) alike = now[i].name == first[i].name && now[i].size == first[i].size;
        if (!alike) ++differing;
        std::vector<std::pair<std::wstring, std::wstring>> entries;
        for (const entry& e : now)
            if (!is_dots(e.name)) entries.push_back({opt.browse_while + L"\\" + e.name, e.name});
        if (p.get_value || p.get_value_w)
            for (const auto& e : entries) {
                int members = 0;
                if (p.get_value_w) {
                    std::vector<WCHAR> b = buffer(e.first, 1024);
                    p.get_value_w(b.data(), 0, 0, &members, sizeof members, 0);
                } else {
                    std::vector<char> b = buffer(ansi(e.first), MAX_PATH);
                    p.get_value(b.data(), 0, 0, &members, sizeof members, 0);
                }
            }
    }
    for (std::thread& t : copies) t.join();
    if (!opt.browse_while.empty())
        say("while copying: %s listed %s\n", u8(opt.browse_while),
            std::to_string(listings) + " times, " +
                (differing ? std::to_string(differing) + " listings NOT alike" : std::string("every listing alike")));
    for (int r : results)
        if (r) return r;
    return 0;
}

int command_fields(const plugin_calls& p, const std::vector<std::wstring>& paths) {
    if (missing(p.supported_field, "FsContentGetSupportedField") || missing(p.get_value, "FsContentGetValue"))
        return 2;
    const std::vector<field> fields = fields_of(p);
    if (opt.view) print_default_view(p, fields);
    bool failed = false;
    for (std::wstring path : paths) {
        while (path.size() > 1 && path.back() == L'\\') path.pop_back();
        std::vector<entry> listed;
        std::vector<std::pair<std::wstring, std::wstring>> entries;  // plugin path, name shown
        if (list(p, path, listed, nullptr)) {
            if (paths.size() > 1) say("%s:\n", u8(path));
            for (const entry& e : listed)
                if (!is_dots(e.name)) entries.push_back({(path == L"\\" ? path : path + L"\\") + e.name, e.name});
        } else {
            entries.push_back({path, path});
        }
        print_fields(p, fields, entries, failed);
    }
    return failed ? 1 : 0;
}

template <typename Fn>
void find_entry(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An optional entry point and, unless --ansi, its wide form (the name and W).
template <typename Fn, typename FnW>
void find_both(HMODULE module, const std::string& name, Fn& slot, FnW& wide_slot) {
    find_entry(module, name.c_str(), slot);
    if (!opt.ansi) find_entry(module, (name + "W").c_str(), wide_slot);
}

template <typename Fn>
bool find_needed_entry(HMODULE module, const char* name, Fn& slot) {
    find_entry(module, name, slot);
    return !missing(slot, name);
}

// The end-to-end tests' stand-in for a program the shell starts: registered
// as a file type's handler, "--record LOG ARGS..." appends ARGS, joined by
// spaces, as one UTF-8 line to the file LOG, and loads no plugin.
int record_launch(const std::wstring& log, const std::vector<std::wstring>& args) {
    std::string line;
    for (const std::wstring& a : args) line += (line.empty() ? "" : " ") + u8(a);
    line += "\n";
    HANDLE h = INVALID_HANDLE_VALUE;
    // A test reading the log may hold it without sharing it for writing; it lets go soon.
    for (int i = 0; i < 200 && h == INVALID_HANDLE_VALUE; ++i) {
        h = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) return 2;
        if (h == INVALID_HANDLE_VALUE) Sleep(10);
    }
    if (h == INVALID_HANDLE_VALUE) return 2;
    DWORD done = 0;
    bool written = WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &done, nullptr) && done == line.size();
    CloseHandle(h);
    return written ? 0 : 2;
}

int bad_usage(const std::string& why) {
    put(STD_ERROR_HANDLE, "tallyrun-host: " + why + "\n\n" + usage);
    return 64;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return bad_usage("the command line cannot be read");
    if (argc >= 3 && std::wstring(argv[1]) == L"--record")
        return record_launch(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
    std::vector<std::wstring> args;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == L"--help" || a == L"-h") {
            put(STD_OUTPUT_HANDLE, usage);
            return 0;
        } else if (a == L"--ansi") {
            opt.ansi = true;
        } else if (a == L"--ini" && has_value) {
            opt.ini = argv[++i];
        } else if (a == L"--plugin-number" && has_value) {
            opt.plugin_number = _wtoi(argv[++i]);
        } else if (a == L"--verbose") {
            opt.verbose = true;
        } else if (a == L"--abort-at" && has_value) {
            opt.abort_at = _wtoi(argv[++i]);
        } else if (a == L"--view") {
            opt.view = true;
        } else if (a == L"--ctrl") {
            opt.ctrl = true;
        } else if (a == L"--flags" && has_value) {
            opt.flags = _wtoi(argv[++i]);
        } else if (a == L"--answer" && has_value) {
            std::string list = u8(argv[++i]);
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                std::string word = list.substr(start, comma - start);
                static const char* const known[] = {"overwrite", "all",    "skip",  "cancel",
                                                    "older",     "skip-all", "enter", "escape",
                                                    "close"};
                bool ok = false;
                for (const char* k : known) ok = ok || word == k;
                if (!ok) return bad_usage("unknown answer '" + word + "'");
                opt.answers.push_back(word);
                start = comma + 1;
            }
        } else if (a == L"--screenshot" && has_value) {
            opt.screenshot = argv[++i];
        } else if (a == L"--answer-boxes") {
            opt.answer_boxes = true;
        } else if (a == L"--background") {
            opt.background = true;
        } else if (a == L"--while" && has_value) {
            opt.browse_while = argv[++i];
        } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
            return bad_usage("unknown option " + u8(a));
        } else {
            args.push_back(a);
        }
    }
    LocalFree(argv);
    if (args.size() < 2) return bad_usage("a plugin file and a command are needed");

    std::vector<WCHAR> full(32768);
    if (!GetFullPathNameW(args[0].c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr))
        return bad_usage("bad plugin path");
    answerer answers;  // message boxes can come as early as the first listing
    HMODULE module = LoadLibraryW(full.data());
    if (!module) {
        put(STD_ERROR_HANDLE, "tallyrun-host: cannot load " + u8(full.data()) + " (Windows error " +
                                  std::to_string(GetLastError()) + ")\n");
        return 2;
    }
    plugin_calls p{};
    bool all = find_needed_entry(module, "FsInit", p.init) &
               find_needed_entry(module, "FsFindFirst", p.find_first) &
               find_needed_entry(module, "FsFindNext", p.find_next) &
               find_needed_entry(module, "FsFindClose", p.find_close) &
               find_needed_entry(module, "FsGetDefRootName", p.get_def_root_name) &
               find_needed_entry(module, "FsSetDefaultParams", p.set_default_params) &
               find_needed_entry(module, "FsGetFile", p.get_file);
    if (!all) return 2;
    if (!opt.ansi) {
        find_entry(module, "FsInitW", p.init_w);
        find_entry(module, "FsFindFirstW", p.find_first_w);
        find_entry(module, "FsFindNextW", p.find_next_w);
        find_entry(module, "FsGetFileW", p.get_file_w);
    }
    find_both(module, "FsExecuteFile", p.execute_file, p.execute_file_w);
    find_both(module, "FsGetPreviewBitmap", p.preview_bitmap, p.preview_bitmap_w);
    find_both(module, "FsContentGetValue", p.get_value, p.get_value_w);
    find_entry(module, "FsContentGetSupportedField", p.supported_field);
    find_entry(module, "FsContentGetDefaultView", p.default_view);
    find_entry(module, "FsGetBackgroundFlags", p.background_flags);

    default_params params{};
    params.size = sizeof params;
    params.version_low = 0;
    params.version_high = 2;
    std::wstring ini = opt.ini;
    if (ini.empty()) {
        ini = full.data();
        ini = ini.substr(0, ini.rfind(L'\\') + 1) + L"plugins.ini";
    }
    // The record holds an ANSI name, as the file manager passes it.
    std::snprintf(params.ini_name, sizeof params.ini_name, "%s", ansi(ini).c_str());
    p.set_default_params(&params);
    // The file manager calls both: the 8-bit form for older plugins, the wide one beside it.
    p.init(opt.plugin_number, reinterpret_cast<void*>(progress), reinterpret_cast<void*>(log_call),
           reinterpret_cast<void*>(request_call));
    if (p.init_w)
        p.init_w(opt.plugin_number, reinterpret_cast<void*>(progress_w), reinterpret_cast<void*>(log_call_w),
                 reinterpret_cast<void*>(request_call_w));
    char root[MAX_PATH] = "";
    p.get_def_root_name(root, sizeof root);

    const std::wstring& command = args[1];
    if (command == L"root" && args.size() == 2) {
        say("%s\n", u8_of_ansi(root));
        return 0;
    }
    if (command == L"ls" && args.size() == 3) return command_ls(p, args[2]);
    if (command == L"get" && args.size() >= 4 && args.size() % 2 == 0 && opt.background)
        return command_background_get(p, std::vector<std::wstring>(args.begin() + 2, args.end()));
    if (command == L"get" && args.size() == 4) return get_one(p, args[2], args[3]);
    if (command == L"copy" && args.size() >= 4)
        return command_copy(p, std::vector<std::wstring>(args.begin() + 2, args.end() - 1), args.back());
    if (command == L"open" && (args.size() == 3 || args.size() == 4))
        return command_open(p, args[2], args.size() == 4 ? args[3] : L"open");
    if (command == L"preview" && args.size() == 3) return command_preview(p, args[2]);
    if (command == L"fields" && args.size() >= 3)
        return command_fields(p, std::vector<std::wstring>(args.begin() + 2, args.end()));
    return bad_usage("bad command: " + u8(command));
}
