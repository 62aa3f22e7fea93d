// Copying entries out: result codes, progress, the list file, mapping through the entry's own folder.
#include "plugin/retrieval.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/confirm.h"
#include "fakes/fake_fs.h"
#include "plugin/enumeration.h"
#include "plugin/startup.h"

using namespace tallyrun;

namespace {

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
        reset_listings();
        reports.clear();
        progress_answer = 0;
        key_state_calls = 0;
        dialog_answers.clear();
        dialogs_shown = 0;
        confirm_dialog_setup();  // as the start-up does; once is enough
        FsInit(3, record_progress);
        plugin.ini_folder = "C:\\nowhere\\";
        for (int i = 1; i <= 3; ++i)
            disk.add_file("C:\\photos\\IMG_000" + std::to_string(i) + ".JPG", ~0ull, shot, 32,
                          "picture " + std::to_string(i));
        disk.add_file("C:\\photos\\notes.txt", ~0ull, shot, 32, "notes");
        disk.add_folder("C:\\photos\\sub");
        disk.add_folder("D:\\out");
    }
    void TearDown() override {
        reset_listings();
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
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(percents(), "0 100 ");
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
    EXPECT_EQ(kept_listing_count(), 0u);
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
        EXPECT_EQ(percents(), "0 ") << "error " << c.error;
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
    real_entry e{"a b.jpg", {2006, 9, 1, 0, 4, 8}, true, 32, 18446744073709551615ull};
    EXPECT_EQ(list_line(e), "a b.jpg\t18446744073709551615\t2006.9.1\t0:4.8");
}
