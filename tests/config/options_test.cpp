// Tests of the configuration check: search folders, schema, value checks and the exact message texts.
#include "config/options.h"

#include <gtest/gtest.h>

#include <random>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#endif

#include "fakes/fake_fs.h"
#include "support/paths.h"

namespace tallyrun {
namespace {

const std::string ini_folder = "C:\\cfg\\";
const std::string ini_file = "C:\\cfg\\tallyrun.ini";
const std::string module_file = "C:\\plugins\\tallyrun\\tallyrun.ini";  // beside the module

struct message_box {
    win_handle owner;
    std::string text;
    std::string caption;
    uint32_t type;
};
std::vector<message_box> boxes;
std::vector<std::string> opened;
win_handle active_window = reinterpret_cast<win_handle>(intptr_t{0x5150});
std::vector<std::u16string> wide_boxes;
decltype(win.CreateFileW) real_create = nullptr;

int32_t TR_WINAPI fake_message_box(win_handle owner, const char* text, const char* caption,
                                   uint32_t type) {
    boxes.push_back({owner, text, caption, type});
    return 1;
}
int32_t TR_WINAPI fake_message_box_w(win_handle, const char16_t* text, const char16_t*, uint32_t) {
    wide_boxes.push_back(text);
    return 1;
}
win_handle TR_WINAPI fake_active_window() { return active_window; }
uint32_t TR_WINAPI fake_module_name(win_handle, char16_t* buffer, uint32_t size) {
    const std::u16string name = u"C:\\plugins\\tallyrun\\tallyrun.wfx";
    if (size < name.size() + 1) return 0;
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    return static_cast<uint32_t>(name.size());
}
win_handle TR_WINAPI recording_create(const char16_t* name, uint32_t access, uint32_t share,
                                      void* security, uint32_t disposition, uint32_t flags,
                                      win_handle template_file) {
    opened.push_back(utf8(name));
    return real_create(name, access, share, security, disposition, flags, template_file);
}

// The INI folder, then the module's own folder, as a listing looks for tallyrun.ini.
ini_place place(const std::string& folder) {
    return ini_place{{utf16(folder), file_path<char16_t>(module_filename(), u'\\')}, u"tallyrun.ini"};
}

// A disk with the given INI files, message boxes and opened paths recorded.
struct config_world {
    fake_fs fs;
    binding_override<decltype(win.MessageBoxA)> box{win.MessageBoxA, fake_message_box};
    binding_override<decltype(win.MessageBoxW)> wide_box{win.MessageBoxW, fake_message_box_w};
    binding_override<decltype(win.GetActiveWindow)> active{win.GetActiveWindow, fake_active_window};
    binding_override<decltype(win.GetModuleFileNameW)> module{win.GetModuleFileNameW,
                                                              fake_module_name};
    config_world() {
        boxes.clear();
        wide_boxes.clear();
        opened.clear();
        real_create = win.CreateFileW;
        win.CreateFileW = recording_create;  // fs puts the earlier table back when it goes
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const message_box& b : boxes) t.push_back(b.text);
        return t;
    }
};

std::string prefix(const std::string& path) { return "Error in file '" + path + "' :\n"; }

// Reads one INI file in the INI folder and gives the options and the message texts.
struct outcome {
    sequence_options options;
    std::vector<std::string> texts;
};
outcome read_text(const std::string& content) {
    config_world world;
    world.fs.add_file(ini_file, ~0ull, {}, 32, content);
    outcome o;
    o.options = read_ini(place(ini_folder));
    o.texts = world.texts();
    return o;
}

void expect_defaults(const sequence_options& o) {
    EXPECT_EQ(o.seqpattern, "%s-%s");
    EXPECT_EQ(o.first, 1);
    EXPECT_EQ(o.last, 0);
}

using texts = std::vector<std::string>;

TEST(read_ini, valid_file_and_header_only) {
    outcome o = read_text("; options of the sequence plug-in\r\n[Options]\r\n"
                          "SeqPattern = %s .. %s\r\nRange = 2-12\r\n");
    EXPECT_EQ(o.options.seqpattern, "%s .. %s");
    EXPECT_EQ(o.options.first, 2);
    EXPECT_EQ(o.options.last, 12);
    EXPECT_EQ(o.texts, texts{});

    o = read_text("[Options]\n");
    expect_defaults(o.options);
    EXPECT_EQ(o.texts, texts{});

    o = read_text("[OPTIONS]\nSEQPATTERN=%s_%s\n; note\nplain line\n");
    EXPECT_EQ(o.options.seqpattern, "%s_%s");
    EXPECT_EQ(o.texts, texts{});
}

TEST(read_ini, message_box_owner_caption_and_type) {
    config_world world;
    world.fs.add_file(ini_file, ~0ull, {}, 32, "");
    read_ini(place(ini_folder));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, active_window);
    EXPECT_EQ(boxes[0].caption, "Tallyrun");
    EXPECT_EQ(boxes[0].type, 48u);
    EXPECT_EQ(boxes[0].text, prefix(ini_file) + "No section found.");
}

TEST(read_ini, search_folders) {
    {
        config_world world;
        expect_defaults(read_ini(place(ini_folder)));
        EXPECT_EQ(world.texts(), texts{}) << "no file anywhere: no message";
        EXPECT_EQ(opened, (texts{ini_file, module_file}));
    }
    {
        config_world world;
        world.fs.add_file(module_file, ~0ull, {}, 32, "[Options]\nrange=3-3\nfoo\n[]\n");
        expect_defaults(read_ini(place(ini_folder)));
        EXPECT_EQ(world.texts(), texts{prefix(module_file) + "Broken section header on line 4."});
    }
    {
        config_world world;
        world.fs.add_file(module_file, ~0ull, {}, 32, "[Options]\nrange=3-3\n");
        EXPECT_EQ(read_ini(place(ini_folder)).first, 3) << "found beside the module";
    }
    {
        config_world world;
        world.fs.add_file(ini_file, ~0ull, {}, 32, "[Options]\nrange=0-1\n");
        world.fs.add_file(module_file, ~0ull, {}, 32, "[Options]\nrange=3-3\n");
        expect_defaults(read_ini(place(ini_folder)));
        EXPECT_EQ(world.texts(),
                  texts{prefix(ini_file) + "Section 'Options' : Key 'range' cannot take value '0-1'."});
        EXPECT_EQ(opened, texts{ini_file}) << "the file beside the module is not read";
    }
    {
        config_world world;
        read_ini(place(""));
        ASSERT_FALSE(opened.empty());
        EXPECT_EQ(opened[0], "tallyrun.ini") << "an empty INI folder means the current folder";
    }
}

TEST(read_ini, reader_failures) {
    EXPECT_EQ(read_text("").texts, texts{prefix(ini_file) + "No section found."});
    EXPECT_EQ(read_text("\xEF\xBB\xBF[Options]\n").texts, texts{prefix(ini_file) + "No section found."});
    EXPECT_EQ(read_text("; a\n\n[]\n").texts,
              texts{prefix(ini_file) + "Broken section header on line 3."});
    outcome o = read_text("[Options]\nrange=1-5\nRange=2-6\nseqpattern=%s+%s\n");
    expect_defaults(o.options);
    EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Duplicate name on line 3."});
}

TEST(read_ini, schema_failures) {
    outcome o = read_text("[Settings]\n");
    expect_defaults(o.options);
    EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Invalid section 'Settings'."});

    o = read_text("lead=in\n[Options]\nrange=2-3\n[Extra]\n[More]\n");
    expect_defaults(o.options);
    EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Invalid section 'Extra'."});

    o = read_text("[Options]\nSequence = 1\nrange=2-3\nseqpattern=%s%s\n");
    expect_defaults(o.options);
    EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Section 'Options' : Invalid key 'Sequence'."});
}

TEST(read_ini, empty_values) {
    outcome o = read_text("[Options]\nSeqPattern=\nrange=4-9\n");
    EXPECT_EQ(o.options.seqpattern, "%s-%s");
    EXPECT_EQ(o.options.first, 4) << "the rest of the file still counts";
    EXPECT_EQ(o.options.last, 9);
    EXPECT_EQ(o.texts, texts{prefix(ini_file) +
                             "Section 'Options' : Value of key 'seqpattern' must not be empty."});

    o = read_text("[Options]\nRANGE =   \nseqpattern=%s%s\n");
    EXPECT_EQ(o.options.seqpattern, "%s%s");
    EXPECT_EQ(o.texts, texts{prefix(ini_file) +
                             "Section 'Options' : Value of key 'range' must not be empty."});
}

TEST(read_ini, bad_patterns) {
    for (std::string bad : {"%d-%d", "%s", "%s-%s-%s", "%5s-%s", "%s\\%s", "%s%d%s"}) {
        outcome o = read_text("[Options]\nSeqPattern = " + bad + "\nrange=2-3\n");
        EXPECT_EQ(o.options.seqpattern, "%s-%s") << bad;
        EXPECT_EQ(o.options.first, 2) << bad;
        EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Section 'Options' : Key 'seqpattern' cannot "
                                                    "take value '" + bad + "'."});
    }
}

TEST(read_ini, two_messages_in_order_and_percent_copied_unchanged) {
    config_world world;
    const std::string folder = "C:\\100%s %d%%\\";
    world.fs.add_file(folder + "tallyrun.ini", ~0ull, {}, 32,
                      "[Options]\nseqpattern=%s%d%s\nrange=%s-%d\n");
    expect_defaults(read_ini(place(folder)));
    const std::string path = folder + "tallyrun.ini";
    EXPECT_EQ(world.texts(),
              (texts{prefix(path) + "Section 'Options' : Key 'seqpattern' cannot take value '%s%d%s'.",
                     prefix(path) + "Section 'Options' : Key 'range' cannot take value '%s-%d'."}));
}

TEST(read_ini, odd_files_give_defaults_and_at_most_the_known_messages) {
    std::mt19937 random(11);
    const char alphabet[] = "[]=;-+#%sdeE.0129 \r\nOptionsRangeSeqpattern";
    for (int round = 0; round < 1500; ++round) {
        std::string text = round % 3 ? "[Options]\n" : "";
        size_t length = random() % 120;
        for (size_t i = 0; i < length; ++i)
            text += round % 2 ? static_cast<char>(random() & 0xFF)
                              : alphabet[random() % (sizeof alphabet - 1)];
        outcome o = read_text(text);
        EXPECT_TRUE(pattern_accepted(o.options.seqpattern)) << o.options.seqpattern;
        EXPECT_GE(o.options.first, 1);
        EXPECT_LE(o.options.first, range_limit);
        EXPECT_TRUE(o.options.last == 0 ||
                    (o.options.last >= o.options.first && o.options.last <= range_limit));
        EXPECT_LE(o.texts.size(), 2u);
        for (const std::string& t : o.texts) EXPECT_EQ(t.rfind(prefix(ini_file), 0), 0u) << t;
    }
}

TEST(read_ini, huge_and_long_files) {
    std::string key(10000, 'q');
    outcome o = read_text("[Options]\n" + key + "=1\n");
    EXPECT_EQ(o.texts, texts{prefix(ini_file) + "Section 'Options' : Invalid key '" + key + "'."});

    std::string big = "[Options]\nrange=5-6\n";
    while (big.size() < (10u << 20)) big += "; filler comment line of a generous length\r\n";
    o = read_text(big);
    EXPECT_EQ(o.options.first, 5);
    EXPECT_EQ(o.texts, texts{});
}

#ifdef _WIN32
// A real INI folder on disk; the message names the real path.
TEST(read_ini, real_folder_on_disk) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tallyrun_options_test";
    std::filesystem::create_directories(folder);
    std::string folder_text = folder.string() + "\\";
    {
        std::ofstream out(folder / "tallyrun.ini", std::ios::binary);
        out << "[Options]\r\nseqpattern = %s_%s\r\nrange = 3-2\r\n";
    }
    boxes.clear();
    binding_override<decltype(win.MessageBoxA)> box{win.MessageBoxA, fake_message_box};
    sequence_options o = read_ini(place(folder_text));
    EXPECT_EQ(o.seqpattern, "%s_%s");
    EXPECT_EQ(o.first, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, prefix(folder_text + "tallyrun.ini") +
                                 "Section 'Options' : Key 'range' cannot take value '3-2'.");
    std::filesystem::remove_all(folder);
}
#endif

TEST(pattern_check, directives) {
    EXPECT_EQ(pattern_directives("%s-%s"), "%s%s");
    EXPECT_EQ(pattern_directives("%s to %s (100%%)"), "%s%s");
    EXPECT_EQ(pattern_directives("%5s-%s"), "%5s%s");
    EXPECT_EQ(pattern_directives("%s%d%s"), "%s%d%s");
    EXPECT_EQ(pattern_directives("%xd%s%s"), "%xd%s%s") << "an open '%' runs to the next d or s";
    EXPECT_EQ(pattern_directives("%x%s-%s"), "%s") << "a second '%' closes an open one";
    EXPECT_EQ(pattern_directives("%%s%s"), "%s");
}

TEST(pattern_check, accepted) {
    for (const char* good : {"%s-%s", "%s%s", "%s to %s (100%%)", "%%%s%s%%", "[%s]%s"})
        EXPECT_TRUE(pattern_accepted(good)) << good;
    for (const char* bad : {"", "%d-%d", "%s", "%s-%s-%s", "%5s-%s", "%s\\%s", "%s%d%s", "%s-%S"})
        EXPECT_FALSE(pattern_accepted(bad)) << bad;
}

TEST(pattern_check, stray_percent_that_the_walk_misses) {
    // The walk never looks at the last byte and lets an open '%' fall off the
    // end, yet each of these would change the slots of the name template.
    for (const char* bad : {"%s%s%", "%s%s%x", "%s-%s 5%", "%q%%s%s"}) {
        EXPECT_EQ(pattern_directives(bad), "%s%s") << bad;
        EXPECT_FALSE(pattern_accepted(bad)) << bad;
    }
}

std::string range_of(std::string_view value) {
    std::optional<std::pair<int, int>> r = parse_range(value);
    return r ? std::to_string(r->first) + "," + std::to_string(r->second) : "fails";
}

TEST(range_check, good) {
    EXPECT_EQ(range_of("1-0"), "1,0");
    EXPECT_EQ(range_of("3-3"), "3,3");
    EXPECT_EQ(range_of(" 2 - 12 "), "2,12");
    EXPECT_EQ(range_of("2--12"), "2,12");
    EXPECT_EQ(range_of("-2-12-"), "2,12");
    EXPECT_EQ(range_of("+2-#C"), "2,12");
    EXPECT_EQ(range_of("2x-12"), "2,12");
    EXPECT_EQ(range_of("\t\r\n2-12"), "2,12");
    EXPECT_EQ(range_of("2.0-1e1"), "2,10");
    EXPECT_EQ(range_of("2.-12.000"), "2,12");
    EXPECT_EQ(range_of(".2e1-+1E+1"), "2,10");
    EXPECT_EQ(range_of("0002-1073741823"), "2,1073741823");
    EXPECT_EQ(range_of("#3FFFFFFF-0"), "1073741823,0");
    EXPECT_EQ(range_of("1-" + std::string(5000, '0') + "7"), "1,7");
    EXPECT_EQ(range_of("1-7." + std::string(5000, '0')), "1,7");
    EXPECT_EQ(range_of("1-0.0007e+4"), "1,7");
}

TEST(range_check, bad) {
    for (std::string bad : {"0-5", "5-3", "5", "1-2-3", "1.5-3", "a-3", "1-1073741824", "", "-",
                            "1-2e", "1-2E+", "1-#", "1-#c", "1-.", "1-+", "1-++2", "1-0.15e+1",
                            "1-1e10", "1-1e999999999999", "1-#40000000", "1-#FFFFFFFFFFFFFFFFF",
                            "1- 99999999999999999999"})
        EXPECT_EQ(range_of(bad), "fails") << "value '" << bad << "'";
}

TEST(messages, formats) {
    EXPECT_EQ(error_format(config_error::in_file), "Error in file '%s' :\n");
    EXPECT_EQ(error_format(config_error::bad_value), "Section '%s' : Key '%s' cannot take value '%s'.");
    EXPECT_EQ(error_format(static_cast<config_error>(-1)), "");
    EXPECT_EQ(error_format(static_cast<config_error>(8)), "");
    EXPECT_EQ(compose_error(config_error::broken_header, u"C:\\cfg\\tallyrun.ini", {"3"}),
              u"Error in file 'C:\\cfg\\tallyrun.ini' :\nBroken section header on line 3.");
}

TEST(read_ini, a_path_beyond_the_code_page_is_shown_whole) {
    config_world world;
    const std::u16string folder = u"C:\\\u043d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438\\";
    world.fs.add_file(folder + u"tallyrun.ini", ~0ull, {}, 32, "[Options]\nrange=x\n");
    expect_defaults(read_ini(ini_place{{folder}, u"tallyrun.ini"}));
    EXPECT_TRUE(boxes.empty()) << "the 8-bit box would show question marks";
    ASSERT_EQ(wide_boxes.size(), 1u);
    EXPECT_EQ(utf8(wide_boxes[0]), utf8(u"Error in file '" + folder + u"tallyrun.ini' :\n") +
                                       "Section 'Options' : Key 'range' cannot take value 'x'.");
}

}  // namespace
}  // namespace tallyrun
