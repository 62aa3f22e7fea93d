// Tests of the path, host-memory, module, drive, key and number-half helpers.
#include "support/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tallyrun {
namespace {

struct split_case {
    const char* path;
    const char* folder;
    const char* name;
};

TEST(paths, folder_and_name_parts) {
    const split_case cases[] = {
        {"C:\\dir\\file.txt", "C:\\dir\\", "file.txt"},
        {"C:\\dir\\", "C:\\dir\\", ""},
        {"C:", "C:", ""},
        {"C:file", "C:", "file"},
        {"file.txt", "", "file.txt"},
        {"dir\\.hidden", "dir\\.hidden\\", ""},
        {"..", "..\\", ""},
        {"", "", ""},
        {"\\", "\\", ""},
        {"C:\\a:b\\c", "C:\\a:b\\", "c"},
        {"a:b:c", "a:", "b:c"},
    };
    for (const split_case& c : cases) {
        EXPECT_EQ(file_path<char>(c.path, '\\'), c.folder) << "file_path of '" << c.path << "'";
        std::u16string wide(c.path, c.path + std::strlen(c.path)), folder(c.folder, c.folder + std::strlen(c.folder));
        EXPECT_EQ(file_path<char16_t>(wide, u'\\'), folder) << "wide file_path of '" << c.path << "'";
    }
    EXPECT_EQ(last_separator<char>("C:\\dir\\f", '\\'), 7u);
    EXPECT_EQ(last_separator<char>("C:f", '\\'), 2u);
    EXPECT_EQ(last_separator<char>("f", '\\'), 0u);
    EXPECT_EQ(file_path<char>("a/b/c", '/'), "a/b/") << "the separator is the caller's";
}

TEST(paths, split_path_keeps_dot_names_names) {
    struct {
        const char *path, *folder, *name;
    } cases[] = {{"C:\\dir\\file.txt", "C:\\dir\\", "file.txt"}, {"C:\\dir\\.profile", "C:\\dir\\", ".profile"},
                 {"C:\\dir\\", "C:\\dir\\", ""}, {"file", "", "file"}, {"", "", ""}, {"C:file", "", "C:file"}};
    for (const auto& c : cases) {
        split_path<char> s(c.path, '\\');
        EXPECT_EQ(s.folder, c.folder) << c.path;
        EXPECT_EQ(s.name, c.name) << c.path;
    }
}

TEST(paths, long_wide_paths_get_the_prefix_that_lifts_the_limit) {
    const std::u16string short_path = u"C:\\" + std::u16string(255, u'a');  // 258 units
    EXPECT_EQ(system_path<char16_t>(short_path), short_path);
    const std::u16string long_path = short_path + u"bb";  // 260
    EXPECT_EQ(system_path<char16_t>(long_path), u"\\\\?\\" + long_path);
    EXPECT_EQ(system_path<char16_t>(u"\\\\?\\" + long_path), u"\\\\?\\" + long_path) << "never twice";
    const std::u16string unc = u"\\\\server\\share\\" + std::u16string(250, u'u');
    EXPECT_EQ(system_path<char16_t>(unc), u"\\\\?\\UNC\\" + unc.substr(2));
    const std::string narrow = "C:\\" + std::string(300, 'a');
    EXPECT_EQ(system_path<char>(narrow), narrow) << "the 8-bit side keeps its limits";
}

// Writes text into a buffer of size bytes with guard bytes on both sides.
std::string poked(std::string_view text, size_t size, bool& guards_intact) {
    const size_t guard = 16;
    std::vector<char> block(size + 2 * guard, '\x5A');
    poke_string<char>(block.data() + guard, text, size);
    guards_intact = true;
    for (size_t i = 0; i < guard; ++i)
        guards_intact = guards_intact && block[i] == '\x5A' && block[guard + size + i] == '\x5A';
    return std::string(block.data() + guard, size);
}

TEST(paths, poke_string_keeps_to_its_size) {
    bool intact = false;
    EXPECT_EQ(poked("abc", 1, intact), std::string(1, '\0'));
    EXPECT_TRUE(intact);

    std::string long_text(300, 'x');
    std::string got = poked(long_text, 260, intact);
    EXPECT_TRUE(intact);
    EXPECT_EQ(got, std::string(259, 'x') + '\0');

    got = poked("short", 260, intact);
    EXPECT_TRUE(intact);
    EXPECT_EQ(std::string(got.c_str()), "short");

    got = poked(std::string(259, 'y'), 260, intact);
    EXPECT_TRUE(intact);
    EXPECT_EQ(got, std::string(259, 'y') + '\0') << "a text that just fits";
}

TEST(paths, peek_string_stops_at_the_nul) {
    const char memory[] = "C:\\dir\0after";
    EXPECT_EQ(peek_string<char>(memory), "C:\\dir");
    EXPECT_EQ(peek_string<char>(""), "");
    EXPECT_EQ(peek_string<char16_t>(u"\u0416\0after"), u"\u0416");
}

std::string asked_root;
uint32_t TR_WINAPI fake_drive_type(const char* root) {
    asked_root = root;
    return 3;
}

TEST(paths, drive_type_appends_a_backslash) {
    binding_override o(win.GetDriveTypeA, fake_drive_type);
    EXPECT_EQ(drive_type("A:"), 3u);
    EXPECT_EQ(asked_root, "A:\\");
    drive_type("C:\\");
    EXPECT_EQ(asked_root, "C:\\");
    drive_type("");
    EXPECT_EQ(asked_root, "");
}

// A module path of 300 units: Windows fills a smaller buffer and says so by its whole size.
uint32_t TR_WINAPI long_module_name(win_handle, char16_t* buffer, uint32_t size) {
    const uint32_t n = size < 300 ? size : 300;
    std::fill(buffer, buffer + n, u'\u043c');
    if (n < size) buffer[n] = 0;
    return n;
}
uint32_t TR_WINAPI failing_module_name(win_handle, char16_t*, uint32_t) { return 0; }

TEST(paths, module_filename) {
    {
        binding_override o(win.GetModuleFileNameW, long_module_name);
        EXPECT_EQ(module_filename(), std::u16string(300, u'\u043c')) << "the whole path, in any script";
    }
    binding_override o(win.GetModuleFileNameW, failing_module_name);
    EXPECT_EQ(module_filename(), u"");
}

int16_t key_state = 0;
int32_t asked_key = 0;
int16_t TR_WINAPI fake_key_state(int32_t key) {
    asked_key = key;
    return key_state;
}

TEST(paths, ctrl_down_reads_bit_15) {
    binding_override o(win.GetKeyState, fake_key_state);
    key_state = static_cast<int16_t>(0x8000);
    EXPECT_EQ(ctrl_down(), 1);
    EXPECT_EQ(asked_key, 0x11);
    key_state = static_cast<int16_t>(0xFF80);  // held, as Windows reports it
    EXPECT_EQ(ctrl_down(), 1);
    key_state = 1;  // toggled, not held
    EXPECT_EQ(ctrl_down(), 0);
}

TEST(paths, word_and_dword_halves) {
    EXPECT_EQ(hi_word(65538), 1u);
    EXPECT_EQ(lo_word(65538), 2u);
    EXPECT_EQ(hi_word(0xFFFFFFFFu), 0xFFFFu);
    EXPECT_EQ(lo_word(0xFFFFFFFFu), 0xFFFFu);

    EXPECT_EQ(lo_dword(-1), 0xFFFFFFFFu);
    EXPECT_EQ(hi_dword(-1), 0xFFFFFFFFu);
    EXPECT_EQ(lo_dword(0), 0u);
    EXPECT_EQ(hi_dword(4294967295LL), 0u);
    EXPECT_EQ(lo_dword(4294967296LL), 0u);
    EXPECT_EQ(hi_dword(4294967296LL), 1u);
    const int64_t five_gib = 5LL << 30;
    EXPECT_EQ(hi_dword(five_gib), 1u);
    EXPECT_EQ(lo_dword(five_gib), 1u << 30);
    EXPECT_EQ(hi_dword(INT64_MAX), 0x7FFFFFFFu);
    EXPECT_EQ(lo_dword(INT64_MAX), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tallyrun
