// tallyrun-ls: prints a Linux folder as the plugin shows it, on the plugin's own engine and bindings.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "plugin/folder.h"
#include "support/bindings.h"
#include "support/bindings_posix.h"
#include "support/paths.h"
#include "support/wide.h"

using namespace tallyrun;

namespace {

// The plugin shows local time; FILETIME back to a calendar date for printing.
std::string shown_time(win_filetime t) {
    win_filetime utc{t.low, t.high}, local;
    if (t == no_time || !win.FileTimeToLocalFileTime(&utc, &local)) return "                ";
    const unsigned long long ticks = (static_cast<unsigned long long>(local.high) << 32) | local.low;
    const time_t seconds = static_cast<time_t>(static_cast<long long>(ticks / 10000000ull) - 11644473600LL);
    struct tm parts;
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

// A name as the bytes it has on disk (an escaped byte is that byte again).
std::string bytes_of(std::u16string_view name) { return name_of_wide(name, nullptr); }

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
    std::string ini, dir;
    bool members = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ini") && i + 1 < argc) {
            ini = argv[++i];
        } else if (!std::strcmp(argv[i], "--members")) {
            members = true;
        } else if (!std::strcmp(argv[i], "--help") || argv[i][0] == '-' || !dir.empty()) {
            return usage();
        } else {
            dir = argv[i];
        }
    }
    if (dir.empty()) return usage();
    bind_windows();
    // Without --ini no configuration file is found: not beside a module, not in ".".
    ini_place where;
    if (!ini.empty()) {
        const split_path<char16_t> file(wide_of_name(ini), u'/');
        where = ini_place{{file.folder.empty() ? u"./" : file.folder}, file.name};
    }
    listing<char16_t> l;
    if (!seq_dir<char16_t>(search_pattern<char16_t>(wide_of_name(dir)), where, l)) {
        std::fprintf(stderr, "tallyrun-ls: cannot list %s\n", dir.c_str());
        return 1;
    }
    for (size_t i = 0; i < l.entry_count(); ++i) {
        const entry_view<char16_t> e = l.entry(i);
        if (e.name == u"." || e.name == u"..") continue;  // as the file manager shows a folder
        const std::string time = shown_time(host_time(e.time)), name = bytes_of(e.name);
        if (e.attributes & directory_bit)
            std::printf("%-16s %15s  %s\n", time.c_str(), "<DIR>", name.c_str());
        else
            std::printf("%-16s %15lld  %s\n", time.c_str(), static_cast<long long>(host_size(e.size)), name.c_str());
        if (members && e.count > 1)
            for (uint32_t m = e.first; m < e.first + e.count; ++m)
                std::printf("%-16s %15s    %s\n", "", "", bytes_of(l.name_of(l.files[m])).c_str());
    }
    return 0;
}
