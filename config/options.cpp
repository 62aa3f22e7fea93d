// The configuration schema: finding, checking and reporting tallyrun.ini, and the options it yields.
#include "config/options.h"

#include <cstdint>
#include <iterator>

#include "config/ini_reader.h"
#include "config/text.h"
#include "support/bindings.h"
#include "support/paths.h"
#include "support/unit.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

const std::string_view error_formats[] = {  // by config_error
    "Error in file '%s' :\n",
    "No section found.",
    "Broken section header on line %d.",
    "Duplicate name on line %d.",
    "Invalid section '%s'.",
    "Section '%s' : Invalid key '%s'.",
    "Section '%s' : Value of key '%s' must not be empty.",
    "Section '%s' : Key '%s' cannot take value '%s'.",
};

const std::string options_section = "Options";
const std::vector<std::string> allowed_sections = {"options"};
const std::vector<std::string> allowed_keys = {"seqpattern", "range"};  // by option_key

// The options section's keys.
enum class option_key { seqpattern, range };

// A key's or an error's place in the lists above.
template <typename E>
constexpr size_t index_of(E e) {
    return static_cast<size_t>(e);
}

void report(config_error code, const std::u16string& path, const std::vector<std::string>& args) {
    show_error(compose_error(code, path, args));
}

int hex_digit(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The whole number at the start of a range field (after blanks), or nothing when
// the field does not start with a number, the number is not whole, or it is
// above the limit. Exact for any number of digits and any exponent.
std::optional<int> read_whole(std::string_view f) {
    size_t i = 0;
    while (i < f.size() && blanks.find(f[i]) != std::string_view::npos) ++i;
    if (i < f.size() && f[i] == '+') ++i;

    if (i < f.size() && f[i] == '#') {
        ++i;
        uint64_t value = 0;
        size_t count = 0;
        for (; i < f.size() && hex_digit(f[i]) >= 0; ++i, ++count) {
            value = value * 16 + static_cast<uint64_t>(hex_digit(f[i]));
            if (value > uint64_t{range_limit}) value = uint64_t{range_limit} + 1;  // saturate
        }
        if (count == 0 || value > uint64_t{range_limit}) return std::nullopt;
        return static_cast<int>(value);
    }

    std::string digits;  // integer and fraction digits, the point left out
    int64_t fraction = 0;
    for (; i < f.size() && is_digit(f[i]); ++i) digits += f[i];
    if (i < f.size() && f[i] == '.') {
        for (++i; i < f.size() && is_digit(f[i]); ++i, ++fraction) digits += f[i];
    }
    if (digits.empty()) return std::nullopt;

    int64_t exponent = 0;
    if (i < f.size() && (f[i] == 'e' || f[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < f.size() && (f[i] == '+' || f[i] == '-')) negative = f[i++] == '-';
        size_t count = 0;
        for (; i < f.size() && is_digit(f[i]); ++i, ++count)
            if (exponent < 1000000000) exponent = exponent * 10 + (f[i] - '0');
        if (count == 0) return std::nullopt;
        if (negative) exponent = -exponent;
    }

    // value = digits * 10^(exponent - fraction), worked out without rounding.
    size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) return 0;
    digits.erase(0, lead);
    int64_t scale = exponent - fraction;
    size_t tail = digits.size() - 1 - digits.find_last_not_of('0');
    digits.erase(digits.size() - tail);
    scale += static_cast<int64_t>(tail);
    if (scale < 0) return std::nullopt;  // a fraction remains
    if (static_cast<int64_t>(digits.size()) + scale > 10) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) value = value * 10 + static_cast<uint64_t>(c - '0');
    for (int64_t k = 0; k < scale; ++k) value *= 10;
    if (value > uint64_t{range_limit}) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

std::string_view error_format(config_error code) {
    if (index_of(code) >= std::size(error_formats)) return std::string_view();
    return error_formats[index_of(code)];
}

std::u16string compose_error(config_error code, const std::u16string& path, const std::vector<std::string>& args) {
    std::string format(error_format(config_error::in_file));
    format += error_format(code);
    std::u16string text;
    size_t next = 0;  // 0 is the path, then args
    size_t plain = 0;  // start of the format text not yet copied
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd')) {
            text += to_wide(std::string_view(format).substr(plain, i - plain));
            if (next == 0)
                text += path;
            else if (next <= args.size())
                text += to_wide(args[next - 1]);
            ++next;
            plain = i + 2;
            ++i;
        }
    }
    return text + to_wide(std::string_view(format).substr(plain));
}

void show_error(const std::u16string& text) {
    win_handle owner = owner_window();
    std::string ansi;
    if (win.MessageBoxA && to_ansi(text, ansi)) {
        win.MessageBoxA(owner, ansi.c_str(), "Tallyrun", 48);
    } else if (win.MessageBoxW) {
        win.MessageBoxW(owner, text.c_str(), u"Tallyrun", 48);
    }
}

std::string pattern_directives(std::string_view pattern) {
    std::string signature;
    bool open = false;
    size_t mark = 0;
    for (size_t j = 0; j + 1 < pattern.size(); ++j) {  // 0-based here
        if (pattern[j] == '%') {
            open = !open;
            mark = j;
        }
        if (open && (pattern[j + 1] == 'd' || pattern[j + 1] == 's')) {
            signature.append(pattern.substr(mark, j + 2 - mark));
            open = false;
            ++j;
        }
    }
    return signature;
}

bool pattern_accepted(std::string_view pattern) {
    if (pattern.empty() || pattern.find('\\') != std::string_view::npos) return false;
    if (pattern_directives(pattern) != "%s%s") return false;
    // Read as the name filler reads it, where a stray '%' would stand as itself: here it is a fault.
    int slots = 0;
    bool stray = false;
    read_name_template(pattern, [&](template_piece kind, size_t) {
        if (kind == template_piece::slot) ++slots;
        if (kind == template_piece::stray) stray = true;
    });
    return slots == 2 && !stray;
}

std::optional<std::pair<int, int>> parse_range(std::string_view value) {
    std::vector<std::string> fields = parse_any(value, "-");
    if (fields.size() != 2) return std::nullopt;
    std::optional<int> first = read_whole(fields[0]);
    std::optional<int> last = read_whole(fields[1]);
    if (!first || !last) return std::nullopt;
    if (*first < 1 || *last < 0) return std::nullopt;
    if (*last != 0 && *last < *first) return std::nullopt;
    return std::make_pair(*first, *last);
}

sequence_options read_ini(const ini_place& where) {
    sequence_options options;
    std::u16string path;
    ini_result read;  // cannot_read until a file opens
    for (const std::u16string& folder : where.folders) {
        path = folder + where.name;
        read = read_ini_file(path);
        if (read.ok || read.failure != ini_failure::cannot_read) break;
    }
    if (!read.ok && read.failure == ini_failure::cannot_read) return options;

    if (!read.ok) {
        if (read.failure == ini_failure::no_section)
            report(config_error::no_section, path, {});
        else if (read.failure == ini_failure::broken_header)
            report(config_error::broken_header, path, {std::to_string(read.line)});
        else
            report(config_error::duplicate_name, path, {std::to_string(read.line)});
        return options;
    }

    ini_lookup<ini_section> sections = get_ini_table(read.table, allowed_sections);
    if (sections.position != 0) {
        report(config_error::invalid_section, path, {read.table[sections.position - 1].name});
        return options;
    }
    // A read table always holds a named section, and it can only be this one.
    if (!sections.slots[0]) return options;
    const std::vector<ini_entry>& entries = sections.slots[0]->entries;

    ini_lookup<std::string> keys = get_ini_table(entries, allowed_keys);
    if (keys.position != 0) {
        report(config_error::invalid_key, path, {options_section, entries[keys.position - 1].name});
        return options;
    }

    const size_t seqpattern = index_of(option_key::seqpattern), range_key = index_of(option_key::range);
    if (const std::optional<std::string>& pattern = keys.slots[seqpattern]) {
        if (pattern->empty())
            report(config_error::empty_value, path, {options_section, allowed_keys[seqpattern]});
        else if (!pattern_accepted(*pattern))
            report(config_error::bad_value, path, {options_section, allowed_keys[seqpattern], *pattern});
        else
            options.seqpattern = *pattern;
    }

    if (const std::optional<std::string>& range = keys.slots[range_key]) {
        std::optional<std::pair<int, int>> pair;
        if (range->empty())
            report(config_error::empty_value, path, {options_section, allowed_keys[range_key]});
        else if (!(pair = parse_range(*range)))
            report(config_error::bad_value, path, {options_section, allowed_keys[range_key], *range});
        else {
            options.first = pair->first;
            options.last = pair->second;
        }
    }
    return options;
}

}  // namespace tallyrun
