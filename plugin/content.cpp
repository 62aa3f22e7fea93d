// Custom columns of the plugin's panel: how many members an entry has, its first and last number, what is missing.
#include "plugin/content.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "plugin/context.h"
#include "sequence/seq_match.h"
#include "support/paths.h"

namespace tallyrun {
namespace {

const char* const field_names[field_count] = {"Members", "First", "Last", "Missing"};
const int32_t field_types[field_count] = {ft_numeric_32, ft_string, ft_string, ft_string};

constexpr size_t longest_number = 19;  // digits a 64-bit number always holds

void write_text(char* out, std::string_view text, int32_t max_length) {
    if (out && max_length >= 1) poke_string<char>(out, text, static_cast<size_t>(max_length));
}

// A number field's value, when it is all digits and fits in 64 bits.
template <typename C>
bool number_in(std::basic_string_view<C> digits, uint64_t& value) {
    if (digits.empty() || digits.size() > longest_number || !all_digits(digits)) return false;
    value = 0;
    for (C c : digits) value = value * 10 + static_cast<uint64_t>(c - C('0'));
    return true;
}

std::string padded(uint64_t n, size_t width) {
    std::string s = std::to_string(n);
    return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

template <typename C>
std::string ascii_of(std::basic_string_view<C> digits) {
    return std::string(digits.begin(), digits.end());
}

// Every run's "Missing" (the caller holds kept.lock): the runs of one name length and number field share
// one table of the folder's numbers by their lowered text around the field.
template <typename C>
void find_missing(kept_listing<C>& kept) {
    kept.missing_known = true;
    const listing<C>& l = kept.data;
    case_map<C>& cases = kept.case_mapping();
    using text = std::basic_string<C>;
    // The lowered text around a field, as a key.
    auto outer = [&](std::basic_string_view<C> name, number_field field) {
        text key = text(before_field(name, field)) + C(0) + text(after_field(name, field));
        cases.lower(key.data(), key.size());
        return key;
    };
    std::map<std::tuple<size_t, size_t, size_t>, std::vector<uint32_t>> runs_by_shape;  // (length, s, e) -> entries
    for (const run_record& r : l.runs) {
        const listed_file& head = l.files[l.starts[r.entry]];
        runs_by_shape[{head.name_length, r.field_start, r.field_end}].push_back(r.entry);
    }
    for (const auto& [shape, entries] : runs_by_shape) {
        const auto [length, s, e] = shape;
        const number_field field{s, e};
        std::map<text, std::vector<uint64_t>> numbers;
        for (const listed_file& f : l.files) {
            if (f.name_length != length || (f.attributes & directory_bit)) continue;
            const std::basic_string_view<C> name = l.name_of(f);
            uint64_t n = 0;
            if (number_in(field_text(name, field), n)) numbers[outer(name, field)].push_back(n);
        }
        for (auto& [key, list] : numbers) std::sort(list.begin(), list.end());
        for (uint32_t entry : entries) {
            const entry_view<C> v = l.entry(entry);
            const std::basic_string_view<C> last = l.name_of(l.files[v.first + v.count - 1]);
            uint64_t n = 0;
            if (!number_in(field_text(last, field), n)) continue;
            const std::vector<uint64_t>& list = numbers[outer(last, field)];
            auto next = std::upper_bound(list.begin(), list.end(), n);
            if (next == list.end() || *next == n + 1) continue;
            const size_t width = e - s + 1;
            std::string gap = padded(n + 1, width);
            if (*next > n + 2) gap += "-" + padded(*next - 1, width);
            kept.missing[entry] = gap;
        }
    }
}

template <typename C>
int32_t get_value(plugin_context& context, const C* file_name, int32_t field, void* value, int32_t max_length) {
    if (field < 0 || field >= field_count) return ft_nosuchfield;
    if (!file_name || !value) return ft_fileerror;
    std::basic_string<C> host_path = peek_string(file_name);
    while (host_path.size() > 1 && host_path.back() == C(path_separator)) host_path.pop_back();
    if (!drive_of<C>(host_path).empty()) return ft_fieldempty;  // a drive is a folder of the root
    found_entry<C> found;
    if (!find_host_entry<C>(context, host_path, found)) return ft_fileerror;
    const entry_view<C> e = found.view();
    if (e.count == 0) return ft_fieldempty;  // a folder
    if (field == field_members) {
        if (max_length < 4) return ft_fieldempty;
        const int32_t members = static_cast<int32_t>(e.count);
        std::memcpy(value, &members, sizeof members);
        return ft_numeric_32;
    }
    if (e.count < 2) return ft_fieldempty;
    const listing<C>& l = found.kept->data;
    std::string shown;
    if (field == field_first || field == field_last) {
        const std::basic_string_view<C> member = l.name_of(l.files[e.first + (field == field_first ? 0 : e.count - 1)]);
        shown = ascii_of(field_text(member, number_field{e.field_start, e.field_end}));
    } else {
        std::lock_guard<std::mutex> hold(found.kept->lock);
        if (!found.kept->missing_known) find_missing(*found.kept);
        auto it = found.kept->missing.find(static_cast<uint32_t>(found.index));
        if (it == found.kept->missing.end()) return ft_fieldempty;
        shown = it->second;
    }
    write_text(static_cast<char*>(value), shown, max_length);
    return ft_string;
}

}  // namespace

int32_t FsContentGetSupportedField(int32_t field_index, char* field_name, char* units, int32_t max_length) {
    if (field_index < 0 || field_index >= field_count) return ft_nomorefields;
    write_text(field_name, field_names[field_index], max_length);
    write_text(units, "", max_length);
    return field_types[field_index];
}

int32_t FsContentGetValue(const char* file_name, int32_t field_index, int32_t, void* value, int32_t max_length,
                          int32_t) {
    return get_value(context(), file_name, field_index, value, max_length);
}

int32_t FsContentGetValueW(const char16_t* file_name, int32_t field_index, int32_t, void* value,
                           int32_t max_length, int32_t) {
    return get_value(context(), file_name, field_index, value, max_length);
}

int32_t FsContentGetSupportedFieldFlags(int32_t) { return 0; }

int32_t FsContentGetDefaultView(char* contents, char* headers, char* widths, char* options, int32_t max_length) {
    // Fields of one view are separated by the two characters \n; the widths
    // start with the name's and the extension's, a negative width aligns right.
    write_text(contents, "[=tc.size]\\n[=tc.writedate]\\n[=<fs>.Members]\\n[=<fs>.Missing]", max_length);
    write_text(headers, "Size\\nDate\\nMembers\\nMissing", max_length);
    write_text(widths, "148,23,-70,80,-55,90", max_length);
    write_text(options, "-1|0", max_length);
    return 1;
}

void FsContentPluginUnloading() { reset_listings(context().tables); }

}  // namespace tallyrun
