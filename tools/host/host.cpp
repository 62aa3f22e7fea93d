// The host harness: a console program that loads a plugin and drives it as the file manager does.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char usage[] =
    "usage: tallyrun-host [options] PLUGIN COMMAND [ARGS...]\n"
    "\n"
    "Loads the plugin file PLUGIN (tallyrun.wfx or tallyrun.wfx64), finds its seven entry\n"
    "points, calls FsSetDefaultParams, FsInit and FsGetDefRootName as the file manager\n"
    "does, then runs one command.\n"
    "\n"
    "Commands:\n"
    "  root                 print the plugin's root name\n"
    "  ls PATH              list a folder of the plugin as a panel shows it: size or <DIR>,\n"
    "                       date and time, attributes, name. PATH is the plugin's own path:\n"
    "                       \\ for the drives, \\C:\\photos for a folder\n"
    "  get REMOTE LOCAL     copy one entry out (FsGetFile): REMOTE such as\n"
    "                       \\C:\\photos\\IMG_0001-0003.JPG, LOCAL the full target file name\n"
    "  copy REMOTE... LOCAL-FOLDER\n"
    "                       copy a selection the way the file manager copies trees: every\n"
    "                       REMOTE folder and its sub-folders are listed first, the target\n"
    "                       folders made, then every file is fetched with FsGetFile\n"
    "\n"
    "Options:\n"
    "  --ini PATH           INI file name passed to FsSetDefaultParams (default: plugins.ini\n"
    "                       beside the plugin; the plugin looks for tallyrun.ini in its folder)\n"
    "  --plugin-number N    plugin number passed to FsInit (default 1)\n"
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
using fs_find_next = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAA*);
using fs_find_close = int(WINAPI*)(HANDLE);
using fs_get_def_root_name = void(WINAPI*)(char*, int);
using fs_set_default_params = void(WINAPI*)(void*);
using fs_get_file = int(WINAPI*)(char*, char*, int, void*);

struct plugin_calls {
    fs_init init;
    fs_find_first find_first;
    fs_find_next find_next;
    fs_find_close find_close;
    fs_get_def_root_name get_def_root_name;
    fs_set_default_params set_default_params;
    fs_get_file get_file;
};

// The host's default-parameter record.
struct default_params {
    int size;
    DWORD version_low;
    DWORD version_high;
    char ini_name[MAX_PATH];
};

struct options {
    std::string ini;
    int plugin_number = 1;
    bool verbose = false;
    bool ctrl = false;
    int flags = 0;
    std::vector<std::string> answers;
    bool answer_boxes = false;
    std::string screenshot;  // BMP file for a picture of the first prompt
};

options opt;
std::mutex print_lock;

void say(const char* format, const std::string& a = "", const std::string& b = "") {
    std::lock_guard<std::mutex> hold(print_lock);
    std::printf(format, a.c_str(), b.c_str());
    std::fflush(stdout);
}

const char* result_name(int code) {
    static const char* const names[] = {"FS_FILE_OK",        "FS_FILE_EXISTS",
                                        "FS_FILE_NOTFOUND",  "FS_FILE_READERROR",
                                        "FS_FILE_WRITEERROR", "FS_FILE_USERABORT",
                                        "FS_FILE_NOTSUPPORTED"};
    return code >= 0 && code <= 6 ? names[code] : "unknown";
}

int WINAPI progress(int number, char* source, char* target, int percent) {
    if (opt.verbose) {
        std::lock_guard<std::mutex> hold(print_lock);
        std::printf("progress %d%% (plugin %d): %s -> %s\n", percent, number, source ? source : "",
                    target ? target : "");
        std::fflush(stdout);
    }
    return 0;
}
void WINAPI log_call(int, int, char*) {}
BOOL WINAPI request_call(int, int, char*, char*, char*, int) { return FALSE; }

// --- answering the plugin's windows from a second thread -------------------------------------

std::atomic<bool> answering{false};
size_t next_answer = 0;

struct found_window {
    HWND window = nullptr;
};

BOOL CALLBACK own_tallyrun_window(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::strcmp(title, "Tallyrun") == 0) {
        reinterpret_cast<found_window*>(param)->window = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK static_text(HWND child, LPARAM param) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") != 0) return TRUE;
    char text[2048] = "";
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) {
        *reinterpret_cast<std::string*>(param) = text;
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
bool save_window_picture(HWND window, const std::string& path) {
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
    FILE* f = std::fopen(path.c_str(), "wb");
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
            PostMessageA(GetDlgItem(window, b.button), BM_CLICK, 0, 0);
            return true;
        }
    if (word == "enter") return PostMessageA(window, WM_COMMAND, IDOK, 0) != 0;
    if (word == "escape") return PostMessageA(window, WM_COMMAND, IDCANCEL, 0) != 0;
    if (word == "close") return PostMessageA(window, WM_CLOSE, 0, 0) != 0;
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
                        say("picture of the prompt saved in %s\n", opt.screenshot);
                    else
                        say("could not save a picture of the prompt in %s\n", opt.screenshot);
                }
                say("prompt (answer %s):\n%s\n", word, text);
                handled = answer_prompt(f.window, word);
            } else if (!is_prompt && opt.answer_boxes) {
                say("message box:\n%s\n", text);
                handled = PostMessageA(f.window, WM_COMMAND, IDOK, 0) != 0;
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

void print_entry(const WIN32_FIND_DATAA& d) {
    char size[32];
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        std::snprintf(size, sizeof size, "%s", "<DIR>");
    } else {
        unsigned long long n = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
        std::snprintf(size, sizeof size, "%llu", n);
    }
    std::lock_guard<std::mutex> hold(print_lock);
    std::printf("%15s  %s  %s  %s\n", size, time_text(d.ftLastWriteTime).c_str(),
                attributes_text(d.dwFileAttributes).c_str(), d.cFileName);
}

// Every entry of a plugin folder, "." and ".." included; false when it cannot be listed.
bool list(const plugin_calls& p, const std::string& path, std::vector<WIN32_FIND_DATAA>& out,
          DWORD* error) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back(0);
    WIN32_FIND_DATAA d;
    HANDLE h = p.find_first(buffer.data(), &d);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return false;
    }
    do out.push_back(d);
    while (p.find_next(h, &d));
    p.find_close(h);
    return true;
}

int command_ls(const plugin_calls& p, const std::string& path) {
    std::vector<WIN32_FIND_DATAA> entries;
    DWORD error = 0;
    if (!list(p, path, entries, &error)) {
        if (error == ERROR_NO_MORE_FILES) {
            say("%s: empty folder\n", path);
            return 0;
        }
        std::printf("%s: cannot be listed (Windows error %lu)\n", path.c_str(), error);
        return 1;
    }
    for (const WIN32_FIND_DATAA& d : entries) print_entry(d);
    return 0;
}

int get_one(const plugin_calls& p, const std::string& remote, const std::string& local) {
    std::vector<char> r(remote.begin(), remote.end()), l(local.begin(), local.end());
    r.push_back(0);
    l.push_back(0);
    hold_ctrl(opt.ctrl);
    int result = p.get_file(r.data(), l.data(), opt.flags, nullptr);
    hold_ctrl(false);
    std::lock_guard<std::mutex> hold(print_lock);
    std::printf("get %s -> %s: %d %s\n", remote.c_str(), local.c_str(), result, result_name(result));
    std::fflush(stdout);
    return result;
}

std::string parent_of(const std::string& path, std::string& name) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '\\') p.pop_back();
    size_t cut = p.rfind('\\');
    name = p.substr(cut + 1);
    return cut == 0 ? "\\" : p.substr(0, cut);
}

struct copy_job {
    std::vector<std::string> folders;                          // local folders to make, in order
    std::vector<std::pair<std::string, std::string>> files;    // remote, local
};

bool is_dots(const char* name) { return !std::strcmp(name, ".") || !std::strcmp(name, ".."); }

void collect_folder(const plugin_calls& p, const std::string& remote, const std::string& local,
                    copy_job& job) {
    job.folders.push_back(local);
    std::vector<WIN32_FIND_DATAA> entries;
    list(p, remote, entries, nullptr);
    for (const WIN32_FIND_DATAA& d : entries) {
        if (is_dots(d.cFileName)) continue;
        std::string r = remote + "\\" + d.cFileName, l = local + "\\" + d.cFileName;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            collect_folder(p, r, l, job);
        else
            job.files.push_back({r, l});
    }
}

int command_copy(const plugin_calls& p, const std::vector<std::string>& sources,
                 const std::string& target) {
    copy_job job;
    std::string local_folder = target;
    while (local_folder.size() > 3 && local_folder.back() == '\\') local_folder.pop_back();
    for (const std::string& source : sources) {
        std::string name;
        std::string parent = parent_of(source, name);
        std::vector<WIN32_FIND_DATAA> entries;
        bool is_folder = false, found = false;
        if (list(p, parent, entries, nullptr))
            for (const WIN32_FIND_DATAA& d : entries)
                if (!_stricmp(d.cFileName, name.c_str())) {
                    found = true;
                    is_folder = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                    break;
                }
        std::string remote = parent == "\\" ? "\\" + name : parent + "\\" + name;
        if (!found) {
            say("%s: not in its folder's listing\n", source);
            return 2;
        }
        if (is_folder)
            collect_folder(p, remote, local_folder + "\\" + name, job);
        else
            job.files.push_back({remote, local_folder + "\\" + name});
    }
    // The file manager makes a target folder that does not exist yet, then its sub-folders.
    CreateDirectoryA(local_folder.c_str(), nullptr);
    for (const std::string& folder : job.folders) CreateDirectoryA(folder.c_str(), nullptr);
    int first_failure = 0;
    for (const auto& f : job.files) {
        int result = get_one(p, f.first, f.second);
        if (result != 0 && first_failure == 0) first_failure = result;
        if (result == 5) break;  // the user aborted: the file manager stops the whole copy
    }
    return first_failure;
}

template <typename Fn>
bool find_entry(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!slot) std::fprintf(stderr, "tallyrun-host: the plugin has no entry point %s\n", name);
    return slot != nullptr;
}

int bad_usage(const char* why) {
    std::fprintf(stderr, "tallyrun-host: %s\n\n%s", why, usage);
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == "--ini" && has_value) {
            opt.ini = argv[++i];
        } else if (a == "--plugin-number" && has_value) {
            opt.plugin_number = std::atoi(argv[++i]);
        } else if (a == "--verbose") {
            opt.verbose = true;
        } else if (a == "--ctrl") {
            opt.ctrl = true;
        } else if (a == "--flags" && has_value) {
            opt.flags = std::atoi(argv[++i]);
        } else if (a == "--answer" && has_value) {
            std::string list = argv[++i];
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
                if (!ok) return bad_usage(("unknown answer '" + word + "'").c_str());
                opt.answers.push_back(word);
                start = comma + 1;
            }
        } else if (a == "--screenshot" && has_value) {
            opt.screenshot = argv[++i];
        } else if (a == "--answer-boxes") {
            opt.answer_boxes = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return bad_usage(("unknown option " + a).c_str());
        } else {
            args.push_back(a);
        }
    }
    if (args.size() < 2) return bad_usage("a plugin file and a command are needed");

    char full[MAX_PATH];
    if (!GetFullPathNameA(args[0].c_str(), MAX_PATH, full, nullptr)) return bad_usage("bad plugin path");
    answerer answers;  // message boxes can come as early as the first listing
    HMODULE module = LoadLibraryA(full);
    if (!module) {
        std::fprintf(stderr, "tallyrun-host: cannot load %s (Windows error %lu)\n", full,
                     GetLastError());
        return 2;
    }
    plugin_calls p{};
    bool all = find_entry(module, "FsInit", p.init) & find_entry(module, "FsFindFirst", p.find_first) &
               find_entry(module, "FsFindNext", p.find_next) &
               find_entry(module, "FsFindClose", p.find_close) &
               find_entry(module, "FsGetDefRootName", p.get_def_root_name) &
               find_entry(module, "FsSetDefaultParams", p.set_default_params) &
               find_entry(module, "FsGetFile", p.get_file);
    if (!all) return 2;

    default_params params{};
    params.size = sizeof params;
    params.version_low = 0;
    params.version_high = 2;
    std::string ini = opt.ini;
    if (ini.empty()) {
        ini = full;
        ini = ini.substr(0, ini.rfind('\\') + 1) + "plugins.ini";
    }
    std::snprintf(params.ini_name, sizeof params.ini_name, "%s", ini.c_str());
    p.set_default_params(&params);
    p.init(opt.plugin_number, reinterpret_cast<void*>(progress), reinterpret_cast<void*>(log_call),
           reinterpret_cast<void*>(request_call));
    char root[MAX_PATH] = "";
    p.get_def_root_name(root, sizeof root);

    const std::string& command = args[1];
    if (command == "root" && args.size() == 2) {
        std::printf("%s\n", root);
        return 0;
    }
    if (command == "ls" && args.size() == 3) return command_ls(p, args[2]);
    if (command == "get" && args.size() == 4) return get_one(p, args[2], args[3]);
    if (command == "copy" && args.size() >= 4)
        return command_copy(p, std::vector<std::string>(args.begin() + 2, args.end() - 1),
                            args.back());
    return bad_usage(("bad command: " + command).c_str());
}
