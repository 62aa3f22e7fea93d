// The real DLL under Wine: copying entries out, every prompt answer, the list file and tree copies.
#include <gtest/gtest.h>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);
const FILETIME earlier = utc(2005, 1, 2, 3, 4, 6);

struct retrieval_e2e : testing::Test {
    void SetUp() override {
        ASSERT_NE(the_plugin().module, nullptr) << "cannot load " << plugin_file;
        for (int i = 1; i <= 3; ++i) write_file(member(i), "source bytes " + std::to_string(i), shot);
        before = snapshot(source.path);
        the_plugin().reports.clear();
        hold_ctrl(false);
    }
    void TearDown() override {
        hold_ctrl(false);
        EXPECT_EQ(snapshot(source.path), before) << "the source folder changed";
    }
    std::string member(int i) const { return source.path + "IMG_000" + std::to_string(i) + ".JPG"; }
    std::string target(int i) const { return out.path + "IMG_000" + std::to_string(i) + ".JPG"; }
    std::string remote() const { return plugin_path(source.path) + "\\IMG_0001-0003.JPG"; }
    std::string local() const { return out.path + "IMG_0001-0003.JPG"; }
    // Every target exists with its own bytes, at the given time.
    void targets_exist(FILETIME time) {
        for (int i = 1; i <= 3; ++i) write_file(target(i), "old " + std::to_string(i), time);
    }
    std::string target_state() const {
        std::string s;
        for (int i = 1; i <= 3; ++i) s += read_file(target(i)) + ";";
        return s;
    }
    int get_answering(const std::vector<std::string>& actions, std::vector<std::string>& texts) {
        window_answerer answers(actions);
        int result = the_plugin().get(remote(), local());
        texts = answers.texts();
        return result;
    }
    temp_folder source, out;
    std::map<std::string, std::string> before;
};

}  // namespace

TEST_F(retrieval_e2e, run_of_three_copies_identical_bytes_with_progress_0_then_100) {
    EXPECT_EQ(the_plugin().get(remote(), local()), 0);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(read_file(target(i)), read_file(member(i))) << i;
    EXPECT_FALSE(exists(local())) << "the entry's own name is not a file";
    const auto& r = the_plugin().reports;
    ASSERT_TRUE(told_done(r)) << percents(r);
    EXPECT_EQ(r[0].source, remote());
    EXPECT_EQ(r[0].target, local());
}

TEST_F(retrieval_e2e, prompt_text_names_the_target_as_listed_then_the_source) {
    write_file(out.path + "img_0001.jpg", "older bytes", earlier);
    std::vector<std::string> texts;
    EXPECT_EQ(get_answering({"skip"}, texts), 0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
              "Overwrite: img_0001.jpg\n          11 Byte, 02.01.2005 03:04:06\n\n"
              "With file: IMG_0001.JPG ?\n          14 Byte, 19.09.2006 09:34:18");
    EXPECT_EQ(read_file(out.path + "img_0001.jpg"), "older bytes");
    EXPECT_EQ(read_file(target(2)), "source bytes 2");
}

TEST_F(retrieval_e2e, each_answer_across_one_entrys_members) {
    struct answer_case {
        std::vector<std::string> actions;
        int result;
        size_t prompts;
        std::string after;
    } cases[] = {
        {{"overwrite", "overwrite", "overwrite"}, 0, 3, "source bytes 1;source bytes 2;source bytes 3;"},
        {{"all"}, 0, 1, "source bytes 1;source bytes 2;source bytes 3;"},
        {{"skip", "overwrite", "skip"}, 0, 3, "old 1;source bytes 2;old 3;"},
        {{"skip-all"}, 0, 1, "old 1;old 2;old 3;"},
        {{"overwrite", "skip-all"}, 0, 2, "source bytes 1;old 2;old 3;"},
        {{"cancel"}, 5, 1, "old 1;old 2;old 3;"},
        {{"enter", "skip", "enter"}, 0, 3, "source bytes 1;old 2;source bytes 3;"},
        {{"escape"}, 5, 1, "old 1;old 2;old 3;"},
        {{"close"}, 5, 1, "old 1;old 2;old 3;"},
        {{"overwrite", "cancel"}, 5, 2, "old 1;old 2;old 3;"},
    };
    for (const answer_case& c : cases) {
        std::string name;
        for (const std::string& a : c.actions) name += a + " ";
        targets_exist(earlier);
        the_plugin().reports.clear();
        std::vector<std::string> texts;
        EXPECT_EQ(get_answering(c.actions, texts), c.result) << name;
        EXPECT_EQ(texts.size(), c.prompts) << name;
        EXPECT_EQ(target_state(), c.after) << name;
        EXPECT_TRUE(c.result == 0 ? told_done(the_plugin().reports) : told_unfinished(the_plugin().reports))
            << name << ": " << percents(the_plugin().reports);
    }
}

TEST_F(retrieval_e2e, overwrite_older_drops_equal_times_and_takes_older_targets) {
    targets_exist(shot);  // same time as the sources
    std::vector<std::string> texts;
    EXPECT_EQ(get_answering({"older"}, texts), 0);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(target_state(), "old 1;old 2;old 3;");
    targets_exist(earlier);
    write_file(target(2), "newer", utc(2010, 1, 1, 0, 0, 0));
    EXPECT_EQ(get_answering({"older"}, texts), 0);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(target_state(), "source bytes 1;newer;source bytes 3;");
}

TEST_F(retrieval_e2e, denied_member_gives_2_after_the_earlier_ones_were_copied) {
    // A folder in the place of the second target: Windows denies writing it.
    CreateDirectoryA(target(2).c_str(), nullptr);
    std::vector<std::string> texts;
    EXPECT_EQ(get_answering({"all"}, texts), 2);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(read_file(target(1)), "source bytes 1");
    EXPECT_TRUE(GetFileAttributesA(target(2).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(exists(target(3))) << "members after the failure are not attempted";
    EXPECT_TRUE(told_unfinished(the_plugin().reports)) << percents(the_plugin().reports);
}

TEST_F(retrieval_e2e, member_removed_after_listing_gives_2) {
    temp_folder other;
    write_file(other.path + "f01.txt", "1", shot);
    write_file(other.path + "f02.txt", "2", shot);
    the_plugin().names(plugin_path(other.path));
    DeleteFileA((other.path + "f02.txt").c_str());
    EXPECT_EQ(the_plugin().get(plugin_path(other.path) + "\\f01-02.txt", out.path + "f01-02.txt"), 2);
    EXPECT_EQ(read_file(out.path + "f01.txt"), "1");
}

TEST_F(retrieval_e2e, ctrl_writes_the_list_file_byte_for_byte) {
    hold_ctrl(true);
    EXPECT_EQ(the_plugin().get(remote(), local()), 0);
    hold_ctrl(false);
    EXPECT_EQ(read_file(local() + ".lst"),
              source.path + "\r\n"
              "IMG_0001.JPG\t14\t2006.9.19\t9:34.18\r\n"
              "IMG_0002.JPG\t14\t2006.9.19\t9:34.18\r\n"
              "IMG_0003.JPG\t14\t2006.9.19\t9:34.18\r\n");
    EXPECT_FALSE(exists(target(1))) << "nothing copied";
    EXPECT_TRUE(told_done(the_plugin().reports)) << percents(the_plugin().reports);
}

TEST_F(retrieval_e2e, move_is_refused_without_ctrl_and_lists_with_it) {
    EXPECT_EQ(the_plugin().get(remote(), local(), 4), 6);
    EXPECT_FALSE(exists(target(1)));
    hold_ctrl(true);
    EXPECT_EQ(the_plugin().get(remote(), local(), 4), 0);
    hold_ctrl(false);
    EXPECT_TRUE(exists(local() + ".lst"));
    EXPECT_TRUE(exists(member(1))) << "nothing moved away";
}

TEST_F(retrieval_e2e, other_result_codes) {
    EXPECT_EQ(the_plugin().get(remote(), local(), 2), 6) << "resume";
    EXPECT_EQ(the_plugin().get("\\", local()), 2);
    EXPECT_EQ(the_plugin().get(plugin_path(source.path) + "\\IMG_0001-0009.JPG", local()), 2)
        << "a name its folder does not hold";
    hold_ctrl(true);
    EXPECT_EQ(the_plugin().get(remote(), out.path + "missing\\x"), 4) << "list file cannot be created";
}

TEST_F(retrieval_e2e, tree_copy_through_the_harness_maps_every_entry_through_its_own_folder) {
    std::string photos = source.path + "photos\\";
    CreateDirectoryA(photos.c_str(), nullptr);
    CreateDirectoryA((photos + "day2").c_str(), nullptr);
    for (int i = 1; i <= 3; ++i) {
        write_file(photos + "p0" + std::to_string(i) + ".jpg", "first " + std::to_string(i), shot);
        write_file(photos + "day2\\p0" + std::to_string(i) + ".jpg", "second " + std::to_string(i), shot);
    }
    write_file(photos + "day2\\readme.txt", "readme", shot);
    before = snapshot(source.path);
    DWORD status = 1;
    // No backslash before the closing quote: it would escape the quote.
    std::string text = run_host("\"" + plugin_file + "\" copy \"" + plugin_path(photos) + "\" \"" +
                                    out.path.substr(0, out.path.size() - 1) + "\"",
                                &status);
    EXPECT_EQ(status, 0u) << text;
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(read_file(out.path + "photos\\p0" + std::to_string(i) + ".jpg"), "first " + std::to_string(i)) << text;
        EXPECT_EQ(read_file(out.path + "photos\\day2\\p0" + std::to_string(i) + ".jpg"), "second " + std::to_string(i)) << text;
    }
    EXPECT_EQ(read_file(out.path + "photos\\day2\\readme.txt"), "readme");
    EXPECT_NE(text.find("p01-03.jpg: 0 FS_FILE_OK"), std::string::npos) << text;
}

TEST_F(retrieval_e2e, harness_answers_prompts_by_script) {
    targets_exist(earlier);
    DWORD status = 1;
    std::string text = run_host("--answer skip,all \"" + plugin_file + "\" get \"" + remote() + "\" \"" +
                                    local() + "\"",
                                &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_NE(text.find("prompt (answer skip):\nOverwrite: IMG_0001.JPG"), std::string::npos) << text;
    EXPECT_EQ(target_state(), "old 1;source bytes 2;source bytes 3;") << text;
}
