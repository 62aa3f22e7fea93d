// tallyrun-ls: prints a Linux folder as the plugin shows it, on the plugin's own engine.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "ls/posix_listing.h"
#include "sequence/seq_dir.h"
#include "support/bindings.h"

using namespace tallyrun;

namespace {

// The plugin shows local time; FILETIME back to a calendar date for printing.
std::string shown_time(file_time t) {
    if (t == no_time) return "                ";
    win_filetime utc{t.low, t.high}, local;
    win.FileTimeToLocalFileTime(&utc, &local);
    unsigned long long ticks = (static_cast<unsigned long long>(local.high) << 32) | local.low;
    long long seconds = static_cast<long long>(ticks / 10000000ull) - 11644473600LL;
    time_t tt = static_cast<time_t>(seconds);
    struct tm tm;
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tallyrun-ls [--ini FILE] [--members] DIR\n"
                 "Prints DIR as the Tallyrun plugin shows it: folders first, then each run of\n"
                 "numbered files as one entry (size = the members' total) and every other file.\n"
                 "  --ini FILE   read the settings from FILE (default: none, the defaults)\n"
                 "  --members    list each entry's real files under it\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string ini_folder, ini_name = "tallyrun.ini", dir;
    ini_place where;
    bool members = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ini") && i + 1 < argc) {
            std::string f = argv[++i];
            size_t cut = f.rfind('/');
            ini_folder = cut == std::string::npos ? "./" : f.substr(0, cut + 1);
            ini_name = cut == std::string::npos ? f : f.substr(cut + 1);
        } else if (!std::strcmp(argv[i], "--members")) {
            members = true;
        } else if (!std::strcmp(argv[i], "--help") || argv[i][0] == '-' || !dir.empty()) {
            return usage();
        } else {
            dir = argv[i];
        }
    }
    if (dir.empty()) return usage();
    bind_posix();
    // Without --ini no configuration file is found: not beside a module, not in ".".
    if (!ini_folder.empty()) where = ini_place{{std::u16string(ini_folder.begin(), ini_folder.end())},
                                               std::u16string(ini_name.begin(), ini_name.end())};
    listing<char> l;
    if (!seq_dir<char>(dir + "\\*.*", where, l)) {
        std::fprintf(stderr, "tallyrun-ls: cannot list %s\n", dir.c_str());
        return 1;
    }
    for (size_t i = 0; i < l.entry_count(); ++i) {
        const entry_view<char> e = l.entry(i);
        const std::string name(e.name);
        if (e.attributes & 16)
            std::printf("%-16s %15s  %s\n", shown_time(host_time(e.time)).c_str(), "<DIR>", name.c_str());
        else
            std::printf("%-16s %15lld  %s\n", shown_time(host_time(e.time)).c_str(),
                        static_cast<long long>(host_size(e.size)), name.c_str());
        if (members && e.count > 1)
            for (uint32_t m = e.first; m < e.first + e.count; ++m)
                std::printf("%-16s %15s    %s\n", "", "", std::string(l.name_of(l.files[m])).c_str());
    }
    return 0;
}
