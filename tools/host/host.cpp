// The host harness: a console program that loads a plugin and drives it as the file manager does.
#include <windows.h>
#include <shellapi.h>

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
    "  get REMOTE LOCAL     copy one entry out (FsGetFile(W)): REMOTE such as\n"
    "                       \\C:\\photos\\IMG_0001-0003.JPG, LOCAL the full target file name\n"
    "  copy REMOTE... LOCAL-FOLDER\n"
    "                       copy a selection the way the file manager copies trees: every\n"
    "                       REMOTE folder and its sub-folders are listed first, the target\n"
    "                       folders made, then every file is fetched with FsGetFile(W)\n"
    "\n"
    "Options:\n"
    "  --ansi               use only the 8-bit functions, as a host without Unicode does\n"
    "  --ini PATH           INI file name passed to FsSetDefaultParams (default: plugins.ini\n"
    "                       beside the plugin; the plugin looks for tallyrun.ini in its folder)\n"
    "  --plugin-number N    plugin number passed to FsInit and FsInitW (default 1)\n"
    "  --verbose            print every progress report\n"
    "  --ctrl               hold Ctrl during get and copy (the plugin then writes list files)\n"
    "  --flags N            copy flags for get and copy: 1 overwrite, 2 resume, 4 move (default 0)\n"
    "  --answer LIST        answer overwrite prompts in turn, printing each prompt's text;\n"
    "                       LIST is comma-separated: overwrite, all, skip, cancel, older,\n"
    "                       skip-all (the six buttons), enter, escape (the keys' commands),\n"
    "                       close (the close box). Prompts beyond the list are left to a person\n"
    "  --screenshot FILE    with --answer: save a picture of the first prompt as a BMP file\n"
    "  --answer-boxes       press OK on the plugin's message boxes and print their text\n"
    "                       (without it, they wait for a person)\n"
    "  --help               this text\n"
    "\n"
    "Result codes print by name; the exit status is the first non-zero result code\n"
    "(ls: 1 when the folder cannot be listed), 0 when all went well, 64 for bad usage.\n";

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
    bool ctrl = false;
    int flags = 0;
    std::vector<std::string> answers;
    bool answer_boxes = false;
    std::wstring screenshot;  // BMP file for a picture of the first prompt
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

void print_progress(int number, const std::string& source, const std::string& target, int percent) {
    if (!opt.verbose) return;
    std::lock_guard<std::mutex> hold(print_lock);
    put(STD_OUTPUT_HANDLE, "progress " + std::to_string(percent) + "% (plugin " + std::to_string(number) +
                               "): " + source + " -> " + target + "\n");
}

int WINAPI progress(int number, char* source, char* target, int percent) {
    print_progress(number, u8_of_ansi(source), u8_of_ansi(target), percent);
    return 0;
}
int WINAPI progress_w(int number, WCHAR* source, WCHAR* target, int percent) {
    print_progress(number, u8(source ? source : L""), u8(target ? target : L""), percent);
    return 0;
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

template <typename Fn>
void find_entry(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Fn>
bool find_needed_entry(HMODULE module, const char* name, Fn& slot) {
    find_entry(module, name, slot);
    if (!slot) put(STD_ERROR_HANDLE, std::string("tallyrun-host: the plugin has no entry point ") + name + "\n");
    return slot != nullptr;
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
    if (command == L"get" && args.size() == 4) return get_one(p, args[2], args[3]);
    if (command == L"copy" && args.size() >= 4)
        return command_copy(p, std::vector<std::wstring>(args.begin() + 2, args.end() - 1), args.back());
    return bad_usage("bad command: " + u8(command));
}
