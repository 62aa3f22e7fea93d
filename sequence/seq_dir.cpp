// The virtual directory builder: one real folder in, the listing the host shows out.
#include "sequence/seq_dir.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "config/text.h"
#include "sequence/run_finder.h"
#include "sequence/token_registry.h"
#include "support/bindings.h"

namespace tallyrun {
namespace {

constexpr uint32_t directory_bit = 16;
constexpr size_t longest_search_path = 255;
constexpr size_t none = static_cast<size_t>(-1);
// FILETIMEs of 1980-01-01 and 2108-01-01: what a DOS date can hold lies between.
constexpr uint64_t first_dos_tick = 119600064000000000ull;
constexpr uint64_t after_last_dos_tick = 159992928000000000ull;

// s[from..to], 1-based and inclusive; empty when to < from or from is past the end.
std::string_view slice(std::string_view s, size_t from, size_t to) {
    if (from == 0) from = 1;
    if (to < from || from > s.size()) return {};
    return s.substr(from - 1, to - from + 1);
}

int64_t host_size(uint64_t size) {
    constexpr uint64_t top = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(size > top ? top : size);
}

file_time time_of(const real_entry& e) { return e.has_time ? win_file_time(e.time) : no_time; }

// The last-write time as local time at DOS resolution; false when Windows
// cannot convert it (no DOS date holds years before 1980 or after 2107).
bool local_dos_time(const win_filetime& utc, date_time& out) {
    win_filetime local{};
    uint16_t date = 0, time = 0;
    if (!win.FileTimeToLocalFileTime || !win.FileTimeToDosDateTime) return false;
    if (!win.FileTimeToLocalFileTime(&utc, &local)) return false;
    // Not every FileTimeToDosDateTime refuses a year past 2107 (some wrap it
    // into 7 bits), so the range is checked here first.
    const uint64_t ticks = (static_cast<uint64_t>(local.high) << 32) | local.low;
    if (ticks < first_dos_tick || ticks >= after_last_dos_tick) return false;
    if (!win.FileTimeToDosDateTime(&local, &date, &time)) return false;
    out = date_time{1980 + (date >> 9), (date >> 5) & 15, date & 31,
                    time >> 11,         (time >> 5) & 63, 2 * (time & 31)};
    return true;
}

// The last conversions of one listing, up to 16 kept by a hash of what was
// converted: each conversion calls into Windows, and a folder's files share a
// few times, met in any order.
template <typename Key, typename Value>
struct recent_conversions {
    struct slot {
        bool valid = false;
        Key key{};
        Value value{};
    } slots[16];

    template <typename Convert>
    const Value& get(const Key& key, size_t hash, Convert convert) {
        slot& s = slots[hash % 16];
        if (!s.valid || !(s.key == key)) s = slot{true, key, convert(key)};
        return s.value;
    }
};

struct local_time {
    bool has_time = false;
    date_time time{0, 0, 0, 0, 0, 0};
};

// A DOS time counts whole 2-second steps, and neither the local offset nor a
// change of it falls inside an aligned step, so every file time of one step
// converts alike: the memo is keyed by the step.
constexpr uint64_t dos_step = 20000000;  // 2 s in 100 ns ticks
using time_memo = recent_conversions<uint64_t, local_time>;

local_time local_time_of_step(uint64_t step) {
    const uint64_t start = step * dos_step;
    local_time out;
    out.has_time = local_dos_time(win_filetime{static_cast<uint32_t>(start), static_cast<uint32_t>(start >> 32)},
                                  out.time);
    if (!out.has_time) out.time = date_time{0, 0, 0, 0, 0, 0};
    return out;
}

real_entry entry_of(const win_find_data& d, time_memo& memo) {
    real_entry e{};
    e.name.assign(d.name, strnlen(d.name, sizeof d.name));
    e.attributes = dos_attr(attribute_letters(d.attributes));
    e.size = (static_cast<uint64_t>(d.size_high) << 32) | d.size_low;
    const win_filetime& t = d.last_write_time;
    const uint64_t step = ((static_cast<uint64_t>(t.high) << 32) | t.low) / dos_step;
    const local_time& local = memo.get(step, static_cast<size_t>(step), local_time_of_step);
    e.has_time = local.has_time;
    e.time = local.time;
    return e;
}

// The files in ascending upper-cased name order, stable for equal names; each
// name is upper-cased once.
std::vector<size_t> upper_order(const std::vector<real_entry>& files) {
    std::vector<std::string_view> names;
    names.reserve(files.size());
    for (const real_entry& f : files) names.push_back(f.name);
    const mapped_texts upper = win_upper_joined(names);
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    // std::string compares its bytes as unsigned char, a leading part first.
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return upper[a] < upper[b]; });
    return order;
}

}  // namespace

bool operator==(const date_time& a, const date_time& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}
bool operator!=(const date_time& a, const date_time& b) { return !(a == b); }

std::string attribute_letters(uint32_t bits) {
    std::string letters;
    if (bits & 1) letters += 'r';
    if (bits & 2) letters += 'h';
    if (bits & 4) letters += 's';
    if (bits & 16) letters += 'd';
    if (bits & 32) letters += 'a';
    if (bits & 8) letters += 'v';
    return letters;
}

uint32_t dos_attr(const std::string& letters) {
    uint32_t bits = 0;
    for (char c : letters) {
        switch (c) {
            case 'r': bits |= 1; break;
            case 'h': bits |= 2; break;
            case 's': bits |= 4; break;
            case 'v': bits |= 8; break;
            case 'd': bits |= 16; break;
            case 'a': bits |= 32; break;
            default: break;
        }
    }
    return bits;
}

int compare_upper_names(const real_entry& a, const real_entry& b) {
    int c = win_upper(a.name).compare(win_upper(b.name));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::vector<real_entry> sort_upper_names(std::vector<real_entry> files) {
    std::vector<size_t> order = upper_order(files);
    std::vector<real_entry> sorted;
    sorted.reserve(files.size());
    for (size_t i : order) sorted.push_back(std::move(files[i]));
    return sorted;
}

long date_serial(int year, int month, int day) {
    auto floor_div = [](long a, long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
    long n = 365L * (year - 1) + 31L * (month - 1) + day;
    long y = year;
    if (month > 2)
        n -= static_cast<long>(std::floor(0.4 * month + 2.3));
    else
        y = year - 1;
    return n + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

file_time win_file_time(const date_time& t) {
    double days = static_cast<double>(date_serial(t.year, t.month, t.day) - 584389);
    double seconds = days * 86400 + (t.hour * 60.0 + t.minute) * 60 + t.second;
    double ticks = seconds * 10000000.0;
    // A FILETIME holds 0..2^64-1 ticks; anything else is no time, not a wrapped value.
    if (!(ticks >= 0 && ticks < 18446744073709551616.0)) return no_time;
    win_filetime local{static_cast<uint32_t>(std::fmod(ticks, 4294967296.0)),
                       static_cast<uint32_t>(std::floor(ticks / 4294967296.0))};
    win_filetime utc{};
    if (!win.LocalFileTimeToFileTime || !win.LocalFileTimeToFileTime(&local, &utc)) return no_time;
    return file_time{utc.low, utc.high};
}

bool list_folder(const std::string& search_path, std::vector<real_entry>& out) {
    out.clear();
    // A longer path, or one that a NUL would cut short, is refused whole rather
    // than truncated into another folder's name.
    if (search_path.size() > longest_search_path ||
        search_path.find('\0') != std::string::npos)
        return false;
    if (!win.FindFirstFileA || !win.FindNextFileA || !win.FindClose || !win.GetLastError)
        return false;
    win_find_data d{};
    win_handle h = win.FindFirstFileA(search_path.c_str(), &d);
    if (h == invalid_handle || h == nullptr) return false;
    time_memo memo;
    do out.push_back(entry_of(d, memo));
    while (win.FindNextFileA(h, &d));
    // Any end but "no more files" leaves the folder half read: a partial listing
    // shown as the whole folder would hide files from a copy, so refuse it.
    bool complete = win.GetLastError() == error_no_more_files;
    win.FindClose(h);
    if (!complete) out.clear();
    return complete;
}

bool find_entry(const std::string& path, real_entry& out) {
    // Windows takes paths of up to 259 bytes; a longer one names no file it can open.
    if (path.empty() || path.size() > 259 || path.find('\0') != std::string::npos) return false;
    if (!win.FindFirstFileA || !win.FindClose) return false;
    win_find_data d{};
    win_handle h = win.FindFirstFileA(path.c_str(), &d);
    if (h == invalid_handle || h == nullptr) return false;
    time_memo memo;
    out = entry_of(d, memo);
    win.FindClose(h);
    return true;
}

bool same_outer_text(std::string_view a, std::string_view b) {
    size_t s = current_field.field_start, e = current_field.field_end;
    return slice(a, 1, s - 1) == slice(b, 1, s - 1) &&
           slice(a, e + 1, a.size()) == slice(b, e + 1, b.size());
}

std::string fill_template(const std::string& name_template, const std::string_view (&slots)[4]) {
    std::string text;
    size_t next = 0;
    for (size_t i = 0; i < name_template.size(); ++i) {
        char c = name_template[i];
        if (c == '%' && i + 1 < name_template.size()) {
            char d = name_template[i + 1];
            if (d == '%') {
                text += '%';
                ++i;
                continue;
            }
            if (d == 's') {
                if (next < 4) text.append(slots[next++]);
                ++i;
                continue;
            }
        }
        text += c;
    }
    return text;
}

std::string sequence_name(std::string_view first, std::string_view last,
                          const std::string& name_template, bool same_case) {
    std::string a(first), b(last);
    if (!same_case) {
        a = win_lower(a);
        b = win_lower(b);
    }
    size_t s = current_field.field_start, e = current_field.field_end;
    const std::string_view slots[4] = {slice(a, 1, s - 1), slice(a, s, e), slice(b, s, e),
                                       slice(a, e + 1, a.size())};
    std::string text = fill_template(name_template, slots);
    size_t dot = rfind('.', text);
    if (dot == 0) return unique_token(text, "", token_ignore_case);
    return unique_token(std::string_view(text).substr(0, dot - 1),
                        std::string_view(text).substr(dot - 1), token_ignore_case);
}

std::vector<virtual_entry> collapse_runs(const std::vector<real_entry>& files,
                                         const std::vector<std::string_view>& lowered,
                                         size_t folder_count, const std::string& name_template,
                                         seq_range range) {
    std::vector<virtual_entry> out;
    // The runs as the member walk finds them, without visiting every skip.
    std::vector<found_run> runs = find_runs(lowered, range);
    out.reserve(runs.size());
    recent_conversions<date_time, file_time> utc_times;
    for (const found_run& run : runs) {
        const size_t v = run.members.front(), l = run.members.back();
        const real_entry& head = files[v];
        virtual_entry entry{head.name, no_time, head.attributes, 0, {}};
        entry.members.reserve(run.members.size());
        bool timed = head.has_time;
        uint64_t total = 0;
        bool same_case = true;
        // Naming and the case test read the run's own number field.
        current_field = {run.field_start, run.field_end};
        for (size_t h : run.members) {
            const real_entry& m = files[h];
            if (h != v) {
                if (same_case && !same_outer_text(head.name, m.name)) same_case = false;
                if (!m.has_time || m.time != head.time) timed = false;
                if (m.attributes != entry.attributes) entry.attributes &= directory_bit;
            }
            if (!(m.attributes & directory_bit) || h == v)
                total = m.size > UINT64_MAX - total ? UINT64_MAX : total + m.size;
            entry.members.push_back(folder_count + h + 1);
        }
        if (entry.members.size() > 1) {
            // The lowered names are what sequence_name would make of mixed case.
            entry.name = same_case ? sequence_name(head.name, files[l].name, name_template, true)
                                   : sequence_name(lowered[v], lowered[l], name_template, true);
        }
        entry.size = host_size(total);
        const date_time& t = head.time;
        const size_t hash = static_cast<unsigned>(t.second + 3 * t.minute + 5 * t.hour + 7 * t.day);
        entry.time = timed ? utc_times.get(t, hash, win_file_time) : no_time;
        out.push_back(std::move(entry));
    }
    return out;
}

listing build_listing(std::vector<real_entry> entries, const sequence_options& options) {
    const std::string name_template = "%s" + options.seqpattern + "%s";
    const seq_range range{options.first, options.last};
    listing out;
    std::vector<real_entry> files;
    files.reserve(entries.size());
    token_init();
    std::vector<std::string_view> names;
    names.reserve(entries.size());
    for (const real_entry& e : entries) names.push_back(e.name);
    // The lowered names stay in this one buffer for the whole build.
    const mapped_texts all_lowered = win_lower_joined(names);
    std::vector<std::string_view> lowered;
    lowered.reserve(entries.size());
    for (size_t k = 0; k < entries.size(); ++k) {
        real_entry& e = entries[k];
        std::string_view lower = all_lowered[k];
        token_count(lower, token_exact_case);  // lower-cased already: counts as case-ignored
        if (e.attributes & directory_bit) {
            out.real_entries.push_back(std::move(e));
        } else {
            files.push_back(std::move(e));
            lowered.push_back(lower);
        }
    }
    // Each stage hands its names on and lets go of its own tables: a folder of a
    // million names must not be held three times over.
    std::vector<real_entry>().swap(entries);
    std::vector<std::string_view>().swap(names);
    const size_t folder_count = out.real_entries.size();
    for (const real_entry& f : out.real_entries)
        out.entries.push_back(virtual_entry{f.name, time_of(f), f.attributes, host_size(f.size), {}});

    std::vector<size_t> order = upper_order(files);
    std::vector<real_entry> sorted;
    std::vector<std::string_view> sorted_lowered;
    sorted.reserve(files.size());
    sorted_lowered.reserve(files.size());
    for (size_t i : order) {
        sorted.push_back(std::move(files[i]));
        sorted_lowered.push_back(lowered[i]);
    }
    std::vector<real_entry>().swap(files);
    std::vector<std::string_view>().swap(lowered);
    std::vector<size_t>().swap(order);
    if (!sorted.empty()) {
        std::vector<virtual_entry> runs =
            collapse_runs(sorted, sorted_lowered, folder_count, name_template, range);
        out.entries.insert(out.entries.end(), std::make_move_iterator(runs.begin()),
                           std::make_move_iterator(runs.end()));
    }
    out.real_entries.insert(out.real_entries.end(), std::make_move_iterator(sorted.begin()),
                            std::make_move_iterator(sorted.end()));
    token_free();
    return out;
}

bool seq_dir(const std::string& search_path, const std::string& ini_folder,
             const std::string& ini_name, listing& out) {
    std::vector<real_entry> entries;
    if (!list_folder(search_path, entries)) return false;
    const sequence_options options = read_ini(ini_folder, ini_name);
    out = build_listing(std::move(entries), options);
    return true;
}

}  // namespace tallyrun
