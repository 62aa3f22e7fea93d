// Copying entries out: result codes, progress, the list file, mapping through the entry's own folder.
#include "plugin/context.h"
#include "plugin/retrieval.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/confirm.h"
#include "fakes/fake_fs.h"
#include "plugin/enumeration.h"
#include "plugin/startup.h"
#include "sequence/shown_listing.h"
#include "support/file_copy.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;

struct report {
    int32_t number;
    const char* source;
    const char* target;
    int32_t percent;
};
std::vector<report> reports;
int32_t progress_answer = 0;

int32_t TR_WINAPI record_progress(int32_t number, const char* source, const char* target,
                                  int32_t percent) {
    reports.push_back({number, source, target, percent});
    return progress_answer;
}

int key_state_calls = 0;
int16_t TR_WINAPI ctrl_held(int32_t) {
    ++key_state_calls;
    return static_cast<int16_t>(0x8000);
}
int16_t TR_WINAPI ctrl_free(int32_t) {
    ++key_state_calls;
    return 0;
}

std::vector<intptr_t> dialog_answers;
int dialogs_shown = 0;
intptr_t TR_WINAPI scripted_dialog(win_handle, const void*, win_handle, dialog_proc, intptr_t) {
    ++dialogs_shown;
    if (dialog_answers.empty()) return 6;
    intptr_t a = dialog_answers.front();
    dialog_answers.erase(dialog_answers.begin());
    return a;
}

// A host buffer with guard bytes; its bytes must be the same after the call.
struct host_buffer {
    explicit host_buffer(const std::string& text, size_t capacity = 260)
        : bytes(capacity + 32, '\x5C') {
        std::memcpy(bytes.data() + 16, text.c_str(), text.size() + 1);
        saved = bytes;
    }
    char* get() { return bytes.data() + 16; }
    bool unchanged() const { return bytes == saved; }
    std::vector<char> bytes, saved;
};

const win_filetime shot = utc_time(2006, 9, 19, 9, 34, 18);

struct retrieval : testing::Test {
    void SetUp() override {
        reset_listings(context().tables);
        reports.clear();
        progress_answer = 0;
        key_state_calls = 0;
        dialog_answers.clear();
        dialogs_shown = 0;
        confirm_dialog_setup(context().prompt);  // as the start-up does; once is enough
        FsInit(3, record_progress);
        plugin.ini_folder = u"C:\\nowhere\\";
        for (int i = 1; i <= 3; ++i)
            disk.add_file("C:\\photos\\IMG_000" + std::to_string(i) + ".JPG", ~0ull, shot, 32,
                          "picture " + std::to_string(i));
        disk.add_file("C:\\photos\\notes.txt", ~0ull, shot, 32, "notes");
        disk.add_folder("C:\\photos\\sub");
        disk.add_folder("D:\\out");
    }
    void TearDown() override {
        reset_listings(context().tables);
        FsInit(0, nullptr);
    }
    int32_t get(const std::string& remote, const std::string& local, int32_t flags = 0) {
        host_buffer r(remote), l(local);
        int32_t result = FsGetFile(r.get(), l.get(), flags);
        EXPECT_TRUE(r.unchanged()) << "remote-name buffer written for " << remote;
        EXPECT_TRUE(l.unchanged()) << "local-name buffer written for " << local;
        return result;
    }
    std::string percents() const {
        std::string s;
        for (const report& r : reports) s += std::to_string(r.percent) + " ";
        return s;
    }
    // 0 first, then rising percents, and 100 only when the entry was done.
    bool told_rising(bool done) const {
        std::vector<int32_t> p;
        for (const report& r : reports) p.push_back(r.percent);
        if (p.empty() || p.front() != 0 || !std::is_sorted(p.begin(), p.end())) return false;
        return done ? p.back() == 100 && std::count(p.begin(), p.end(), 100) == 1
                    : std::count(p.begin(), p.end(), 100) == 0;
    }
    fake_fs disk;
    binding_override<decltype(win.GetKeyState)> keys{win.GetKeyState, ctrl_free};
    binding_override<decltype(win.DialogBoxIndirectParamA)> dialog{win.DialogBoxIndirectParamA,
                                                                   scripted_dialog};
};

const char run[] = "\\C:\\photos\\IMG_0001-0003.JPG";

}  // namespace

TEST_F(retrieval, run_of_three_copies_each_member_in_order_with_progress_0_and_100) {
    host_buffer r(run), l("D:\\out\\IMG_0001-0003.JPG");
    EXPECT_EQ(FsGetFile(r.get(), l.get(), 0), fs_ok);
    std::vector<std::string> want;
    for (int i = 1; i <= 3; ++i)
        want.push_back("C:\\photos\\IMG_000" + std::to_string(i) + ".JPG>D:\\out\\IMG_000" +
                       std::to_string(i) + ".JPG");
    EXPECT_EQ(disk.copied, want);
    EXPECT_EQ(disk.content("D:\\out\\IMG_0002.JPG"), "picture 2");
    EXPECT_EQ(percents(), "0 33 66 100 ") << "each member finished is a third of the entry";
    for (const report& rep : reports) {
        EXPECT_EQ(rep.number, 3);
        EXPECT_EQ(rep.source, r.get()) << "the host's own buffers are reported";
        EXPECT_EQ(rep.target, l.get());
    }
    EXPECT_TRUE(r.unchanged());
    EXPECT_TRUE(l.unchanged());
    EXPECT_EQ(dialogs_shown, 0) << "no target existed";
}

TEST_F(retrieval, resume_and_short_names_answer_before_any_report) {
    EXPECT_EQ(get(run, "D:\\out\\x", 2), fs_not_supported);
    EXPECT_EQ(get(run, "D:\\out\\x", 3), fs_not_supported);
    EXPECT_EQ(get("\\", "D:\\out\\x"), fs_not_found);
    EXPECT_EQ(get("\\C", "D:\\out\\x"), fs_not_found);
    EXPECT_TRUE(reports.empty()) << percents();
    EXPECT_EQ(disk.copy_calls, 0);
    EXPECT_EQ(get("\\C:", "D:\\out\\x"), fs_not_found) << "three characters pass the length test";
    EXPECT_EQ(percents(), "0 ");
}

TEST_F(retrieval, abort_at_the_first_report_does_nothing) {
    progress_answer = 1;
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG"), fs_aborted);
    EXPECT_EQ(key_state_calls, 0);
    EXPECT_EQ(disk.copy_calls, 0);
    EXPECT_TRUE(disk.searches.empty()) << "nothing listed";
}

TEST_F(retrieval, move_is_not_supported_and_changes_nothing) {
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG", copy_move), fs_not_supported);
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG", copy_move | copy_overwrite), fs_not_supported);
    EXPECT_EQ(disk.copy_calls, 0);
    EXPECT_TRUE(disk.names("D:\\out").empty());
    EXPECT_TRUE(disk.exists("C:\\photos\\IMG_0001.JPG"));
    EXPECT_EQ(percents(), "0 0 ");
}

TEST_F(retrieval, ctrl_writes_the_list_file_even_for_a_move) {
    binding_override<decltype(win.GetKeyState)> ctrl(win.GetKeyState, ctrl_held);
    disk.add_file("C:\\photos\\big_01.iso", 5ull << 30, shot);
    disk.add_file("C:\\photos\\big_02.iso", 980, shot);
    EXPECT_EQ(get("\\C:\\photos\\big_01-02.iso", "D:\\out\\big_01-02.iso", copy_move), fs_ok);
    EXPECT_EQ(disk.content("D:\\out\\big_01-02.iso.lst"),
              "C:\\photos\\\r\n"
              "big_01.iso\t5368709120\t2006.9.19\t9:34.18\r\n"
              "big_02.iso\t980\t2006.9.19\t9:34.18\r\n");
    EXPECT_EQ(disk.copy_calls, 0);
    EXPECT_EQ(percents(), "0 100 ");
}

TEST_F(retrieval, list_file_replaces_an_old_one_and_unwritable_target_gives_4) {
    binding_override<decltype(win.GetKeyState)> ctrl(win.GetKeyState, ctrl_held);
    disk.add_file("D:\\out\\notes.txt.lst", 0, {}, 32, "old old old old old old");
    EXPECT_EQ(get("\\C:\\photos\\notes.txt", "D:\\out\\notes.txt"), fs_ok);
    EXPECT_EQ(disk.content("D:\\out\\notes.txt.lst"), "C:\\photos\\\r\nnotes.txt\t5\t2006.9.19\t9:34.18\r\n");
    reports.clear();
    EXPECT_EQ(get("\\C:\\photos\\notes.txt", "D:\\missing\\notes.txt"), fs_write_error);
    EXPECT_EQ(percents(), "0 ") << "no report at 100";
}

TEST_F(retrieval, entry_maps_through_its_own_folder_not_the_last_listed) {
    disk.add_file("C:\\other\\IMG_0001.JPG", ~0ull, shot, 32, "wrong 1");
    disk.add_file("C:\\other\\IMG_0002.JPG", ~0ull, shot, 32, "wrong 2");
    win_find_data d;
    for (const char* folder : {"\\C:\\photos", "\\C:\\other", "\\C:\\photos\\sub"}) {
        win_handle h = FsFindFirst(folder, &d);
        ASSERT_NE(h, invalid_handle) << folder;
        FsFindClose(h);
    }
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG"), fs_ok);
    EXPECT_EQ(disk.copied.size(), 3u);
    EXPECT_EQ(disk.content("D:\\out\\IMG_0001.JPG"), "picture 1");
    EXPECT_EQ(disk.content("D:\\out\\IMG_0003.JPG"), "picture 3");
}

TEST_F(retrieval, entry_of_a_folder_never_listed_is_listed_afresh) {
    EXPECT_EQ(kept_listing_count(context().tables), 0u);
    EXPECT_EQ(get("\\C:\\photos\\img_0001-0003.jpg", "D:\\out\\x"), fs_ok) << "case is ignored";
    EXPECT_EQ(disk.copied.size(), 3u);
}

TEST_F(retrieval, a_name_its_folder_does_not_hold_is_not_found) {
    EXPECT_EQ(get("\\C:\\photos\\IMG_0001-0009.JPG", "D:\\out\\x"), fs_not_found);
    EXPECT_EQ(get("\\C:\\nowhere\\a.txt", "D:\\out\\a.txt"), fs_not_found);
    binding_override<decltype(win.GetKeyState)> ctrl(win.GetKeyState, ctrl_held);
    EXPECT_EQ(get("\\C:\\photos\\gone.txt", "D:\\out\\gone.txt"), fs_not_found);
    EXPECT_FALSE(disk.exists("D:\\out\\gone.txt.lst")) << "no list file for a missing entry";
    EXPECT_EQ(disk.copy_calls, 0);
    EXPECT_EQ(percents(), "0 0 0 ");
}

TEST_F(retrieval, dot_file_and_folder_entries) {
    disk.add_file("C:\\photos\\.profile", ~0ull, shot, 32, "dot");
    EXPECT_EQ(get("\\C:\\photos\\.profile", "D:\\out\\.profile"), fs_ok);
    EXPECT_EQ(disk.content("D:\\out\\.profile"), "dot");
    disk.copied.clear();
    EXPECT_EQ(get("\\C:\\photos\\sub", "D:\\out\\sub"), fs_ok) << "a folder has no members";
    EXPECT_TRUE(disk.copied.empty());
}

TEST_F(retrieval, copy_errors_become_result_codes_and_stop_at_the_failing_member) {
    struct {
        uint32_t error;
        int32_t result;
    } cases[] = {{2, fs_not_found}, {3, fs_not_found}, {4, fs_not_found}, {5, fs_not_found},
                 {80, fs_exists},   {112, fs_read_error}, {32, fs_read_error}};
    for (const auto& c : cases) {
        disk.copy_errors.clear();
        disk.copy_errors["c:\\photos\\img_0002.jpg"] = c.error;
        disk.copied.clear();
        disk.copy_calls = 0;
        disk.remove("D:\\out\\IMG_0001.JPG");
        reports.clear();
        EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG"), c.result) << "error " << c.error;
        EXPECT_EQ(disk.copied.size(), 1u) << "the first stays copied, error " << c.error;
        EXPECT_EQ(disk.copy_calls, 2) << "the third is not attempted, error " << c.error;
        EXPECT_TRUE(told_rising(false)) << "error " << c.error << ", got " << percents();
    }
}

TEST_F(retrieval, confirmation_answers_decide_what_is_copied) {
    disk.add_file("D:\\out\\IMG_0001.JPG", ~0ull, shot, 32, "old 1");
    disk.add_file("D:\\out\\IMG_0003.JPG", ~0ull, shot, 32, "old 3");
    dialog_answers = {5, 3};  // skip the first, overwrite the third
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG"), fs_ok);
    EXPECT_EQ(dialogs_shown, 2);
    EXPECT_EQ(disk.content("D:\\out\\IMG_0001.JPG"), "old 1");
    EXPECT_EQ(disk.content("D:\\out\\IMG_0002.JPG"), "picture 2");
    EXPECT_EQ(disk.content("D:\\out\\IMG_0003.JPG"), "picture 3");

    disk.copied.clear();
    reports.clear();
    dialog_answers = {3, 6};  // cancel at the second prompt
    EXPECT_EQ(get(run, "D:\\out\\IMG_0001-0003.JPG"), fs_aborted);
    EXPECT_TRUE(disk.copied.empty());
    EXPECT_EQ(percents(), "0 ");
}

TEST_F(retrieval, paths_longer_than_the_host_buffers_are_copied_in_full) {
    std::string deep = "D:\\" + std::string(120, 'd') + "\\" + std::string(100, 'e');
    disk.add_folder(deep);
    // The host's names are short; the member paths built from them are longer.
    disk.add_file("C:\\p\\" + std::string(90, 'x') + "01.txt", ~0ull, shot, 32, "one");
    disk.add_file("C:\\p\\" + std::string(90, 'x') + "02.txt", ~0ull, shot, 32, "two");
    std::string remote = "\\C:\\p\\" + std::string(90, 'x') + "01-02.txt";
    std::string local = deep + "\\r.txt";
    host_buffer r(remote, remote.size() + 1), l(local, local.size() + 1);
    EXPECT_EQ(FsGetFile(r.get(), l.get(), 0), fs_ok);
    EXPECT_TRUE(r.unchanged());
    EXPECT_TRUE(l.unchanged());
    EXPECT_EQ(disk.content(deep + "\\" + std::string(90, 'x') + "02.txt"), "two");
}

TEST(list_line, numbers_are_unpadded_and_sizes_full_64_bit) {
    listed_file f{};
    f.time = step_of({2006, 9, 1, 0, 4, 8});
    f.size_low = f.size_high = 0xFFFFFFFFu;
    EXPECT_EQ(list_line(member<char>{"a b.jpg", f}), "a b.jpg\t18446744073709551615\t2006.9.1\t0:4.8");
    f.time = no_step;
    EXPECT_EQ(list_line(member<char16_t>{u"\u0416.jpg", f}), u"\u0416.jpg\t18446744073709551615\t0.0.0\t0:0.0");
}

// ---- the wide side ----

namespace {

struct wide_report {
    std::u16string source, target;
    int32_t percent;
};
std::vector<wide_report> wide_reports;
int32_t TR_WINAPI record_wide_progress(int32_t, const char16_t* source, const char16_t* target, int32_t percent) {
    wide_reports.push_back({source, target, percent});
    return 0;
}

std::vector<std::u16string> wide_prompts;

// The text of the last control of an extended dialog template: the prompt's message.
std::u16string last_control_text(const void* bytes) {
    const char16_t* units = static_cast<const char16_t*>(bytes);
    const auto* raw = static_cast<const unsigned char*>(bytes);
    size_t at = 26 / 2 + 2;  // past the fixed header, the menu and the class
    auto skip_text = [&] {
        while (units[at]) ++at;
        ++at;
    };
    skip_text();  // the title
    at += 3;      // point size, weight, italic and character set
    skip_text();  // the typeface
    const unsigned count = raw[16] | raw[17] << 8;
    std::u16string text;
    for (unsigned i = 0; i < count; ++i) {
        at = (at + 1) / 2 * 2 + 12;  // to a 4-byte boundary, past the item's fixed part
        skip_text();                 // its class
        text = units + at;
        skip_text();
        ++at;  // the extra count
    }
    return text;
}

intptr_t TR_WINAPI skip_wide_dialog(win_handle, const void* bytes, win_handle, dialog_proc, intptr_t) {
    wide_prompts.push_back(last_control_text(bytes));
    return 5;  // skip
}

const std::u16string cyrillic = u"\u0421\u043d\u0438\u043c\u043e\u043a";  // Снимок

struct wide_retrieval : retrieval {
    void SetUp() override {
        retrieval::SetUp();
        wide_reports.clear();
        wide_prompts.clear();
        FsInitW(4, record_wide_progress);
        for (int i = 1; i <= 3; ++i)
            disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\" + cyrillic + u"_0" + std::u16string(1, u'0' + i) + u".jpg",
                          ~0ull, shot, 32, "frame " + std::to_string(i));
        disk.add_folder(u"D:\\\u0446\u0435\u043b\u044c");
    }
    void TearDown() override {
        FsInitW(0, nullptr);
        retrieval::TearDown();
    }
};

}  // namespace

TEST_F(wide_retrieval, a_run_in_cyrillic_copies_every_member_with_wide_progress) {
    const std::u16string remote = u"\\C:\\\u0444\u043e\u0442\u043e\\" + cyrillic + u"_01-03.jpg";
    const std::u16string local = u"D:\\\u0446\u0435\u043b\u044c\\" + cyrillic + u"_01-03.jpg";
    EXPECT_EQ(FsGetFileW(remote.c_str(), local.c_str(), 0), fs_ok);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(disk.content(u"D:\\\u0446\u0435\u043b\u044c\\" + cyrillic + u"_0" + std::u16string(1, u'0' + i) + u".jpg"),
                  "frame " + std::to_string(i));
    ASSERT_EQ(wide_reports.size(), 4u) << "0, a third, two thirds, 100";
    EXPECT_EQ(wide_reports[0].percent, 0);
    EXPECT_EQ(wide_reports[1].percent, 33);
    EXPECT_EQ(wide_reports[3].percent, 100);
    for (const wide_report& r : wide_reports) {
        EXPECT_EQ(r.source, remote) << "wide names through the wide call-back, at " << r.percent;
        EXPECT_EQ(r.target, local);
    }
    EXPECT_TRUE(reports.empty()) << "the 8-bit call-back is not used for a wide copy";
}

TEST_F(wide_retrieval, the_prompt_shows_the_unicode_name_through_the_wide_dialog) {
    binding_override<decltype(win.DialogBoxIndirectParamW)> wide_dialog(win.DialogBoxIndirectParamW, skip_wide_dialog);
    disk.add_file(u"D:\\\u0446\u0435\u043b\u044c\\" + cyrillic + u"_02.jpg", 7, shot);
    const std::u16string remote = u"\\C:\\\u0444\u043e\u0442\u043e\\" + cyrillic + u"_01-03.jpg";
    const std::u16string local = u"D:\\\u0446\u0435\u043b\u044c\\x";
    EXPECT_EQ(FsGetFileW(remote.c_str(), local.c_str(), 0), fs_ok);
    ASSERT_EQ(wide_prompts.size(), 1u);
    EXPECT_EQ(utf8(wide_prompts[0].substr(0, 24)), "Overwrite: Снимок_02.jpg");
    EXPECT_EQ(dialogs_shown, 0) << "the 8-bit dialog is not used";
    EXPECT_EQ(disk.content(u"D:\\\u0446\u0435\u043b\u044c\\" + cyrillic + u"_02.jpg"), "") << "skipped";
    EXPECT_EQ(disk.content(u"D:\\\u0446\u0435\u043b\u044c\\" + cyrillic + u"_03.jpg"), "frame 3");
}

TEST_F(wide_retrieval, list_files_are_ansi_when_they_fit_else_utf8_with_a_byte_order_mark) {
    binding_override<decltype(win.GetKeyState)> ctrl(win.GetKeyState, ctrl_held);
    const std::u16string remote = u"\\C:\\\u0444\u043e\u0442\u043e\\" + cyrillic + u"_01-03.jpg";
    const std::u16string local = u"D:\\out\\list";
    EXPECT_EQ(FsGetFileW(remote.c_str(), local.c_str(), 0), fs_ok);
    EXPECT_EQ(disk.content(u"D:\\out\\list.lst"),
              "\xEF\xBB\xBF" "C:\\фото\\\r\nСнимок_01.jpg\t7\t2006.9.19\t9:34.18\r\nСнимок_02.jpg\t7\t2006.9.19\t9:34.18\r\n"
              "Снимок_03.jpg\t7\t2006.9.19\t9:34.18\r\n");
    // An all-ASCII run writes exactly what the 8-bit side writes.
    EXPECT_EQ(FsGetFileW(u"\\C:\\photos\\IMG_0001-0003.JPG", u"D:\\out\\wide", 0), fs_ok);
    EXPECT_EQ(FsGetFile("\\C:\\photos\\IMG_0001-0003.JPG", "D:\\out\\narrow", 0), fs_ok);
    EXPECT_EQ(disk.content(u"D:\\out\\wide.lst"), disk.content(std::string("D:\\out\\narrow.lst")));
    EXPECT_EQ(disk.content(u"D:\\out\\wide.lst").substr(0, 12), "C:\\photos\\\r\n");
}

TEST_F(wide_retrieval, long_wide_paths_are_copied_through_the_prefix) {
    std::u16string deep = u"D:";
    while (deep.size() < 600) deep += u"\\\u043f\u0430\u043f\u043a\u0430";
    disk.add_folder(deep);
    const std::u16string remote = u"\\C:\\\u0444\u043e\u0442\u043e\\" + cyrillic + u"_01-03.jpg";
    const std::u16string local = deep + u"\\x";
    EXPECT_EQ(FsGetFileW(remote.c_str(), local.c_str(), 0), fs_ok);
    EXPECT_EQ(disk.content(deep + u"\\" + cyrillic + u"_03.jpg"), "frame 3");
    ASSERT_FALSE(disk.copied.empty());
    EXPECT_NE(disk.copied.back().find(utf8(deep)), std::string::npos);
}

// ---- long copies: progress in between, and a Cancel that works ----

namespace {

int32_t abort_at = 1000;  // the call-back answers 1 from this percent on
int32_t TR_WINAPI stopping_progress(int32_t number, const char* source, const char* target, int32_t percent) {
    reports.push_back({number, source, target, percent});
    return percent >= abort_at && percent < 100 ? 1 : 0;
}

struct long_copy : retrieval {
    void SetUp() override {
        retrieval::SetUp();
        abort_at = 1000;
        FsInit(3, stopping_progress);
        // Three members of 200 MB each: 50 chunks apiece.
        for (int i = 1; i <= 3; ++i) disk.add_file("C:\\big\\frame_0" + std::to_string(i) + ".exr", 200u << 20, shot);
    }
    int32_t get_run() { return get("\\C:\\big\\frame_01-03.exr", "D:\\out\\frame_01-03.exr"); }
};

}  // namespace

TEST_F(long_copy, percentages_rise_by_the_bytes_and_never_pass_100) {
    EXPECT_EQ(get_run(), fs_ok);
    ASSERT_GE(reports.size(), 90u) << "a report for every percent, got " << percents();
    int32_t previous = -1;
    for (const report& r : reports) {
        EXPECT_GT(r.percent, previous) << percents();
        EXPECT_LE(r.percent, 100);
        // The host's buffers are gone by now: every report must have passed the same one.
        EXPECT_EQ(static_cast<const void*>(r.source), static_cast<const void*>(reports[0].source));
        previous = r.percent;
    }
    EXPECT_EQ(reports.front().percent, 0);
    EXPECT_EQ(reports.back().percent, 100);
    EXPECT_EQ(disk.copied.size(), 3u);
}

TEST_F(long_copy, time_passing_is_told_even_when_the_percent_stands_still) {
    disk.add_file("C:\\huge\\disc.iso", uint64_t{copy_chunk_bytes} * 10240, shot);  // a percent every 102 chunks
    disk.ms_per_chunk = 60;
    EXPECT_EQ(get("\\C:\\huge\\disc.iso", "D:\\out\\disc.iso"), fs_ok);
    // Every fourth chunk 240 ms have passed; the percent rises only every 102.
    EXPECT_GT(reports.size(), 10240u / 4 - 10) << "reports, got " << reports.size();
    EXPECT_LT(reports.size(), 10240u / 4 + 110);
}

TEST_F(long_copy, a_cancel_a_third_of_the_way_keeps_the_first_member_and_no_part_of_the_second) {
    abort_at = 35;  // the first member ends at 33%
    EXPECT_EQ(get_run(), fs_aborted);
    EXPECT_EQ(disk.copied, (std::vector<std::string>{"C:\\big\\frame_01.exr>D:\\out\\frame_01.exr"}));
    EXPECT_EQ(disk.copies_stopped, 1) << "the second member was stopped in its copy";
    EXPECT_FALSE(disk.exists("D:\\out\\frame_02.exr"));
    EXPECT_FALSE(disk.exists("D:\\out\\frame_03.exr"));
    EXPECT_EQ(reports.back().percent, 35) << "nothing is told after the cancel";
    EXPECT_EQ(disk.find("C:\\big\\frame_02.exr")->size, 200u << 20) << "the source is untouched";
}

TEST_F(long_copy, a_run_of_empty_files_tells_only_0_and_100) {
    for (int i = 1; i <= 3; ++i) disk.add_file("C:\\empty\\e_0" + std::to_string(i) + ".txt", 0, shot);
    disk.ms_per_chunk = 1000;
    EXPECT_EQ(get("\\C:\\empty\\e_01-03.txt", "D:\\out\\e_01-03.txt"), fs_ok);
    EXPECT_EQ(percents(), "0 100 ");
    EXPECT_EQ(disk.copied.size(), 3u);
}
