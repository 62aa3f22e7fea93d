// Fuzz target: any bytes as tallyrun.ini give valid options and at most the schema's messages.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ini_reader.h"
#include "config/options.h"
#include "fakes/fake_fs.h"
#include "fuzz_check.h"
#include "support/bindings.h"

using namespace tallyrun;

namespace {

std::vector<std::string> shown;

int32_t TR_WINAPI record_box(win_handle, const char* text, const char* caption, uint32_t type) {
    FUZZ_CHECK(std::string(caption) == "Tallyrun" && type == 48, "caption '%s' type %u", caption, type);
    shown.push_back(text);
    return 1;
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The message after the path line must be one of the schema's eight texts.
bool known_message(const std::string& m) {
    static const char* starts[] = {"No section found.", "Broken section header on line ",
                                   "Duplicate name on line ", "Invalid section '",
                                   "Section 'Options' : Invalid key '",
                                   "Section 'Options' : Value of key '",
                                   "Section 'Options' : Key '"};
    for (const char* s : starts)
        if (starts_with(m, s)) return true;
    return false;
}

// The schema's rule, walked independently: "%" toggles an open directive, and
// an open directive closed by "d" or "s" joins the signature, which must be "%s%s".
bool pattern_ok(const std::string& p) {
    if (p.empty() || p.find('\\') != std::string::npos) return false;
    std::string signature;
    bool open = false;
    size_t mark = 0;
    for (size_t j = 0; j + 1 < p.size(); ++j) {
        if (p[j] == '%') {
            open = !open;
            mark = j;
        }
        if (open && (p[j + 1] == 'd' || p[j + 1] == 's')) {
            signature += p.substr(mark, j + 2 - mark);
            open = false;
            ++j;
        }
    }
    return signature == "%s%s";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    fake_fs fs;
    fs.add_file("C:\\cfg\\tallyrun.ini", ~0ull, {}, 32, content);
    shown.clear();
    sequence_options o;
    {
        binding_override box(win.MessageBoxA, &record_box);
        o = read_ini(ini_place{{u"C:\\cfg\\"}, u"tallyrun.ini"});
    }
    FUZZ_CHECK(o.first >= 1 && o.first <= 1073741823, "first %d", o.first);
    FUZZ_CHECK(o.last == 0 || (o.last >= o.first && o.last <= 1073741823), "range %d-%d", o.first,
               o.last);
    FUZZ_CHECK(pattern_ok(o.seqpattern), "pattern '%s'", o.seqpattern.c_str());
    FUZZ_CHECK(shown.size() <= 2, "%zu messages", shown.size());
    const std::string head = "Error in file 'C:\\cfg\\tallyrun.ini' :\n";
    for (const std::string& m : shown) {
        FUZZ_CHECK(starts_with(m, head), "message '%s'", m.c_str());
        FUZZ_CHECK(known_message(m.substr(head.size())), "message '%s'", m.c_str());
    }
    // The reader on its own agrees with the reader behind read_ini.
    ini_result direct = parse_ini_text(content);
    FUZZ_CHECK(direct.ok || direct.failure != ini_failure::cannot_read, "parse_ini_text answered cannot_read");
    if (direct.ok) {
        FUZZ_CHECK(!direct.table.empty(), "a table without sections");
        for (size_t i = 0; i < direct.table.size(); ++i)
            FUZZ_CHECK(i == 0 || !direct.table[i].name.empty(), "nameless section %zu", i);
    }
    return 0;
}
