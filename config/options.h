// The configuration schema: finding, checking and reporting tallyrun.ini, and the options it yields.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyrun {

// The validated configuration; always meets the schema's constraints.
struct sequence_options {
    std::string seqpattern = "%s-%s";
    int first = 1;  // first position at which the number may begin (>= 1)
    int last = 0;   // last position at which it may end; 0 = the end of the name
};

// Where tallyrun.ini is looked for: each folder in turn (empty, or ending in
// a separator) joined to the name; the first file that opens is the one read.
struct ini_place {
    std::vector<std::u16string> folders;
    std::u16string name = u"tallyrun.ini";
};

// Reads the first file of `where` that opens, shows each problem in a message
// box and returns valid options; never fails. No file at all gives the
// defaults without a message.
sequence_options read_ini(const ini_place& where);

// Shows text in a message box captioned "Tallyrun", type 48, owned by the
// active window: through MessageBoxA when the text is all of the ANSI code
// page, else through MessageBoxW.
void show_error(const std::u16string& text);

// The configuration's errors; each has one message format.
enum class config_error {
    in_file,  // the prefix of every other message
    no_section,
    broken_header,
    duplicate_name,
    invalid_section,
    invalid_key,
    empty_value,
    bad_value,
};

// The largest number a range may hold.
inline constexpr int range_limit = 1073741823;

// The format of an error ("" for a value that names none).
std::string_view error_format(config_error code);
// The prefix format joined with code's format, each "%s"/"%d" taking the next
// argument unchanged (so a '%' inside an argument is copied as it is). The
// path is UTF-16; the arguments, as read from the file, are ANSI.
std::u16string compose_error(config_error code, const std::u16string& path, const std::vector<std::string>& args);

// The directive signature of a non-empty pattern without backslash: each "%s"
// or "%d" found by the toggling walk, with what stands between '%' and letter.
std::string pattern_directives(std::string_view pattern);
// True when pattern may serve as seqpattern: no backslash, signature "%s%s",
// and every '%' is part of a "%%" or of one of the two "%s".
bool pattern_accepted(std::string_view pattern);
// (first, last) of a non-empty range value, or nothing when it fails the schema.
std::optional<std::pair<int, int>> parse_range(std::string_view value);

}  // namespace tallyrun
