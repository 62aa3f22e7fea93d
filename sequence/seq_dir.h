// The virtual directory builder: one real folder in, the listing the host shows out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/options.h"
#include "sequence/seq_match.h"

namespace tallyrun {

// Local time at the folder listing's resolution (even seconds).
struct date_time {
    int year, month, day, hour, minute, second;
};
bool operator==(const date_time& a, const date_time& b);
bool operator!=(const date_time& a, const date_time& b);

// A Windows FILETIME in UTC; (0xFFFFFFFF, 0xFFFFFFFF) is "no time".
struct file_time {
    uint32_t low, high;
};
inline constexpr file_time no_time{0xFFFFFFFFu, 0xFFFFFFFFu};
inline bool operator==(file_time a, file_time b) { return a.low == b.low && a.high == b.high; }

// One file or folder as the folder listing gives it.
struct real_entry {
    std::string name;
    date_time time;       // {0,0,0,0,0,0} when the last-write time fits no DOS date
    bool has_time;        // false exactly then
    uint32_t attributes;  // read-only 1, hidden 2, system 4, volume 8, directory 16, archive 32
    uint64_t size;        // the true 64-bit size (0 for folders)
};

// One line of the listing the host shows.
struct virtual_entry {
    std::string name;
    file_time time;
    uint32_t attributes;
    int64_t size;                // the true total; never above INT64_MAX in practice
    std::vector<size_t> members;  // 1-based positions in real_entries; empty for folders
};

struct listing {
    std::vector<virtual_entry> entries;
    std::vector<real_entry> real_entries;
};

// The folder listing: every entry matching search_path (hidden and system ones
// included), or false when the path matches nothing, cannot be read, or is
// longer than 255 bytes.
bool list_folder(const std::string& search_path, std::vector<real_entry>& out);

// The first entry that path (a file's full path, up to 259 bytes) names, as the
// folder listing gives it; false when there is none. Unlike list_folder it takes
// every path Windows can copy to, so that no existing target goes unnoticed.
bool find_entry(const std::string& path, real_entry& out);

// The listing of the folder that search_path ("C:\photos\*.*") names, with the
// configuration read from ini_folder + ini_name; false when the folder cannot
// be listed (nothing is read or shown then).
bool seq_dir(const std::string& search_path, const std::string& ini_folder,
             const std::string& ini_name, listing& out);

// The part of seq_dir after the folder has been read: pure, no Windows call
// except the time conversion.
listing build_listing(std::vector<real_entry> entries, const sequence_options& options);

// The runs of a folder's files, sorted by upper-cased name, as virtual
// entries: one per run, one per file of no run, in the order of each entry's
// first member. lowered[i] is win_lower(files[i].name); member positions count
// folder_count folders before the files. Needs a live token registry, which
// makes every run's name unique.
std::vector<virtual_entry> collapse_runs(const std::vector<real_entry>& files,
                                         const std::vector<std::string_view>& lowered,
                                         size_t folder_count, const std::string& name_template,
                                         seq_range range);

// The name of the run first..last from the four-slot template ("%s" +
// seqpattern + "%s"), lower-cased unless same_case, made unique through the
// token registry. Reads the current number field.
std::string sequence_name(std::string_view first, std::string_view last,
                          const std::string& name_template, bool same_case);
// The four slots of the template filled in order; "%%" gives one "%".
std::string fill_template(const std::string& name_template, const std::string_view (&slots)[4]);
// Both names agree, with case, before and after the current number field.
bool same_outer_text(std::string_view a, std::string_view b);

// Windows attribute bits as letters "r", "h", "s", "d", "a", "v" in that order.
std::string attribute_letters(uint32_t windows_attributes);
// Letters to bits: r 1, h 2, s 4, v 8, d 16, a 32; other letters are ignored.
uint32_t dos_attr(const std::string& letters);
// -1, 0 or 1: win_upper of both names compared as unsigned bytes; a leading
// part of the other comes first.
int compare_upper_names(const real_entry& a, const real_entry& b);
// Sorted by compare_upper_names; names equal after upper-casing keep their order.
std::vector<real_entry> sort_upper_names(std::vector<real_entry> files);
// Local date and time to a UTC FILETIME through LocalFileTimeToFileTime; no_time on failure.
file_time win_file_time(const date_time& t);
// Proleptic Gregorian day number, 0001-01-01 = 1.
long date_serial(int year, int month, int day);

}  // namespace tallyrun
