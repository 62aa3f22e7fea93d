// Tests of the INI reader: the table it builds, its three syntax errors and its safety on odd input.
#include "config/ini_reader.h"

#include <gtest/gtest.h>

#include <random>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#endif

#include "fakes/fake_fs.h"

namespace tallyrun {
namespace {

const char* ini_path = "C:\\cfg\\tallyrun.ini";

// How a read ended, as text: "a table", or its failure and line.
std::string outcome(const ini_result& r) {
    if (r.ok) return "a table";
    switch (r.failure) {
    case ini_failure::cannot_read: return "cannot read";
    case ini_failure::no_section: return "no section";
    case ini_failure::broken_header: return "broken header on line " + std::to_string(r.line);
    case ini_failure::duplicate_name: return "duplicate name on line " + std::to_string(r.line);
    }
    return "unknown failure";
}

std::string outcome_of(std::string_view content) { return outcome(parse_ini_text(content)); }

// A table as text: "[name]{n=v|n=v}" per section, for compact comparison.
std::string shape(const ini_result& r) {
    if (!r.ok) return outcome(r);
    std::string s;
    for (const ini_section& section : r.table) {
        s += "[" + section.name + "]{";
        for (size_t i = 0; i < section.entries.size(); ++i)
            s += (i ? "|" : "") + section.entries[i].name + "=" + section.entries[i].value;
        s += "}";
    }
    return s;
}

TEST(ini_reader, no_section_header) {
    EXPECT_EQ(outcome_of(""), "no section");
    EXPECT_EQ(outcome_of("\n\n   \n\t\r\n"), "no section");
    EXPECT_EQ(outcome_of("; only a comment\n\n;another\n"), "no section");
    EXPECT_EQ(outcome_of("key=value\nother=1\n"), "no section");
}

TEST(ini_reader, broken_headers_yield_their_line) {
    EXPECT_EQ(outcome_of("; one\n\n[]\n"), "broken header on line 3");
    EXPECT_EQ(outcome_of("\n[Options\nrange=1-2\n"), "broken header on line 2");
    EXPECT_EQ(outcome_of("[Options]\nrange=1-2\n[]x]\n"), "broken header on line 3");  // the first ']' is the second byte
    EXPECT_EQ(outcome_of("  [\n"), "broken header on line 1");
}

TEST(ini_reader, header_names) {
    EXPECT_EQ(shape(parse_ini_text("[ ]\n")), "[ ]{}");
    EXPECT_EQ(shape(parse_ini_text("[Options] ; main\n")), "[Options]{}");
    EXPECT_EQ(shape(parse_ini_text("  [My Options]]tail  \n")), "[My Options]{}");
    EXPECT_EQ(shape(parse_ini_text("[a]\n[b]\n[c]x\n")), "[a]{}[b]{}[c]{}");
}

TEST(ini_reader, duplicate_sections_ignore_case) {
    EXPECT_EQ(outcome_of("[options]\n\nx=1\n\n[OPTIONS]\n"), "duplicate name on line 5");
    EXPECT_EQ(outcome_of("[a]\n[b]\n[A]\n"), "duplicate name on line 3");
    EXPECT_EQ(outcome_of("[\xC4]\n[\xE4]\n"), "duplicate name on line 2");  // code page 1252 upper and lower A umlaut
}

TEST(ini_reader, duplicate_keys_in_one_section) {
    EXPECT_EQ(outcome_of("[Options]\nrange=1-9\nRange = 2\n"), "duplicate name on line 3");
    EXPECT_EQ(outcome_of("[a]\nk=1\n[b]\nk=2\n"), "a table") << "the same key in two sections is fine";
    EXPECT_EQ(outcome_of("[a]\n; note\n=x\n"), "duplicate name on line 3") << "a comment has the empty name";
    EXPECT_EQ(outcome_of("[a]\nno equals here\n=x\n"), "duplicate name on line 3");
    EXPECT_EQ(outcome_of("[a]\n=x\n=y\n"), "duplicate name on line 3");
    EXPECT_EQ(outcome_of("[a]\n=x\nplain\n;c\n"), "a table") << "lines without '=' are not tested";
}

TEST(ini_reader, entry_lines) {
    EXPECT_EQ(shape(parse_ini_text("[s]\na = b = c\n")), "[s]{a=b = c}");
    EXPECT_EQ(shape(parse_ini_text("[s]\nname=\n")), "[s]{name=}");
    EXPECT_EQ(shape(parse_ini_text("[s]\n=x\n")), "[s]{=x}");
    EXPECT_EQ(shape(parse_ini_text("[s]\n#note\n#a=b\n")), "[s]{=#note|#a=b}");
    EXPECT_EQ(shape(parse_ini_text("[s]\n  Key \t=\t Mixed  Case  \n")), "[s]{Key=Mixed  Case}");
    EXPECT_EQ(shape(parse_ini_text("[s]\n; c = d\n")), "[s]{=; c = d}");
}

TEST(ini_reader, lead_in_section) {
    EXPECT_EQ(shape(parse_ini_text("key=value\n; c\n[Options]\nrange=2\n")),
              "[]{=key=value|=; c}[Options]{range=2}");
    EXPECT_EQ(shape(parse_ini_text("\n\n[Options]\n")), "[Options]{}") << "blank lines make none";
}

TEST(ini_reader, byte_order_mark_hides_the_first_header) {
    EXPECT_EQ(outcome_of("\xEF\xBB\xBF[Options]\nrange=1-2\n"), "no section");
    EXPECT_EQ(shape(parse_ini_text("\xEF\xBB\xBF[Options]\n[Other]\n")),
              "[]{=\xEF\xBB\xBF[Options]}[Other]{}");
}

TEST(ini_reader, carriage_returns_alone_make_one_line) {
    EXPECT_EQ(shape(parse_ini_text("[Options]\rrange=1-2\rseqpattern=%s%s\r")), "[Options]{}");
    EXPECT_EQ(outcome_of("; c\r[Options]\r"), "no section");
    EXPECT_EQ(shape(parse_ini_text("[Options\r]\r")), "[Options\r]{}") << "the CR is inside";
}

TEST(ini_reader, line_endings) {
    EXPECT_EQ(shape(parse_ini_text("[s]\r\na=1\r\nb=2")), "[s]{a=1|b=2}") << "no final line feed";
    EXPECT_EQ(outcome_of("[s]\r\n\r\n\r\na=1\r\nA=2\r\n"), "duplicate name on line 5") << "every physical line counts";
}

TEST(ini_reader, nul_and_high_bytes_are_ordinary_bytes) {
    std::string text("[s\0t]\nk\0=v\0w\n", 13);
    ini_result r = parse_ini_text(text);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.table.size(), 1u);
    EXPECT_EQ(r.table[0].name, std::string("s\0t", 3));
    ASSERT_EQ(r.table[0].entries.size(), 1u);
    EXPECT_EQ(r.table[0].entries[0].name, std::string("k\0", 2));
    EXPECT_EQ(r.table[0].entries[0].value, std::string("v\0w", 3));
}

TEST(ini_reader, file_through_the_bindings) {
    fake_fs fs;
    fs.add_file(ini_path, ~0ull, {}, 32, "; c\r\n[Options]\r\nRange = 2-12\r\n");
    EXPECT_EQ(shape(read_ini_file(utf16(ini_path))), "[]{=; c}[Options]{Range=2-12}");
    EXPECT_EQ(outcome(read_ini_file(u"C:\\cfg\\missing.ini")), "cannot read");
    EXPECT_FALSE(read_ini_file(u"C:\\cfg\\missing.ini").ok);
    fs.add_folder("C:\\cfg\\folder.ini");
    EXPECT_EQ(outcome(read_ini_file(u"C:\\cfg\\folder.ini")), "cannot read");
}

TEST(ini_reader, file_and_text_agree_across_chunk_boundaries) {
    // Lines that straddle the reader's chunks, CR LF pairs split between chunks included.
    std::string text = "[Options]\r\n";
    for (int i = 0; text.size() < 300000; ++i)
        text += "key" + std::to_string(i) + std::string(i % 97, ' ') + "=" +
                std::string(i % 13, 'v') + "\r\n";
    text += "last=no line feed";
    fake_fs fs;
    fs.add_file(ini_path, ~0ull, {}, 32, text);
    ini_result from_file = read_ini_file(utf16(ini_path));
    ini_result from_text = parse_ini_text(text);
    ASSERT_TRUE(from_file.ok);
    EXPECT_EQ(shape(from_file), shape(from_text));
    EXPECT_EQ(from_file.table[0].entries.back().value, "no line feed");
}

TEST(ini_reader, file_stops_at_the_first_error) {
    std::string text = "[Options]\n";
    for (int i = 0; i < 20000; ++i) text += "k" + std::to_string(i) + "=1\n";
    text += "K5=again\n[]\n";
    fake_fs fs;
    fs.add_file(ini_path, ~0ull, {}, 32, text);
    EXPECT_EQ(outcome(read_ini_file(utf16(ini_path))), "duplicate name on line 20002");
}

int32_t TR_WINAPI failing_read(win_handle, void*, uint32_t, uint32_t* done, void*) {
    if (done) *done = 0;
    return 0;
}

TEST(ini_reader, read_failure_counts_as_unopenable) {
    fake_fs fs;
    fs.add_file(ini_path, ~0ull, {}, 32, "[Options]\n");
    binding_override o(win.ReadFile, failing_read);
    EXPECT_EQ(outcome(read_ini_file(utf16(ini_path))), "cannot read");
}

TEST(ini_reader, huge_inputs) {
    // 10 MB in one section: one pass, no quadratic duplicate test.
    std::string big = "[Options]\n";
    big.reserve(10u << 20);
    for (int i = 0; big.size() < (10u << 20); ++i) big += "name" + std::to_string(i) + "=value\n";
    ini_result r = parse_ini_text(big);
    ASSERT_TRUE(r.ok);
    EXPECT_GT(r.table[0].entries.size(), 500000u);

    std::string key(10000, 'k');
    r = parse_ini_text("[Options]\n" + key + "=" + key + "\n" + key + " = x\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(outcome(r), "duplicate name on line 3");

    std::string one_line(10u << 20, 'x');
    r = parse_ini_text("[s]\n" + one_line);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.table[0].entries[0].value.size(), one_line.size());
}

TEST(ini_reader, random_bytes_never_break_the_invariants) {
    std::mt19937 random(7);
    const char alphabet[] = "[]=;# \t\r\naAbB\0\xC4\xE4\xFF";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        size_t length = random() % 200;
        for (size_t i = 0; i < length; ++i)
            text += round % 2 ? static_cast<char>(random() & 0xFF)
                              : alphabet[random() % (sizeof alphabet - 1)];
        ini_result r = parse_ini_text(text);
        if (!r.ok) {
            EXPECT_NE(outcome(r), "cannot read") << "text never yields 'cannot open'";
            EXPECT_TRUE(r.table.empty());
            continue;
        }
        bool named = false;
        for (size_t i = 0; i < r.table.size(); ++i) {
            named = named || !r.table[i].name.empty();
            EXPECT_TRUE(i == 0 || !r.table[i].name.empty()) << "only the lead-in is nameless";
        }
        EXPECT_TRUE(named) << "a table holds a named section";
    }
}

#ifdef _WIN32
// A real file through the real CreateFileW/ReadFile, across several read chunks.
TEST(ini_reader, real_file_on_disk) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tallyrun_ini_test";
    std::filesystem::create_directories(folder);
    std::string path = (folder / "tallyrun.ini").string();
    std::string text = "; c\r\n[Options]\r\nRange = 2-12\r\n";
    for (int i = 0; text.size() < 200000; ++i) text += "; filler " + std::to_string(i) + "\r\n";
    text += "SeqPattern=%s..%s";
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    ini_result r = read_ini_file((folder / "tallyrun.ini").u16string());
    ASSERT_TRUE(r.ok) << outcome(r) << " for " << path;
    EXPECT_EQ(shape(r), shape(parse_ini_text(text)));
    EXPECT_EQ(r.table[1].entries.back().value, "%s..%s");
    EXPECT_EQ(outcome(read_ini_file((folder / "missing.ini").u16string())), "cannot read");
    EXPECT_EQ(outcome(read_ini_file(folder.u16string())), "cannot read") << "a folder cannot be read";
    std::filesystem::remove_all(folder);
}
#endif

TEST(ini_lookup, sections) {
    ini_result r = parse_ini_text("lead\n[Options]\nrange=1\n[Extra]\n");
    ASSERT_TRUE(r.ok);
    ini_lookup<ini_section> found = get_ini_table(r.table, {"options"});
    EXPECT_EQ(found.position, 3u) << "positions count the nameless lead-in";

    r = parse_ini_text("lead\n[OPTIONS]\nrange=1\n");
    found = get_ini_table(r.table, {"options", "other"});
    EXPECT_EQ(found.position, 0u);
    ASSERT_EQ(found.slots.size(), 2u);
    ASSERT_TRUE(found.slots[0].has_value());
    EXPECT_EQ(found.slots[0]->name, "OPTIONS");
    EXPECT_EQ(found.slots[0]->entries.size(), 1u);
    EXPECT_FALSE(found.slots[1].has_value());
}

TEST(ini_lookup, entries) {
    std::vector<ini_entry> entries = {{"", "; c"}, {"Range", "2-12"}, {"", "plain"}};
    ini_lookup<std::string> found = get_ini_table(entries, {"seqpattern", "range"});
    EXPECT_EQ(found.position, 0u);
    ASSERT_EQ(found.slots.size(), 2u);
    EXPECT_FALSE(found.slots[0].has_value());
    ASSERT_TRUE(found.slots[1].has_value());
    EXPECT_EQ(*found.slots[1], "2-12");

    entries.push_back({"SeqPattern", ""});
    found = get_ini_table(entries, {"seqpattern", "range"});
    ASSERT_TRUE(found.slots[0].has_value()) << "an empty value is present, not absent";
    EXPECT_EQ(*found.slots[0], "");

    entries.push_back({"sequence", "1"});
    entries.push_back({"range2", "1"});
    EXPECT_EQ(get_ini_table(entries, {"seqpattern", "range"}).position, 5u);
}

}  // namespace
}  // namespace tallyrun
