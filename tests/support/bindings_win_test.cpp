// Proves that the native stand-ins map case exactly as the real Windows functions do.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/text.h"
#include "dialog/templates.h"
#include "plugin/startup.h"
#include "support/bindings.h"

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
    plugin.root_name = "untouched";
    const size_t templates = dialog_templates.size();
    const bool started = start_up(all_but_one);
    std::fprintf(stderr, "%s %s", started ? "started" : "refused",
                 plugin.root_name == "untouched" && dialog_templates.size() == templates ? "alone" : "more ran");
    std::fflush(stderr);
    std::exit(3);
}

TEST(bindings_win, start_up_refuses_the_load_without_message_box_or_active_window) {
    EXPECT_EXIT(refused_start("MessageBoxA"), testing::ExitedWithCode(3),
                "^couldn't find MessageBoxA\nrefused alone$");
    EXPECT_EXIT(refused_start("GetActiveWindow"), testing::ExitedWithCode(3),
                "^couldn't find GetActiveWindow\nrefused alone$");

    // Any other function may be missing: its slot stays empty and its callers cope.
    taken_away = "CopyFileA";
    bool bound = bind_windows(all_but_one);
    bool copy_missing = win.CopyFileA == nullptr, rest_bound = win.FindFirstFileA != nullptr;
    bind_windows();
    EXPECT_TRUE(bound);
    EXPECT_TRUE(copy_missing);
    EXPECT_TRUE(rest_bound);
}

TEST(bindings_win, case_mapping_of_texts_agrees_with_windows_byte_for_byte) {
    for (bool lower : {true, false}) {
        std::string real = all_bytes();
        uint32_t n = static_cast<uint32_t>(real.size());
        lower ? win.CharLowerBuffA(real.data(), n) : win.CharUpperBuffA(real.data(), n);
        std::string got = lower ? win_lower(all_bytes()) : win_upper(all_bytes());
        const std::string text = all_bytes();
        mapped_texts all = lower ? win_lower_joined({text, "x"}) : win_upper_joined({text, "x"});
        EXPECT_EQ(got, real) << (lower ? "lower" : "upper");
        EXPECT_EQ(all[0], real) << (lower ? "lower" : "upper") << ", many at once";
    }
}
