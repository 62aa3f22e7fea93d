// Reads an INI file into sections and entries, and checks item names against allowed lists.
#include "config/ini_reader.h"

#include <climits>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "config/text.h"
#include "support/bindings.h"
#include "support/handles.h"

namespace tallyrun {
namespace {

// The reader's state between lines. A line either lets the read go on or
// ends it with a failure at that line.
struct ini_parser {
    ini_result result;
    bool have_header = false;
    std::string name;                          // current section's name
    std::vector<ini_entry> entries;            // current section's entries
    std::unordered_set<std::string> entry_keys;  // their lowered names (nameless as "")
    std::unordered_set<std::string> section_keys;  // lowered names of finished sections
    int64_t line_number = 0;
    ini_failure failure = ini_failure::no_section;  // why the line that ended the read did

    // Line numbers beyond int cannot be told apart; they stick at INT_MAX.
    int line_code() const { return line_number > INT_MAX ? INT_MAX : static_cast<int>(line_number); }

    void finish_section() {
        section_keys.insert(win_lower(name));
        result.table.push_back(ini_section{std::move(name), std::move(entries)});
        name.clear();
        entries.clear();
        entry_keys.clear();
    }

    void add_entry(std::string entry_name, std::string value) {
        // The lowered name is only needed for the duplicate test of later lines.
        entry_keys.insert(entry_name.empty() ? std::string() : win_lower(entry_name));
        entries.push_back(ini_entry{std::move(entry_name), std::move(value)});
    }

    bool fail(ini_failure why) {
        failure = why;
        return false;
    }

    // Reads one line; false when it ends the read (failure says why).
    bool line(std::string_view raw) {
        ++line_number;
        std::string text = trim(raw);
        if (text.empty()) return true;
        if (text[0] == '[') {
            if (!entries.empty() || !name.empty()) finish_section();
            size_t close = find_from(']', text, 1);
            if (close == 0 || close == 2) return fail(ini_failure::broken_header);
            std::string new_name = text.substr(1, close - 2);
            if (section_keys.count(win_lower(new_name))) return fail(ini_failure::duplicate_name);
            name = std::move(new_name);
            have_header = true;
            return true;
        }
        if (text[0] == ';' || !have_header) {
            add_entry(std::string(), std::move(text));
            return true;
        }
        size_t equals = find_from('=', text, 1);
        if (equals == 0) {
            add_entry(std::string(), std::move(text));
            return true;
        }
        std::string key = trim_right(std::string_view(text).substr(0, equals - 1));
        std::string value = trim_left(std::string_view(text).substr(equals));
        // A duplicate needs an earlier line, so it is never on line 1.
        if (entry_keys.count(key.empty() ? std::string() : win_lower(key))) return fail(ini_failure::duplicate_name);
        add_entry(std::move(key), std::move(value));
        return true;
    }

    ini_result finish() {
        if (!have_header) return failed(ini_failure::no_section, 0);
        finish_section();
        result.ok = true;
        return std::move(result);
    }

    // The failure of the line that ended the read.
    ini_result failed() const { return failed(failure, line_code()); }

    static ini_result failed(ini_failure why, int line) {
        ini_result r;
        r.failure = why;
        r.line = line;
        return r;
    }
};

// Feeds every complete line of buffer[from..] to the parser; false when a line
// ended the read. Leaves the unfinished tail in buffer.
bool feed_lines(ini_parser& parser, std::string& buffer) {
    size_t from = 0;
    for (;;) {
        size_t lf = buffer.find('\n', from);
        if (lf == std::string::npos) break;
        if (!parser.line(std::string_view(buffer).substr(from, lf - from))) return false;
        from = lf + 1;
    }
    buffer.erase(0, from);
    return true;
}

}  // namespace

ini_result parse_ini_text(std::string_view content) {
    ini_parser parser;
    std::string pending(content);
    bool going = feed_lines(parser, pending);
    // The text after the last LF is a last line only when it holds bytes.
    if (going && !pending.empty()) going = parser.line(pending);
    return going ? parser.finish() : parser.failed();
}

ini_result read_ini_file(const std::u16string& path) {
    if (!win.CreateFileW || !win.ReadFile || !win.CloseHandle) return ini_parser::failed(ini_failure::cannot_read, 0);
    file_handle file(win.CreateFileW(path.c_str(), generic_read, file_share_read, nullptr, open_existing,
                                     file_attribute_normal, nullptr));
    if (!file.ok()) return ini_parser::failed(ini_failure::cannot_read, 0);

    // Read in chunks and hand over whole lines as they complete, so that a
    // syntax error stops the read early and memory stays near the table's size.
    ini_parser parser;
    std::vector<char> chunk(64 * 1024);
    std::string pending;
    for (;;) {
        uint32_t done = 0;
        if (!win.ReadFile(file.get(), chunk.data(), static_cast<uint32_t>(chunk.size()), &done, nullptr)) {
            return ini_parser::failed(ini_failure::cannot_read, 0);  // a file that cannot be read counts as one that cannot be opened
        }
        if (done == 0) break;
        if (done > chunk.size()) done = static_cast<uint32_t>(chunk.size());
        pending.append(chunk.data(), done);
        if (!feed_lines(parser, pending)) return parser.failed();
    }
    const bool going = pending.empty() || parser.line(pending);
    return going ? parser.finish() : parser.failed();
}

namespace {

template <typename Item, typename Value, typename Get>
ini_lookup<Value> lookup(const std::vector<Item>& items, const std::vector<std::string>& allowed,
                         Get value_of) {
    ini_lookup<Value> result;
    result.slots.resize(allowed.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].name.empty()) continue;
        std::string lowered = win_lower(items[i].name);
        size_t slot = 0;
        while (slot < allowed.size() && allowed[slot] != lowered) ++slot;
        if (slot == allowed.size()) {
            result.position = i + 1;
            result.slots.assign(allowed.size(), std::nullopt);
            return result;
        }
        result.slots[slot] = value_of(items[i]);
    }
    return result;
}

}  // namespace

ini_lookup<ini_section> get_ini_table(const ini_table& sections,
                                      const std::vector<std::string>& allowed) {
    return lookup<ini_section, ini_section>(sections, allowed,
                                            [](const ini_section& s) { return s; });
}

ini_lookup<std::string> get_ini_table(const std::vector<ini_entry>& entries,
                                      const std::vector<std::string>& allowed) {
    return lookup<ini_entry, std::string>(entries, allowed,
                                          [](const ini_entry& e) { return e.value; });
}

}  // namespace tallyrun
