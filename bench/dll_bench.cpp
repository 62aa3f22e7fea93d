// Times the real plugin against bare Windows calls in one process: folder listings on both sides, and copies.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/paired.h"

namespace {

using find_first_a = HANDLE(WINAPI*)(char*, WIN32_FIND_DATAA*);
using find_next_a = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAA*);
using find_first_w = HANDLE(WINAPI*)(WCHAR*, WIN32_FIND_DATAW*);
using find_next_w = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAW*);
using find_close_fn = int(WINAPI*)(HANDLE);
using init_w = int(WINAPI*)(int, void*, void*, void*);
using get_file_w = int(WINAPI*)(WCHAR*, WCHAR*, int, void*);

struct plugin_calls {
    find_first_a first_a;
    find_next_a next_a;
    find_first_w first_w;
    find_next_w next_w;
    find_close_fn close;
    init_w init;
    get_file_w get_w;
} fs;

template <typename T>
T entry(HMODULE module, const char* name) {
    // GetProcAddress's generic pointer goes through void* to the entry point's real type.
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int WINAPI quiet_progress(int, WCHAR*, WCHAR*, int) { return 0; }

double seconds_now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

std::wstring wide(const std::string& s) {
    std::wstring w(s.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size()));
    w.resize(static_cast<size_t>(n > 0 ? n : 0));
    return w;
}

long bare_read_a(const std::string& folder) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (FindNextFileA(h, &d)) ++n;
    FindClose(h);
    return n;
}

long bare_read_w(const std::string& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((wide(folder) + L"\\*.*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (FindNextFileW(h, &d)) ++n;
    FindClose(h);
    return n;
}

long plugin_read_a(const std::string& folder) {
    WIN32_FIND_DATAA d;
    std::string path = "\\" + folder;
    HANDLE h = fs.first_a(&path[0], &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (fs.next_a(h, &d)) ++n;
    fs.close(h);
    return n;
}

long plugin_read_w(const std::string& folder) {
    WIN32_FIND_DATAW d;
    std::wstring path = L"\\" + wide(folder);
    HANDLE h = fs.first_w(&path[0], &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (fs.next_w(h, &d)) ++n;
    fs.close(h);
    return n;
}

// The names of a folder's files (not its folders), as the host lists them through the plugin.
std::vector<std::wstring> plugin_entries(const std::string& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW d;
    std::wstring path = L"\\" + wide(folder);
    HANDLE h = fs.first_w(&path[0], &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(d.cFileName);
    while (fs.next_w(h, &d));
    fs.close(h);
    return out;
}

std::vector<std::wstring> real_files(const std::string& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((wide(folder) + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(d.cFileName);
    while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
}

// The subfolders of folder, by their Windows paths.
std::vector<std::string> subfolders(const std::string& folder) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        std::string name = d.cFileName;
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            out.push_back(folder + "\\" + name);
    } while (FindNextFileA(h, &d));
    FindClose(h);
    return out;
}

// Deletes the files of folder; answers how many there were.
size_t remove_files(const std::wstring& folder) {
    const std::vector<std::wstring> names = real_files(std::string(folder.begin(), folder.end()));
    for (const std::wstring& name : names) {
        std::wstring path = folder + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    return names.size();
}

// One of every `share` names, spread over the whole list (all of them when share is 1).
std::vector<std::wstring> one_in(std::vector<std::wstring> names, size_t share) {
    if (share <= 1) return names;
    std::vector<std::wstring> out;
    for (size_t i = 0; i < names.size(); i += share) out.push_back(names[i]);
    return out;
}

size_t working_set() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c.WorkingSetSize;
}

std::string shape_of(const std::string& folder) {
    size_t cut = folder.find_last_of('\\');
    return cut == std::string::npos ? folder : folder.substr(cut + 1);
}

// One folder listed by each side, plugin against the bare read; odd rounds run the plugin first,
// so neither side always finds the other's leftovers in the caches and the heap.
void listing(const std::string& folder, int rounds, const char* bits) {
    for (bool wide_side : {false, true}) {
        tallyrun_bench::paired t;
        long files = 0, entries = 0;
        auto bare_read = wide_side ? bare_read_w : bare_read_a;
        auto plugin_read = wide_side ? plugin_read_w : plugin_read_a;
        bare_read(folder);  // warm the cache for both
        for (int r = 0; r < rounds; ++r) {
            double b = 0, p = 0;
            for (int side = 0; side < 2; ++side) {
                double t0 = seconds_now();
                if ((side + r) % 2 == 0)
                    files = bare_read(folder), b = seconds_now() - t0;
                else
                    entries = plugin_read(folder), p = seconds_now() - t0;
            }
            t.add(b, p);
        }
        const char* side = wide_side ? "w" : "a";
        std::printf("%-12s %-4s %9ld %9ld %11.1f %11.1f %7.2f\n", shape_of(folder).c_str(), side, files, entries,
                    t.bare_ms(), t.ours_ms(), t.ratio());
        std::printf("BENCH list.win%s.%s.%s.ratio %.2f\n", bits, side, shape_of(folder).c_str(), t.ratio());
        std::fflush(stdout);
    }
}

// Copies a selection of one entry in `share` of `folder` into `target` as the host does (FsGetFileW
// one entry at a time, with progress and flags 0), and as many of its real files with a bare
// CopyFileW loop into `bare`, each side listing the folder first. Answers how many files the
// plugin's copy made.
// A round that starts with the plugin when plugin_first, so both sides find the sources in the
// page cache equally often. Each side's copies are deleted before the other side starts: the
// second would otherwise write while the kernel flushes the first one's gigabytes.
size_t copy_round(const std::string& folder, size_t share, const std::wstring& target,
                  const std::wstring& bare_target, bool plugin_first, tallyrun_bench::paired& t) {
    size_t made = 0;
    const std::wstring source = wide(folder);
    double b = 0, p = 0;
    for (int side = 0; side < 2; ++side) {
        double t0 = seconds_now();
        if ((side == 0) != plugin_first) {
            // Listed as the plugin's side lists: a small selection of a large folder pays for it too.
            const std::vector<std::wstring> files = one_in(real_files(folder), share);
            for (const std::wstring& name : files)
                CopyFileW((source + L"\\" + name).c_str(), (bare_target + L"\\" + name).c_str(), FALSE);
            b = seconds_now() - t0;
            remove_files(bare_target);
        } else {
            // The host lists the folder, then asks for each selected entry.
            const std::vector<std::wstring> entries = one_in(plugin_entries(folder), share);
            for (const std::wstring& name : entries) {
                std::wstring remote = L"\\" + source + L"\\" + name, local = target + L"\\" + name;
                fs.get_w(&remote[0], &local[0], 0, nullptr);
            }
            p = seconds_now() - t0;
            made = remove_files(target);
        }
    }
    t.add(b, p);
    return made;
}

// Copying selections of one entry in `share` from n-file folders (ROOT\copy\singles_N: one file an
// entry; ROOT\copy\runs_N: runs of 4; share 1 copies them whole), one run of 10,000 members as one
// entry, and a 2 GB run against a bare CopyFileW loop of its members (the cost of the progress and Cancel).
void copying(const std::string& root, size_t share, int rounds, const char* bits) {
    std::printf("\n%-18s %9s %11s %11s %7s\n", "selection", "files", "bare ms", "plugin ms", "ratio");
    const std::wstring scratch = wide(root) + L"\\copy-target";
    CreateDirectoryW(scratch.c_str(), nullptr);
    const std::wstring target = scratch + L"\\plugin", bare_target = scratch + L"\\bare";
    CreateDirectoryW(target.c_str(), nullptr);
    CreateDirectoryW(bare_target.c_str(), nullptr);
    // Wine creates each new file after reading the whole target folder, so a bare copy of n files
    // costs n squared: the larger selections get fewer rounds (at least 5 up to 5,000 files when
    // ROUNDS is 5), or one pass of the four sizes would take hours.
    auto rounds_for = [&](int n) { return std::max(1, std::min(rounds, rounds * 5000 / n)); };
    auto growth_of = [](double first_ms, double last_ms, int first_n, int last_n) {
        return std::pow(last_ms / first_ms, std::log(2.0) / std::log(double(last_n) / first_n));
    };
    for (const char* kind : {"singles", "runs"}) {
        double first_ms = 0, last_ms = 0, first_bare = 0, last_bare = 0;
        int first_n = 0, last_n = 0;
        for (int n : {2500, 5000, 10000, 20000}) {
            const std::string folder = root + "\\copy\\" + kind + "_" + std::to_string(n);
            const int selected = static_cast<int>(one_in(real_files(folder), share).size());
            tallyrun_bench::paired t;
            size_t made = 0;
            for (int r = 0; r < rounds_for(selected); ++r) {
                made = copy_round(folder, share, target, bare_target, r % 2 == 1, t);
            }
            if (made != static_cast<size_t>(selected))
                std::fprintf(stderr, "dll_bench: %s %d: the plugin copied %zu files, the bare loop %d\n", kind, n,
                             made, selected);
            const double b = t.bare_ms(), p = t.ours_ms();
            std::printf("%-18s %9d %11.1f %11.1f %7.2f\n", (std::string(kind) + " " + std::to_string(n)).c_str(),
                        selected, b, p, t.ratio());
            std::printf("BENCH copy.win%s.%s.%d.ratio %.2f\n", bits, kind, n, t.ratio());
            std::fflush(stdout);
            if (!first_n) {
                first_n = n;
                first_ms = p;
                first_bare = b;
            }
            last_n = n;
            last_ms = p;
            last_bare = b;
        }
        // The bare loop's own growth beside the plugin's: what Wine costs per doubling.
        std::printf("BENCH copy.win%s.%s.growth %.2f\n", bits, kind, growth_of(first_ms, last_ms, first_n, last_n));
        std::printf("BENCH copy.win%s.%s.bare_growth %.2f\n", bits, kind,
                    growth_of(first_bare, last_bare, first_n, last_n));
    }
    for (const char* which : {"run_10000", "run_2g"}) {
        const std::string folder = root + "\\copy\\" + which;
        tallyrun_bench::paired t;
        const int times = std::string(which) == "run_2g" ? rounds : rounds_for(10000);
        for (int r = 0; r < times; ++r) {
            copy_round(folder, 1, target, bare_target, r % 2 == 1, t);
        }
        std::printf("%-18s %9zu %11.1f %11.1f %7.2f\n", which, real_files(folder).size(), t.bare_ms(), t.ours_ms(),
                    t.ratio());
        if (std::string(which) == "run_2g") {
            std::printf("BENCH copy.win%s.progress.overhead %.2f\n", bits, t.ratio());
            if (std::string(bits) == "64") std::printf("BENCH copy.progress.overhead %.2f\n", t.ratio());
        }
        else
            std::printf("BENCH copy.win%s.run_10000.ratio %.2f\n", bits, t.ratio());
        std::fflush(stdout);
    }
    RemoveDirectoryW(target.c_str());
    RemoveDirectoryW(bare_target.c_str());
    RemoveDirectoryW(scratch.c_str());
}

}  // namespace

// dll_bench PLUGIN BITS ROUNDS FOLDER... [--browse FOLDER] [--copy ROOT] [--share N]: a line per
// folder and side; every subfolder of the --browse folder listed once, one after another, as a user
// browses, with the process memory before and after; the copies of ROOT\copy (make_folders), each
// folder's selection one entry in N of it (1, the whole folder, by default).
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: dll_bench PLUGIN BITS ROUNDS FOLDER... [--browse FOLDER] [--copy ROOT] [--share N]\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (!plugin) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    fs = {entry<find_first_a>(plugin, "FsFindFirst"), entry<find_next_a>(plugin, "FsFindNext"),
          entry<find_first_w>(plugin, "FsFindFirstW"), entry<find_next_w>(plugin, "FsFindNextW"),
          entry<find_close_fn>(plugin, "FsFindClose"), entry<init_w>(plugin, "FsInitW"),
          entry<get_file_w>(plugin, "FsGetFileW")};
    if (!fs.first_a || !fs.next_a || !fs.first_w || !fs.next_w || !fs.close || !fs.init || !fs.get_w) {
        std::fprintf(stderr, "%s lacks entry points\n", argv[1]);
        return 1;
    }
    fs.init(1, reinterpret_cast<void*>(quiet_progress), nullptr, nullptr);
    const char* bits = argv[2];
    int rounds = std::max(1, std::atoi(argv[3]));
    std::printf("%-12s %-4s %9s %9s %11s %11s %7s\n", "folder", "side", "files", "entries", "bare ms", "plugin ms",
                "ratio");
    size_t memory_before = working_set();
    std::string browse, copies;
    size_t share = 1;
    for (int i = 4; i < argc; ++i) {
        std::string folder = argv[i];
        if (folder == "--browse" && i + 1 < argc) {
            browse = argv[++i];
        } else if (folder == "--copy" && i + 1 < argc) {
            copies = argv[++i];
        } else if (folder == "--share" && i + 1 < argc) {
            share = static_cast<size_t>(std::max(1, std::atoi(argv[++i])));
        } else {
            listing(folder, rounds, bits);
        }
    }
    size_t memory_after = working_set();
    std::printf("process memory: %.1f MiB before the listings, %.1f MiB after\n", memory_before / 1048576.0,
                memory_after / 1048576.0);
    if (!browse.empty()) {
        std::vector<std::string> folders = subfolders(browse);
        size_t before = working_set();
        double t0 = seconds_now();
        long entries = 0;
        for (const std::string& f : folders) entries += plugin_read_w(f);
        double t1 = seconds_now();
        size_t after = working_set();
        std::printf("browsing %zu folders one after another (%ld entries, %.1f ms): process memory "
                    "%.1f MiB before, %.1f MiB after\n",
                    folders.size(), entries, (t1 - t0) * 1000, before / 1048576.0, after / 1048576.0);
    }
    if (!copies.empty()) copying(copies, share, rounds, bits);
    return 0;
}
