// Enter, properties and thumbnails on the fake disk: what the shell is asked to open, and the preview paths.
#include "plugin/context.h"
#include "plugin/execution.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_fs.h"
#include "plugin/enumeration.h"
#include "plugin/sample_ini.h"
#include "plugin/startup.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;

struct shell_call {
    std::string verb, file;
    uint32_t mask;
    win_handle window;
};
std::vector<shell_call> shell_calls;
int32_t shell_answer = 1;
int32_t TR_WINAPI recording_shell(win_shell_execute_info* info) {
    shell_calls.push_back({utf8(info->verb), utf8(info->file), info->mask, info->window});
    return shell_answer;
}

win_handle const main_window = reinterpret_cast<win_handle>(uintptr_t{0x6660});

struct execution : testing::Test {
    void SetUp() override {
        reset_listings(context().tables);
        shell_calls.clear();
        shell_answer = 1;
        plugin.ini_folder = u"C:\\cfg\\";
        plugin.ini_name = u"tallyrun.ini";
        for (const char* n : {"shotA_0001.exr", "shotA_0002.exr", "shotA_0003.exr", "notes.txt"})
            disk.add_file(std::string("C:\\shots\\") + n, ~0ull, {}, 32, n);
        disk.add_folder("C:\\shots\\sub");
        disk.add_folder("C:\\cfg");
    }
    void TearDown() override { reset_listings(context().tables); }
    int32_t run(const std::string& remote, const char* verb) {
        std::vector<char> buffer(remote.begin(), remote.end());
        buffer.push_back(0);
        const std::vector<char> before = buffer;
        int32_t result = FsExecuteFile(main_window, buffer.data(), verb);
        EXPECT_EQ(buffer, before) << "the host's name was written";
        return result;
    }
    fake_fs disk;
    binding_override<decltype(win.ShellExecuteExW)> shell{win.ShellExecuteExW, recording_shell};
};

}  // namespace

TEST_F(execution, open_hands_the_real_file_to_the_shell_and_copies_nothing) {
    EXPECT_EQ(run("\\C:\\shots\\shotA_0001-0003.exr", "open"), fs_exec_ok);
    EXPECT_EQ(run("\\C:\\shots\\NOTES.TXT", "open"), fs_exec_ok) << "case ignored";
    ASSERT_EQ(shell_calls.size(), 2u);
    EXPECT_EQ(shell_calls[0].verb, "open");
    EXPECT_EQ(shell_calls[0].file, "C:\\shots\\shotA_0001.exr") << "a run opens its first member";
    EXPECT_EQ(shell_calls[0].window, main_window);
    EXPECT_EQ(shell_calls[1].file, "C:\\shots\\notes.txt") << "the name as on disk";
    EXPECT_EQ(disk.copy_calls, 0);
}

TEST_F(execution, folders_are_the_hosts_and_failures_are_errors) {
    EXPECT_EQ(run("\\C:\\shots\\sub", "open"), fs_exec_yourself);
    EXPECT_EQ(run("\\C:\\shots\\..", "open"), fs_exec_yourself);
    EXPECT_EQ(run("\\C:", "open"), fs_exec_yourself) << "a drive";
    EXPECT_EQ(run("\\", "open"), fs_exec_yourself) << "the root";
    EXPECT_EQ(run("\\C:\\shots\\nothing.txt", "open"), fs_exec_error);
    EXPECT_EQ(run("\\C:\\gone\\x.txt", "open"), fs_exec_error);
    EXPECT_TRUE(shell_calls.empty());
    shell_answer = 0;
    EXPECT_EQ(run("\\C:\\shots\\notes.txt", "open"), fs_exec_error) << "the shell failed";
}

TEST_F(execution, other_verbs_run_nothing) {
    EXPECT_EQ(run("\\C:\\shots\\notes.txt", "chmod 755"), fs_exec_error);
    EXPECT_EQ(run("\\C:\\shots", "quote dir"), fs_exec_error);
    EXPECT_EQ(run("\\C:\\shots\\notes.txt", "MODE I"), fs_exec_ok);
    EXPECT_EQ(run("\\C:\\shots\\notes.txt", "MODE"), fs_exec_ok);
    EXPECT_TRUE(shell_calls.empty());
    EXPECT_EQ(FsExecuteFile(main_window, nullptr, "open"), fs_exec_error);
}

TEST_F(execution, properties_of_an_entry_show_its_real_files_sheet) {
    EXPECT_EQ(run("\\C:\\shots\\shotA_0001-0003.exr", "properties"), fs_exec_ok);
    EXPECT_EQ(run("\\C:\\shots\\sub", "properties"), fs_exec_ok);
    ASSERT_EQ(shell_calls.size(), 2u);
    EXPECT_EQ(shell_calls[0].verb, "properties");
    EXPECT_EQ(shell_calls[0].file, "C:\\shots\\shotA_0001.exr");
    EXPECT_EQ(shell_calls[0].mask & see_mask_invokeidlist, see_mask_invokeidlist);
    EXPECT_EQ(shell_calls[1].file, "C:\\shots\\sub");
}

TEST_F(execution, properties_on_the_root_opens_tallyrun_ini_writing_the_sample_first) {
    EXPECT_EQ(run("\\", "properties"), fs_exec_ok);
    ASSERT_EQ(shell_calls.size(), 1u);
    EXPECT_EQ(shell_calls[0].verb, "open");
    EXPECT_EQ(shell_calls[0].file, "C:\\cfg\\tallyrun.ini");
    EXPECT_EQ(disk.content("C:\\cfg\\tallyrun.ini"), sample_ini) << "written from the release's sample";
    EXPECT_NE(std::string(sample_ini).find(";seqpattern=%s..%s"), std::string::npos);

    // An existing file is opened as it is, wherever the listings find it.
    disk.add_file("C:\\cfg\\tallyrun.ini", ~0ull, {}, 32, "[Options]\n");
    EXPECT_EQ(run("\\", "properties"), fs_exec_ok);
    EXPECT_EQ(disk.content("C:\\cfg\\tallyrun.ini"), "[Options]\n") << "never overwritten";
    disk.remove("C:\\cfg\\tallyrun.ini");
    const std::string beside = utf8(ini_place_of(context().settings).folders.back()) + "tallyrun.ini";  // the plugin's folder
    disk.add_file(beside, ~0ull, {}, 32, "[Options]\n");
    EXPECT_EQ(run("\\", "properties"), fs_exec_ok);
    EXPECT_EQ(shell_calls.back().file, beside) << "the one beside the plugin";
    EXPECT_FALSE(disk.exists("C:\\cfg\\tallyrun.ini"));
}

TEST_F(execution, the_wide_form_opens_unicode_names) {
    disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\\u041f\u0440\u0438\u0432\u0435\u0442_01.jpg", 1);
    disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\\u041f\u0440\u0438\u0432\u0435\u0442_02.jpg", 1);
    std::u16string remote = u"\\C:\\\u0444\u043e\u0442\u043e\\\u041f\u0440\u0438\u0432\u0435\u0442_01-02.jpg";
    EXPECT_EQ(FsExecuteFileW(main_window, remote.data(), u"open"), fs_exec_ok);
    ASSERT_EQ(shell_calls.size(), 1u);
    EXPECT_EQ(shell_calls[0].file, "C:\\фото\\Привет_01.jpg");
}

TEST_F(execution, previews_name_the_real_file_within_260_units) {
    char buffer[300];
    auto preview = [&](const std::string& remote) {
        std::memset(buffer, '#', sizeof buffer);
        std::memcpy(buffer, remote.c_str(), remote.size() + 1);
        return FsGetPreviewBitmap(buffer, 96, 96, nullptr);
    };
    EXPECT_EQ(preview("\\C:\\shots\\shotA_0001-0003.exr"), fs_bitmap_extract_yourself + fs_bitmap_cache);
    EXPECT_STREQ(buffer, "C:\\shots\\shotA_0001.exr");
    EXPECT_EQ(preview("\\C:\\shots\\notes.txt"), 258);
    EXPECT_STREQ(buffer, "C:\\shots\\notes.txt");
    EXPECT_EQ(preview("\\C:\\shots\\sub"), fs_bitmap_none);
    EXPECT_STREQ(buffer, "\\C:\\shots\\sub") << "nothing written for a folder";
    EXPECT_EQ(preview("\\C:\\shots\\none.exr"), fs_bitmap_none);

    // A path of 259 units fits with its zero; one of 260 does not.
    for (size_t length : {259u, 260u}) {
        const std::string folder = "C:\\" + std::string(length - 3 - 1 - 7, 'd');
        disk.add_file(folder + "\\a01.png", 1);
        disk.add_file(folder + "\\a02.png", 1);
        const std::u16string remote = utf16("\\" + folder + "\\a01-02.png");
        char16_t wide[300];
        std::fill(wide, wide + 300, u'#');
        std::copy(remote.begin(), remote.end(), wide);
        wide[remote.size()] = 0;
        const std::u16string before(wide, 300);
        const int32_t answer = FsGetPreviewBitmapW(wide, 96, 96, nullptr);
        if (length == 259) {
            EXPECT_EQ(answer, 258);
            EXPECT_EQ(utf8(wide), folder + "\\a01.png");
            EXPECT_EQ(wide[259], u'\0') << "the zero is the 260th unit";
            EXPECT_EQ(std::u16string(wide + 260, 40), before.substr(260)) << "nothing written beyond the 260 units";
        } else {
            EXPECT_EQ(answer, fs_bitmap_none) << "260 units do not fit";
            EXPECT_EQ(std::u16string(wide), remote);
        }
    }
}
