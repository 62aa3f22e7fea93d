// Times the Linux lister's listing (the engine on the POSIX bindings) against a bare readdir + fstatat.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "plugin/folder.h"
#include "support/bindings.h"
#include "support/bindings_posix.h"
#include "support/paths.h"
#include "support/wide.h"

using namespace tallyrun;

namespace {

double seconds_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// What any program that shows a folder must do at least: each name and its stat.
long bare_read(const std::string& folder, unsigned long long& bytes) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return -1;
    long n = 0;
    struct stat st;
    while (const struct dirent* e = readdir(dir)) {
        if (fstatat(dirfd(dir), e->d_name, &st, 0) != 0) continue;
        if (!S_ISDIR(st.st_mode)) bytes += static_cast<unsigned long long>(st.st_size);
        ++n;
    }
    closedir(dir);
    return n;
}

// What tallyrun-ls does before it prints: the folder as the plugin shows it.
long lister_read(const std::string& folder, unsigned long long& bytes) {
    listing<char16_t> l;
    if (!seq_dir<char16_t>(search_pattern<char16_t>(wide_of_name(folder)), ini_place{}, l)) return -1;
    for (size_t i = 0; i < l.entry_count(); ++i) bytes += host_size(l.entry(i).size);
    return static_cast<long>(l.entry_count());
}

std::string shape_of(const std::string& folder) { return folder.substr(folder.find_last_of('/') + 1); }

}  // namespace

// ls_bench ROUNDS COUNT FOLDER...: prints a table and BENCH native.<shape>.<COUNT>.ratio per folder.
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: ls_bench ROUNDS COUNT FOLDER...\n");
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    const std::string count = argv[2];
    bind_windows();
    std::printf("%-12s %10s %12s %12s %8s\n", "shape", "files", "bare ms", "lister ms", "ratio");
    for (int f = 3; f < argc; ++f) {
        const std::string folder = argv[f];
        tallyrun_bench::paired t;
        long files = 0, entries = 0;
        unsigned long long bare_bytes = 0, lister_bytes = 0;
        // Alternate which goes first so that neither always gets the warmer cache.
        for (int r = 0; r <= rounds; ++r) {
            double b = 0, p = 0;
            for (int side = 0; side < 2; ++side) {
                const double t = seconds_now();
                if ((side + r) % 2 == 0)
                    files = bare_read(folder, bare_bytes), b = seconds_now() - t;
                else
                    entries = lister_read(folder, lister_bytes), p = seconds_now() - t;
            }
            if (r == 0) continue;  // the first round fills the cache
            t.add(b, p);
        }
        if (files < 0 || entries < 0) {
            std::fprintf(stderr, "ls_bench: cannot read %s\n", folder.c_str());
            return 1;
        }
        if (bare_bytes != lister_bytes) {
            std::fprintf(stderr, "ls_bench: %s: the lister counts %llu bytes, the folder holds %llu\n",
                         folder.c_str(), lister_bytes, bare_bytes);
            return 1;
        }
        std::printf("%-12s %10ld %12.1f %12.1f %8.2f\n", shape_of(folder).c_str(), files, t.bare_ms(), t.ours_ms(),
                    t.ratio());
        std::printf("BENCH native.%s.%s.ratio %.2f\n", shape_of(folder).c_str(), count.c_str(), t.ratio());
    }
    return 0;
}
