// Reads an INI file into sections and entries, and checks item names against allowed lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyrun {

// One line of a section. Comments, lines without "=" and lines before the first
// header have the empty name and the whole trimmed line as value.
struct ini_entry {
    std::string name;
    std::string value;
};

// A header's name exactly as written between the brackets, and its lines in file order.
struct ini_section {
    std::string name;
    std::vector<ini_entry> entries;
};

// The sections of one file in file order; a nameless lead-in section comes
// first when non-blank lines stand before the first header.
using ini_table = std::vector<ini_section>;

// Why a read yields no table.
enum class ini_failure {
    cannot_read,     // the file cannot be opened or read
    no_section,      // no section header
    broken_header,   // a broken section header, on `line`
    duplicate_name,  // a name met before in its section or among the sections, on `line` (>= 2)
};

// Either a table (ok) or one failure.
struct ini_result {
    bool ok = false;
    ini_failure failure = ini_failure::cannot_read;  // meaningful when !ok
    int line = 0;     // the failing line, for a broken header or a duplicate name
    ini_table table;  // meaningful when ok
};

// Reads the file at path through the binding table (CreateFileW/ReadFile/CloseHandle).
// The first syntax error ends the read. Safe on any bytes and any size.
ini_result read_ini_file(const std::u16string& path);

// The same rules applied to a file's whole content (lines end at LF; a CR
// before the LF goes with the trimming). Never yields cannot_read.
ini_result parse_ini_text(std::string_view content);

// Result of a lookup: position (1-based, among all items) of the first item
// whose lowered name is neither empty nor allowed, or 0 and one slot per allowed
// name (in the order of the allowed list) holding that item's value, if any.
template <typename Value>
struct ini_lookup {
    size_t position = 0;
    std::vector<std::optional<Value>> slots;
};

// allowed: names written in lower case. Items with the empty name are skipped.
ini_lookup<ini_section> get_ini_table(const ini_table& sections,
                                      const std::vector<std::string>& allowed);
ini_lookup<std::string> get_ini_table(const std::vector<ini_entry>& entries,
                                      const std::vector<std::string>& allowed);

}  // namespace tallyrun
