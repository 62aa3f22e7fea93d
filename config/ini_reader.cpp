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

// The reader's state between lines. A line yields "go on" (keep_going) or a
// final failure code.
constexpr int keep_going = INT_MIN;

struct ini_parser {
    ini_result result;
    bool have_header = false;
    std::string name;                          // current section's name
    std::vector<ini_entry> entries;            // current section's entries
    std::unordered_set<std::string> entry_keys;  // their lowered names (nameless as "")
    std::unordered_set<std::string> section_keys;  // lowered names of finished sections
    int64_t line_number = 0;

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

    int line(std::string_view raw) {
        ++line_number;
        std::string text = trim(raw);
        if (text.empty()) return keep_going;
        if (text[0] == '[') {
            if (!entries.empty() || !name.empty()) finish_section();
            size_t close = find_from(']', text, 1);
            if (close == 0 || close == 2) return line_code();
            std::string new_name = text.substr(1, close - 2);
            if (section_keys.count(win_lower(new_name))) return -line_code();
            name = std::move(new_name);
            have_header = true;
            return keep_going;
        }
        if (text[0] == ';' || !have_header) {
            add_entry(std::string(), std::move(text));
            return keep_going;
        }
        size_t equals = find_from('=', text, 1);
        if (equals == 0) {
            add_entry(std::string(), std::move(text));
            return keep_going;
        }
        std::string key = trim_right(std::string_view(text).substr(0, equals - 1));
        std::string value = trim_left(std::string_view(text).substr(equals));
        // A duplicate needs an earlier line, so this never yields -1.
        if (entry_keys.count(key.empty() ? std::string() : win_lower(key))) return -line_code();
        add_entry(std::move(key), std::move(value));
        return keep_going;
    }

    ini_result finish() {
        if (!have_header) {
            result = ini_result{};
            result.code = 0;
            return std::move(result);
        }
        finish_section();
        result.ok = true;
        return std::move(result);
    }

    static ini_result failed(int code) {
        ini_result r;
        r.code = code;
        return r;
    }
};

// Feeds every complete line of buffer[from..] to the parser; returns the first
// failure code or keep_going, and leaves the unfinished tail in buffer.
int feed_lines(ini_parser& parser, std::string& buffer) {
    size_t from = 0;
    for (;;) {
        size_t lf = buffer.find('\n', from);
        if (lf == std::string::npos) break;
        int code = parser.line(std::string_view(buffer).substr(from, lf - from));
        if (code != keep_going) return code;
        from = lf + 1;
    }
    buffer.erase(0, from);
    return keep_going;
}

}  // namespace

ini_result parse_ini_text(std::string_view content) {
    ini_parser parser;
    std::string pending(content);
    int code = feed_lines(parser, pending);
    // The text after the last LF is a last line only when it holds bytes.
    if (code == keep_going && !pending.empty()) code = parser.line(pending);
    return code == keep_going ? parser.finish() : ini_parser::failed(code);
}

ini_result read_ini_file(const std::u16string& path) {
    if (!win.CreateFileW || !win.ReadFile || !win.CloseHandle) return ini_parser::failed(-1);
    file_handle file(win.CreateFileW(path.c_str(), generic_read, file_share_read, nullptr, open_existing,
                                     file_attribute_normal, nullptr));
    if (!file.ok()) return ini_parser::failed(-1);

    // Read in chunks and hand over whole lines as they complete, so that a
    // syntax error stops the read early and memory stays near the table's size.
    ini_parser parser;
    std::vector<char> chunk(64 * 1024);
    std::string pending;
    int code = keep_going;
    for (;;) {
        uint32_t done = 0;
        if (!win.ReadFile(file.get(), chunk.data(), static_cast<uint32_t>(chunk.size()), &done, nullptr)) {
            return ini_parser::failed(-1);  // a file that cannot be read counts as one that cannot be opened
        }
        if (done == 0) break;
        if (done > chunk.size()) done = static_cast<uint32_t>(chunk.size());
        pending.append(chunk.data(), done);
        code = feed_lines(parser, pending);
        if (code != keep_going) return ini_parser::failed(code);
    }
    if (!pending.empty()) code = parser.line(pending);
    return code == keep_going ? parser.finish() : ini_parser::failed(code);
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
