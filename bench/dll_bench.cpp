// Times a folder listing through the real plugin against a bare directory read, in one process.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using find_first_fn = HANDLE(__stdcall*)(char*, WIN32_FIND_DATAA*);
using find_next_fn = BOOL(__stdcall*)(HANDLE, WIN32_FIND_DATAA*);
using find_close_fn = int(__stdcall*)(HANDLE);

find_first_fn fs_find_first;
find_next_fn fs_find_next;
find_close_fn fs_find_close;

double seconds_now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

long bare_read(const std::string& folder) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (FindNextFileA(h, &d)) ++n;
    FindClose(h);
    return n;
}

long plugin_read(const std::string& folder) {
    WIN32_FIND_DATAA d;
    std::string path = "\\" + folder;
    HANDLE h = fs_find_first(&path[0], &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    long n = 1;
    while (fs_find_next(h, &d)) ++n;
    fs_find_close(h);
    return n;
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

size_t working_set() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c.WorkingSetSize;
}

}  // namespace

// dll_bench PLUGIN ROUNDS FOLDER... [--browse FOLDER]: one line per folder;
// then every subfolder of the --browse folder listed once, one after another,
// as a user browses, with the process memory before and after.
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: dll_bench PLUGIN ROUNDS FOLDER...\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (!plugin) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    // GetProcAddress's generic pointer goes through void* to the entry point's real type.
    fs_find_first = reinterpret_cast<find_first_fn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "FsFindFirst")));
    fs_find_next = reinterpret_cast<find_next_fn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "FsFindNext")));
    fs_find_close = reinterpret_cast<find_close_fn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "FsFindClose")));
    if (!fs_find_first || !fs_find_next || !fs_find_close) {
        std::fprintf(stderr, "%s lacks the listing entry points\n", argv[1]);
        return 1;
    }
    int rounds = std::max(1, std::atoi(argv[2]));
    std::printf("%-34s %9s %9s %11s %11s %7s\n", "folder", "files", "entries", "bare ms", "plugin ms",
                "ratio");
    size_t memory_before = working_set();
    std::string browse;
    for (int i = 3; i < argc; ++i) {
        std::string folder = argv[i];
        if (folder == "--browse" && i + 1 < argc) {
            browse = argv[++i];
            continue;
        }
        std::vector<double> bare, through;
        long files = 0, entries = 0;
        bare_read(folder);  // warm the cache for both
        for (int r = 0; r < rounds; ++r) {
            double t0 = seconds_now();
            files = bare_read(folder);
            double t1 = seconds_now();
            entries = plugin_read(folder);
            double t2 = seconds_now();
            bare.push_back(t1 - t0);
            through.push_back(t2 - t1);
        }
        double b = median(bare) * 1000, p = median(through) * 1000;
        std::string shown = folder.size() > 34 ? "..." + folder.substr(folder.size() - 31) : folder;
        std::printf("%-34s %9ld %9ld %11.1f %11.1f %7.2f\n", shown.c_str(), files, entries, b, p, p / b);
        std::fflush(stdout);
    }
    size_t memory_after = working_set();
    std::printf("process memory: %.1f MiB before the listings, %.1f MiB after\n",
                memory_before / 1048576.0, memory_after / 1048576.0);
    if (!browse.empty()) {
        std::vector<std::string> folders = subfolders(browse);
        size_t before = working_set();
        double t0 = seconds_now();
        long entries = 0;
        for (const std::string& f : folders) entries += plugin_read(f);
        double t1 = seconds_now();
        size_t after = working_set();
        std::printf("browsing %zu folders one after another (%ld entries, %.1f ms): process memory "
                    "%.1f MiB before, %.1f MiB after\n",
                    folders.size(), entries, (t1 - t0) * 1000, before / 1048576.0, after / 1048576.0);
    }
    return 0;
}
