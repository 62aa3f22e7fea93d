// The confirmation template, the prompt's text, every mode and answer of confirm_files on the fake disk.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "dialog/confirm.h"
#include "plugin/retrieval.h"
#include "dialog/templates.h"
#include "fakes/fake_fs.h"
#include "sequence/shown_listing.h"

using namespace tallyrun;

namespace {

// The prompt these tests show.
confirm_prompt prompt;

// ---- reading a template back, as Windows would ----

struct parsed_control {
    uint32_t style, ex_style;
    int x, y, cx, cy;
    uint32_t id;
    std::string class_name, text;
};
struct parsed_dialog {
    uint32_t style, ex_style;
    int count, x, y, cx, cy;
    std::string title, face;
    int point_size = 0, weight = 0, italic = 0, charset = 0;
    std::vector<parsed_control> controls;
    size_t length = 0;
};

struct reader {
    const unsigned char* base;
    size_t at = 0;
    unsigned word() {
        unsigned v = base[at] | base[at + 1] << 8;
        at += 2;
        return v;
    }
    uint32_t dword() {
        uint32_t v = word();
        return v | static_cast<uint32_t>(word()) << 16;
    }
    int16_t signed_word() { return static_cast<int16_t>(word()); }
    // Code units below 256 as bytes, others as '?': the tests' texts are ANSI.
    std::string text() {
        std::string s;
        for (unsigned u = word(); u != 0; u = word()) s += u < 256 ? static_cast<char>(u) : '?';
        return s;
    }
    void align() { at = (at + 3) / 4 * 4; }
};

parsed_dialog parse_template(const void* bytes) {
    reader r{static_cast<const unsigned char*>(bytes)};
    parsed_dialog d;
    EXPECT_EQ(r.word(), 1u) << "dlgVer";
    EXPECT_EQ(r.word(), 0xFFFFu) << "signature";
    EXPECT_EQ(r.dword(), 0u) << "helpID";
    d.ex_style = r.dword();
    d.style = r.dword();
    d.count = static_cast<int>(r.word());
    d.x = r.signed_word();
    d.y = r.signed_word();
    d.cx = r.signed_word();
    d.cy = r.signed_word();
    EXPECT_EQ(r.word(), 0u) << "menu";
    EXPECT_EQ(r.word(), 0u) << "window class";
    d.title = r.text();
    if (d.style & 0x40) {
        d.point_size = static_cast<int>(r.word());
        d.weight = static_cast<int>(r.word());
        d.italic = r.base[r.at++];
        d.charset = r.base[r.at++];
        d.face = r.text();
    }
    r.align();
    for (int i = 0; i < d.count; ++i) {
        parsed_control c;
        EXPECT_EQ(r.dword(), 0u) << "item helpID";
        c.ex_style = r.dword();
        c.style = r.dword();
        c.x = r.signed_word();
        c.y = r.signed_word();
        c.cx = r.signed_word();
        c.cy = r.signed_word();
        c.id = r.dword();
        c.class_name = r.text();
        c.text = r.text();
        EXPECT_EQ(r.word(), 0u) << "extraCount";
        r.align();
        d.controls.push_back(c);
    }
    d.length = r.at;
    return d;
}

// ---- a scripted dialog ----

std::deque<intptr_t> answers;           // what each prompt answers, in order
std::vector<parsed_dialog> prompts;     // every template shown
std::vector<win_handle> owners;
std::vector<dialog_proc> procs;

intptr_t TR_WINAPI scripted_dialog(win_handle, const void* tmpl, win_handle owner,
                                   dialog_proc proc, intptr_t) {
    prompts.push_back(parse_template(tmpl));
    owners.push_back(owner);
    procs.push_back(proc);
    if (answers.empty()) {
        ADD_FAILURE() << "prompt " << prompts.size() << " was not expected";
        return 6;
    }
    intptr_t a = answers.front();
    answers.pop_front();
    return a;
}

win_handle const host_window = reinterpret_cast<win_handle>(uintptr_t{0xABC0});
win_handle TR_WINAPI host_active_window() { return host_window; }

// The text of a shown prompt's message control (the one after the six buttons).
std::string message_of(const parsed_dialog& d) {
    return d.controls.size() == 7 ? d.controls[6].text : "<" + std::to_string(d.controls.size()) + " controls>";
}

using real_entry = member<char>;

// A member as a listing keeps it; its name lives as long as the test program.
real_entry entry(const std::string& name, uint64_t size, date_time t) {
    static std::deque<std::string> names;
    names.push_back(name);
    listed_file f{};
    f.attributes = 32;
    f.time = step_of(t);
    f.size_low = static_cast<uint32_t>(size);
    f.size_high = static_cast<uint32_t>(size >> 32);
    return real_entry{names.back(), f};
}

std::vector<std::string> names(const std::vector<real_entry>& list) {
    std::vector<std::string> out;
    for (const real_entry& e : list) out.emplace_back(e.name);
    return out;
}

using strings = std::vector<std::string>;

// Sources dated 2024-05-17 12:00:00; targets on disk older, equal or newer.
const date_time source_time{2024, 5, 17, 12, 0, 0};
const win_filetime older = utc_time(2024, 5, 17, 11, 59, 58);
const win_filetime equal = utc_time(2024, 5, 17, 12, 0, 0);
const win_filetime newer = utc_time(2024, 5, 17, 12, 0, 2);

struct confirm_files_test : testing::Test {
    fake_fs fs;
    binding_override<decltype(win.DialogBoxIndirectParamA)> dialog_box{win.DialogBoxIndirectParamA,
                                                                       scripted_dialog};
    binding_override<decltype(win.GetActiveWindow)> active{win.GetActiveWindow, host_active_window};
    std::vector<real_entry> sources;
    std::vector<real_entry> keep;

    void SetUp() override {
        confirm_dialog_setup(prompt);
        answers.clear();
        prompts.clear();
        owners.clear();
        procs.clear();
        fs.add_folder("D:\\out");
        for (int i = 1; i <= 3; ++i)
            sources.push_back(entry("IMG_000" + std::to_string(i) + ".JPG", 100u * i, source_time));
    }
    void TearDown() override {
        EXPECT_TRUE(answers.empty()) << answers.size() << " scripted answers were not used";
    }
    // Runs confirm_files over the three sources, answering prompts in order.
    bool run(int mode, std::initializer_list<intptr_t> script) {
        answers.assign(script);
        keep = {entry("stale", 1, source_time)};  // must be replaced, never appended to
        return confirm_files<char>(prompt, sources, "D:\\out\\", static_cast<overwrite_mode>(mode), keep);
    }
    void add_targets(std::initializer_list<int> which, win_filetime t) {
        for (int i : which)
            fs.add_file("D:\\out\\IMG_000" + std::to_string(i) + ".JPG", 7, t);
    }
};

}  // namespace

TEST(confirm_dialog, template_has_the_caption_font_and_six_buttons) {
    confirm_dialog_setup(prompt);
    int id = prompt.id;
    confirm_dialog_setup(prompt);
    EXPECT_EQ(prompt.id, id) << "a second setup registers nothing";
    ASSERT_GE(id, 1);
    const std::string& bytes = prompt.templates.at(static_cast<size_t>(id) - 1);
    parsed_dialog d = parse_template(bytes.data());
    EXPECT_EQ(d.length, bytes.size()) << "the items fill the template exactly";
    EXPECT_EQ(d.title, "Tallyrun");
    EXPECT_EQ(d.style, 0x10C808C0u);
    EXPECT_EQ(d.ex_style, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 290);
    EXPECT_EQ(d.cy, 91);
    EXPECT_EQ(d.face, "MS SANS SERIF");
    EXPECT_EQ(d.point_size, 8);
    EXPECT_EQ(d.weight, 0);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, 0);
    struct expected_button {
        uint32_t id;
        const char* label;
        int x, y;
    };
    const expected_button expected[] = {
        {3, "&Overwrite", 6, 55}, {4, "Overwrite &all", 99, 55},       {5, "&Skip", 192, 55},
        {6, "&Cancel", 6, 72},    {7, "Overwrite all ol&der", 99, 72}, {8, "S&kip all", 192, 72},
    };
    ASSERT_EQ(d.controls.size(), 6u) << "the kept template holds the buttons alone";
    for (size_t i = 0; i < 6; ++i) {
        const parsed_control& c = d.controls[i];
        SCOPED_TRACE("button " + std::to_string(i + 1));
        EXPECT_EQ(c.id, expected[i].id);
        EXPECT_EQ(c.text, expected[i].label);
        EXPECT_EQ(c.class_name, "Button");
        EXPECT_EQ(c.x, expected[i].x);
        EXPECT_EQ(c.y, expected[i].y);
        EXPECT_EQ(c.cx, 90);
        EXPECT_EQ(c.cy, 15);
        EXPECT_EQ(c.style, 0x50010000u);
        EXPECT_EQ(c.ex_style, 0u);
    }
}

TEST(overwrite_message, has_both_names_full_sizes_and_padded_dates) {
    real_entry target = entry("img_0001.jpg", 5000000000ull, {2023, 1, 2, 3, 4, 6});
    real_entry source = entry("IMG_0001.JPG", 18446744073709551615ull, {2024, 11, 30, 23, 59, 58});
    EXPECT_EQ(overwrite_message(source, target),
              "Overwrite: img_0001.jpg\n"
              "          5000000000 Byte, 02.01.2023 03:04:06\n"
              "\n"
              "With file: IMG_0001.JPG ?\n"
              "          18446744073709551615 Byte, 30.11.2024 23:59:58");
}

TEST(overwrite_message, names_are_taken_as_they_are) {
    real_entry target = entry("100%s %d.txt", 0, {1980, 1, 1, 0, 0, 0});
    real_entry source = entry("100%s %d.txt", 1, {1980, 1, 1, 0, 0, 0});
    EXPECT_EQ(overwrite_message(source, target),
              "Overwrite: 100%s %d.txt\n          0 Byte, 01.01.1980 00:00:00\n\n"
              "With file: 100%s %d.txt ?\n          1 Byte, 01.01.1980 00:00:00");
}

TEST_F(confirm_files_test, empty_list_lists_nothing) {
    sources.clear();
    EXPECT_TRUE(run(1, {}));
    EXPECT_TRUE(keep.empty());
    EXPECT_TRUE(fs.searches.empty()) << fs.searches.size() << " listings were made";
}

TEST_F(confirm_files_test, absent_targets_are_kept_without_a_prompt) {
    fs.add_file("D:\\out\\other.jpg", 1);
    EXPECT_TRUE(run(1, {}));
    EXPECT_EQ(names(keep), names(sources));
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(fs.looked_up, (strings{"D:\\out\\IMG_0001.JPG", "D:\\out\\IMG_0002.JPG",
                                     "D:\\out\\IMG_0003.JPG"}))
        << "each target is looked for";
    EXPECT_TRUE(fs.searches.empty()) << "a target that is surely absent needs no folder search";
}

TEST_F(confirm_files_test, a_missing_target_folder_means_absent_targets) {
    keep.clear();
    EXPECT_TRUE(confirm_files<char>(prompt, sources, "E:\\nowhere\\", overwrite_mode::ask, keep));
    EXPECT_EQ(names(keep), names(sources));
    EXPECT_TRUE(prompts.empty());
}

TEST_F(confirm_files_test, starting_modes_that_never_ask) {
    add_targets({1, 3}, older);
    EXPECT_TRUE(run(3, {}));
    EXPECT_EQ(names(keep), (strings{"IMG_0002.JPG"})) << "mode 3 skips every existing target";
    EXPECT_TRUE(run(0, {}));
    EXPECT_EQ(names(keep), names(sources)) << "mode 0 overwrites them all";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(confirm_files_test, mode_2_replaces_only_older_targets) {
    fs.add_file("D:\\out\\IMG_0001.JPG", 7, older);
    fs.add_file("D:\\out\\IMG_0002.JPG", 7, equal);
    fs.add_file("D:\\out\\IMG_0003.JPG", 7, newer);
    EXPECT_TRUE(run(2, {}));
    EXPECT_EQ(names(keep), (strings{"IMG_0001.JPG"}));
    EXPECT_TRUE(prompts.empty());
}

TEST_F(confirm_files_test, mode_2_compares_field_by_field_from_the_year) {
    // A later second never outweighs an earlier day.
    fs.add_file("D:\\out\\IMG_0001.JPG", 7, utc_time(2024, 5, 16, 23, 59, 58));
    fs.add_file("D:\\out\\IMG_0002.JPG", 7, utc_time(2024, 5, 18, 0, 0, 0));
    fs.add_file("D:\\out\\IMG_0003.JPG", 7, utc_time(2023, 12, 31, 23, 59, 58));
    EXPECT_TRUE(run(2, {}));
    EXPECT_EQ(names(keep), (strings{"IMG_0001.JPG", "IMG_0003.JPG"}));
}

TEST_F(confirm_files_test, overwrite_keeps_the_entry_and_asks_again) {
    add_targets({1, 2, 3}, newer);
    EXPECT_TRUE(run(1, {3, 3, 3}));
    EXPECT_EQ(names(keep), names(sources));
    EXPECT_EQ(prompts.size(), 3u);
}

TEST_F(confirm_files_test, overwrite_all_keeps_this_and_the_rest_without_asking) {
    add_targets({1, 2, 3}, newer);
    EXPECT_TRUE(run(1, {4}));
    EXPECT_EQ(names(keep), names(sources));
    EXPECT_EQ(prompts.size(), 1u);
}

TEST_F(confirm_files_test, skip_drops_the_entry_and_asks_again) {
    add_targets({1, 2, 3}, newer);
    EXPECT_TRUE(run(1, {5, 3, 5}));
    EXPECT_EQ(names(keep), (strings{"IMG_0002.JPG"}));
}

TEST_F(confirm_files_test, skip_all_drops_this_and_every_later_existing_target) {
    add_targets({1, 3}, older);
    EXPECT_TRUE(run(1, {8}));
    EXPECT_EQ(names(keep), (strings{"IMG_0002.JPG"})) << "an absent target is still kept";
    EXPECT_EQ(prompts.size(), 1u);
}

TEST_F(confirm_files_test, older_judges_the_answered_entry_and_the_rest_by_age) {
    fs.add_file("D:\\out\\IMG_0001.JPG", 7, equal);  // same time: the target is not older
    fs.add_file("D:\\out\\IMG_0002.JPG", 7, older);
    fs.add_file("D:\\out\\IMG_0003.JPG", 7, newer);
    EXPECT_TRUE(run(1, {7}));
    EXPECT_EQ(names(keep), (strings{"IMG_0002.JPG"}));
    EXPECT_EQ(prompts.size(), 1u);
}

TEST_F(confirm_files_test, older_at_a_prompt_keeps_an_older_target_s_entry) {
    add_targets({1}, older);
    EXPECT_TRUE(run(1, {7}));
    EXPECT_EQ(names(keep), names(sources));
}

TEST_F(confirm_files_test, cancel_at_the_second_prompt_returns_nothing) {
    add_targets({1, 2, 3}, older);
    EXPECT_FALSE(run(1, {3, 6}));
    EXPECT_TRUE(keep.empty()) << names(keep).size() << " entries came back";
    EXPECT_EQ(prompts.size(), 2u);
    EXPECT_EQ(fs.searches.size(), 2u) << "the third entry is not looked at";
}

TEST_F(confirm_files_test, escape_and_the_close_box_cancel) {
    add_targets({2}, older);
    EXPECT_FALSE(run(1, {0}));
    EXPECT_TRUE(keep.empty());
}

TEST_F(confirm_files_test, a_prompt_that_cannot_be_shown_cancels) {
    add_targets({2}, older);
    EXPECT_FALSE(run(1, {-1})) << "no file is overwritten without an answer";
    EXPECT_TRUE(keep.empty());
}

TEST_F(confirm_files_test, an_answer_that_is_no_button_s_cancels) {
    add_targets({2}, older);
    EXPECT_FALSE(run(1, {65535}));
    EXPECT_FALSE(run(1, {1}));
    EXPECT_TRUE(keep.empty());
}

TEST_F(confirm_files_test, an_unknown_starting_mode_asks) {
    add_targets({1}, older);
    EXPECT_TRUE(run(9, {5}));
    EXPECT_EQ(names(keep), (strings{"IMG_0002.JPG", "IMG_0003.JPG"}));
}

#ifndef _WIN32
TEST_F(confirm_files_test, the_native_stand_in_dialog_cancels) {
    binding_override<decltype(win.DialogBoxIndirectParamA)> none(win.DialogBoxIndirectParamA,
                                                                 dialog_box.saved_);
    add_targets({1}, older);
    keep.clear();
    EXPECT_FALSE(confirm_files<char>(prompt, sources, "D:\\out\\", overwrite_mode::ask, keep));
}
#endif

TEST_F(confirm_files_test, each_prompt_shows_its_own_message_on_the_buttons) {
    fs.add_file("D:\\out\\img_0001.jpg", 5000000000ull, utc_time(2023, 1, 2, 3, 4, 6));
    fs.add_file("D:\\out\\Img_0003.Jpg", 12, utc_time(2024, 5, 17, 12, 0, 2));
    EXPECT_TRUE(run(1, {3, 5}));
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(message_of(prompts[0]),
              "Overwrite: img_0001.jpg\n          5000000000 Byte, 02.01.2023 03:04:06\n\n"
              "With file: IMG_0001.JPG ?\n          100 Byte, 17.05.2024 12:00:00");
    EXPECT_EQ(message_of(prompts[1]),
              "Overwrite: Img_0003.Jpg\n          12 Byte, 17.05.2024 12:00:02\n\n"
              "With file: IMG_0003.JPG ?\n          300 Byte, 17.05.2024 12:00:00");
    for (const parsed_dialog& p : prompts) {
        ASSERT_EQ(p.controls.size(), 7u) << "six buttons and one message";
        EXPECT_EQ(p.title, "Tallyrun");
        const parsed_control& m = p.controls[6];
        EXPECT_EQ(m.class_name, "Static");
        EXPECT_EQ(m.id, 65535u);
        EXPECT_EQ(m.x, 5);
        EXPECT_EQ(m.y, 4);
        EXPECT_EQ(m.cx, 285);
        EXPECT_EQ(m.cy, 50);
        EXPECT_EQ(m.style, 0x50020000u);
        EXPECT_EQ(m.ex_style, 0u);
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(p.controls[i].class_name, "Button");
    }
    EXPECT_EQ(owners, (std::vector<win_handle>{host_window, host_window})) << "owned by the active window";
    EXPECT_EQ(procs, (std::vector<dialog_proc>{&mainDialogProc, &mainDialogProc}));
    EXPECT_EQ(parse_template(prompt.templates.at(static_cast<size_t>(prompt.id) - 1).data())
                  .controls.size(),
              6u)
        << "the kept template still holds the buttons alone";
}

// ---- the dialog procedure ----

namespace {
std::vector<std::pair<win_handle, intptr_t>> ended;
int32_t TR_WINAPI recording_end_dialog(win_handle window, intptr_t result) {
    ended.emplace_back(window, result);
    return 1;
}
}  // namespace

TEST(main_dialog_proc, commands_end_the_dialog_with_their_answer) {
    binding_override e(win.EndDialog, recording_end_dialog);
    win_handle w = reinterpret_cast<win_handle>(uintptr_t{0x4440});
    struct row {
        uint32_t message;
        uintptr_t wparam;
        intptr_t returns;
        intptr_t ends_with;  // -100: the dialog goes on
    };
    const row rows[] = {
        {0x0111, 1, 1, 3},            // IDOK (Enter) is "Overwrite"
        {0x0111, 2, 1, 0},            // IDCANCEL (Escape) is cancel
        {0x0111, 3, 1, 3},            // the buttons give their own identifiers
        {0x0111, 6, 1, 6},
        {0x0111, 8, 1, 8},
        {0x0111, 0x10005, 0, -100},   // a notification, not a command
        {0x0010, 0, 1, 0},            // WM_CLOSE: the close box, Alt+F4
        {0x0110, 0, 0, -100},         // WM_INITDIALOG is left to the dialog manager
        {0x0002, 0, 0, -100},         // anything else
    };
    for (const row& r : rows) {
        ended.clear();
        SCOPED_TRACE("message " + std::to_string(r.message) + " wParam " + std::to_string(r.wparam));
        EXPECT_EQ(mainDialogProc(w, r.message, r.wparam, 0), r.returns);
        if (r.ends_with == -100) {
            EXPECT_TRUE(ended.empty());
        } else {
            ASSERT_EQ(ended.size(), 1u);
            EXPECT_EQ(ended[0].first, w);
            EXPECT_EQ(ended[0].second, r.ends_with);
        }
    }
}

// A target folder whose paths are longer than a folder search may be (255
// bytes) but still within what CopyFileA takes: existing targets must be asked
// about, never overwritten unseen.
TEST_F(confirm_files_test, long_target_paths_are_still_asked_about) {
    std::string folder = "D:\\" + std::string(240, 'd') + "\\";
    fs.add_file(folder + "IMG_0001.JPG", 7, newer);
    answers.assign({5});  // skip
    keep.clear();
    ASSERT_GT((folder + "IMG_0001.JPG").size(), 255u);
    EXPECT_TRUE(confirm_files<char>(prompt, {sources[0]}, folder, overwrite_mode::ask, keep));
    EXPECT_EQ(prompts.size(), 1u) << "the existing long-path target was not asked about";
    EXPECT_TRUE(keep.empty()) << "skipped, yet kept " << keep.size();
}
