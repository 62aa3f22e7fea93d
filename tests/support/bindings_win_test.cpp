// Proves that the native stand-ins map case exactly as the real Windows functions do.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/context.h"
#include "config/text.h"
#include "sequence/case_map.h"
#include "support/wide.h"
#include "dialog/templates.h"
#include "plugin/startup.h"
#include "support/bindings.h"
#include "support/file_copy.h"
#include "support/utf16.h"

using namespace tallyrun;

namespace {
std::string all_bytes() {
    std::string s;
    for (int c = 1; c < 256; ++c) s += static_cast<char>(c);
    return s;
}
}  // namespace

TEST(bindings_win, real_functions_are_bound) {
    EXPECT_NE(win.MessageBoxA, nullptr);
    EXPECT_NE(win.FindFirstFileA, nullptr);
    EXPECT_NE(win.DialogBoxIndirectParamA, nullptr);
    EXPECT_NE(win.CreateFileA, nullptr);
}

TEST(bindings_win, under_wine_members_are_copied_by_the_plugins_own_loop) {
    // These tests run under Wine, whose CopyFileEx never calls its progress routine.
    EXPECT_TRUE(win.CopyFileExW == copy_in_chunks<char16_t>);
    EXPECT_TRUE(win.CopyFileExA == copy_in_chunks<char>);
}

TEST(bindings_win, cp1252_stand_ins_agree_with_char_lower_and_upper) {
    for (bool lower : {true, false}) {
        std::string real = all_bytes(), fake = all_bytes();
        uint32_t n = static_cast<uint32_t>(real.size());
        EXPECT_EQ(lower ? win.CharLowerBuffA(real.data(), n) : win.CharUpperBuffA(real.data(), n), n);
        lower ? cp1252_lower_buff(fake.data(), n) : cp1252_upper_buff(fake.data(), n);
        for (size_t i = 0; i < real.size(); ++i)
            EXPECT_EQ(static_cast<unsigned char>(fake[i]), static_cast<unsigned char>(real[i]))
                << (lower ? "lower" : "upper") << " of byte " << i + 1 << ": stand-in got "
                << +static_cast<unsigned char>(fake[i]) << ", Windows gives "
                << +static_cast<unsigned char>(real[i]);
    }
}

namespace {
const char* taken_away = "";
void stand_in() {}
// Finds every function but one; what it finds is never called before the table is bound again.
void* all_but_one(const char*, const char* name) {
    return std::strcmp(name, taken_away) == 0 ? nullptr : reinterpret_cast<void*>(&stand_in);
}
}  // namespace

// In a child process: the start-up refuses the load (the DLL entry would answer
// FALSE), says why on stderr, starts nothing else, and the process lives on.
void refused_start(const char* name) {
    taken_away = name;
    context().settings.root_name = "untouched";
    const size_t templates = context().prompt.templates.size();
    const bool started = start_up(all_but_one);
    std::fprintf(stderr, "%s %s", started ? "started" : "refused",
                 context().settings.root_name == "untouched" && context().prompt.templates.size() == templates ? "alone" : "more ran");
    std::fflush(stderr);
    std::exit(3);
}

TEST(bindings_win, start_up_refuses_the_load_without_message_box_or_active_window) {
    EXPECT_EXIT(refused_start("MessageBoxA"), testing::ExitedWithCode(3),
                "^couldn't find MessageBoxA\nrefused alone$");
    EXPECT_EXIT(refused_start("GetActiveWindow"), testing::ExitedWithCode(3),
                "^couldn't find GetActiveWindow\nrefused alone$");

    // Any other function may be missing: its slot stays empty and its callers cope.
    taken_away = "GetDriveTypeA";
    bool bound = bind_windows(all_but_one);
    bool drive_type_missing = win.GetDriveTypeA == nullptr, rest_bound = win.FindFirstFileA != nullptr;
    bind_windows();
    EXPECT_TRUE(bound);
    EXPECT_TRUE(drive_type_missing);
    EXPECT_TRUE(rest_bound);
}

TEST(bindings_win, case_mapping_of_texts_agrees_with_windows_byte_for_byte) {
    for (bool lower : {true, false}) {
        std::string real = all_bytes();
        uint32_t n = static_cast<uint32_t>(real.size());
        lower ? win.CharLowerBuffA(real.data(), n) : win.CharUpperBuffA(real.data(), n);
        std::string got = lower ? win_lower(all_bytes()) : win_upper(all_bytes());
        const std::string text = all_bytes();
        case_map<char> cases;
        joined_texts<char> all = cases.joined({text, "x"}, lower ? case_to::lower : case_to::upper);
        EXPECT_EQ(got, real) << (lower ? "lower" : "upper");
        EXPECT_EQ(all[0], real) << (lower ? "lower" : "upper") << ", many at once";
    }
}

// Every unit alone, and every surrogate pair: the native stand-ins map UTF-16
// exactly as CharLowerBuffW and CharUpperBuffW do, and so does a listing's case map.
TEST(bindings_win, utf16_stand_ins_agree_with_char_lower_and_upper_buff_w) {
    for (bool lower : {true, false}) {
        auto real = lower ? win.CharLowerBuffW : win.CharUpperBuffW;
        auto fake = lower ? utf16_lower_buff : utf16_upper_buff;
        int differences = 0;
        for (uint32_t u = 0; u < 65536; ++u) {
            char16_t a = static_cast<char16_t>(u), b = a;
            real(&a, 1);
            fake(&b, 1);
            if (a != b && ++differences <= 5)
                ADD_FAILURE() << (lower ? "lower" : "upper") << " of unit " << u << ": stand-in got " << +b
                              << ", Windows gives " << +a;
        }
        for (uint32_t c = 0x10000; c <= 0x10FFFF; ++c) {
            char16_t a[2] = {high_surrogate_of(c), low_surrogate_of(c)};
            char16_t b[2] = {a[0], a[1]};
            real(a, 2);
            fake(b, 2);
            if ((a[0] != b[0] || a[1] != b[1]) && ++differences <= 5)
                ADD_FAILURE() << (lower ? "lower" : "upper") << " of U+" << std::hex << c << ": stand-in got "
                              << +b[0] << " " << +b[1] << ", Windows gives " << +a[0] << " " << +a[1];
        }
        EXPECT_EQ(differences, 0) << (lower ? "lower" : "upper");
        // Texts mixing both, through the listing's case map.
        std::u16string text = u"\u0421\u043d\u0418\U00010400\xD800x\u03a3\U0001E900_\u0130";
        std::u16string by_windows = text, by_map = text;
        real(by_windows.data(), static_cast<uint32_t>(by_windows.size()));
        case_map<char16_t> cases;
        lower ? cases.lower(by_map.data(), by_map.size()) : cases.upper(by_map.data(), by_map.size());
        EXPECT_EQ(by_map, by_windows) << (lower ? "lower" : "upper");
    }
}

// The 8-bit side's conversions to and from UTF-16 agree with the stand-ins for every byte.
TEST(bindings_win, code_page_stand_ins_agree_with_the_conversions) {
    std::string all = all_bytes();
    std::u16string wide(all.size() + 2, u'\0');
    int n = win.MultiByteToWideChar(cp_acp, mb_precomposed, all.data(), static_cast<int32_t>(all.size()), wide.data(),
                                    static_cast<int32_t>(wide.size()));
    ASSERT_EQ(n, static_cast<int>(all.size()));
    std::string back;
    EXPECT_TRUE(to_ansi(wide.substr(0, n), back));
    EXPECT_EQ(back, all) << "every byte of code page 1252 goes to UTF-16 and back";
    std::string none;
    EXPECT_FALSE(to_ansi(u"\u0416", none)) << "a Cyrillic letter has no byte of its own";
}
