// The real DLL under Wine on real folders that change or refuse access behind its back.
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);
const FILETIME earlier = utc(2005, 1, 2, 3, 4, 6);

struct robustness : testing::Test {
    void SetUp() override {
        ASSERT_NE(the_plugin().module, nullptr) << "cannot load " << plugin_file;
        for (int i = 1; i <= 3; ++i) write_file(member(i), content(i), shot);
        before = snapshot(source.path);
        the_plugin().reports.clear();
        hold_ctrl(false);
    }
    // Whatever failed, the plugin changed nothing in its own file system: the
    // source tree is what the test itself last made it (kept in before).
    void TearDown() override { EXPECT_EQ(snapshot(source.path), before) << "the source tree changed"; }
    std::string member(int i) const { return source.path + "f0" + std::to_string(i) + ".txt"; }
    std::string target(int i) const { return out.path + "f0" + std::to_string(i) + ".txt"; }
    static std::string content(int i) { return "member bytes " + std::to_string(i); }
    std::string remote() const { return plugin_path(source.path) + "\\f01-03.txt"; }
    std::string local() const { return out.path + "f01-03.txt"; }
    // Which targets hold what: "member bytes 1;<missing>;..."
    std::string targets() const {
        std::string s;
        for (int i = 1; i <= 3; ++i) s += read_file(target(i)) + ";";
        return s;
    }
    void listed() {
        std::vector<std::string> names = the_plugin().names(plugin_path(source.path));
        ASSERT_EQ(names.size(), 3u) << "., .. and the run";
        ASSERT_EQ(names[2], "f01-03.txt");
    }
    void clear_out() {
        for (int i = 1; i <= 3; ++i) {
            SetFileAttributesA(target(i).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(target(i).c_str());
        }
        the_plugin().reports.clear();
    }
    temp_folder source, out;
    std::map<std::string, std::string> before;
};

}  // namespace

TEST_F(robustness, member_removed_between_listing_and_copy) {
    const struct {
        int removed;
        std::string after;
    } cases[] = {
        {1, "<missing>;<missing>;<missing>;"},
        {2, "member bytes 1;<missing>;<missing>;"},
        {3, "member bytes 1;member bytes 2;<missing>;"},
    };
    for (const auto& c : cases) {
        clear_out();
        for (int i = 1; i <= 3; ++i) write_file(member(i), content(i), shot);
        listed();
        ASSERT_TRUE(DeleteFileA(member(c.removed).c_str()));
        before = snapshot(source.path);
        std::string label = "member " + std::to_string(c.removed) + " removed";
        EXPECT_EQ(the_plugin().get(remote(), local()), 2) << label;
        EXPECT_EQ(targets(), c.after) << label;
        EXPECT_TRUE(told_unfinished(the_plugin().reports)) << percents(the_plugin().reports) << label;
        EXPECT_EQ(snapshot(source.path), before) << label;
    }
}

TEST_F(robustness, target_folder_that_does_not_exist) {
    listed();
    std::string missing = out.path + "no such folder\\";
    EXPECT_EQ(the_plugin().get(remote(), missing + "f01-03.txt"), 2);
    EXPECT_FALSE(exists(missing)) << "the plugin created the target folder";
    EXPECT_TRUE(told_unfinished(the_plugin().reports)) << percents(the_plugin().reports);
}

TEST_F(robustness, read_only_target_follows_what_copy_file_does_here) {
    // Windows refuses to replace a read-only file (ERROR_ACCESS_DENIED), so the
    // second member fails with 2. Wine running as root lets the write through,
    // since Unix grants root write access to a file without write permission:
    // there the copy succeeds. Which rule holds is probed with CopyFileA
    // itself; either way the plugin's answer must match what reached the disk.
    std::string probe = out.path + "probe.txt";
    write_file(probe, "probe", earlier);
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    bool windows_rule = !CopyFileA(member(1).c_str(), probe.c_str(), FALSE);
    DWORD probe_error = GetLastError();
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(probe.c_str());
    if (windows_rule) {
        EXPECT_EQ(probe_error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }

    write_file(target(2), "read-only bytes", earlier);
    ASSERT_TRUE(SetFileAttributesA(target(2).c_str(), FILE_ATTRIBUTE_READONLY));
    listed();
    int result = -1;
    std::vector<std::string> texts;
    {
        window_answerer answers({"overwrite"});
        result = the_plugin().get(remote(), local());
        texts = answers.texts();
    }
    EXPECT_EQ(texts.size(), 1u) << "one prompt, for the existing target";
    if (windows_rule) {
        EXPECT_EQ(result, 2);
        EXPECT_EQ(targets(), "member bytes 1;read-only bytes;<missing>;");
        EXPECT_TRUE(told_unfinished(the_plugin().reports)) << percents(the_plugin().reports);
    } else {
        EXPECT_EQ(result, 0) << "the read-only file was replaced, so the copy is done";
        EXPECT_EQ(targets(), "member bytes 1;member bytes 2;member bytes 3;");
        EXPECT_TRUE(told_done(the_plugin().reports)) << percents(the_plugin().reports);
    }
}

TEST_F(robustness, folder_in_place_of_a_member_cannot_be_read) {
    listed();
    ASSERT_TRUE(DeleteFileA(member(2).c_str()));
    ASSERT_TRUE(CreateDirectoryA(member(2).c_str(), nullptr));
    before = snapshot(source.path);
    EXPECT_EQ(the_plugin().get(remote(), local()), 2) << "access denied";
    EXPECT_EQ(targets(), "member bytes 1;<missing>;<missing>;");
    EXPECT_FALSE(exists(target(2))) << "nothing of that name appears at the target";
    EXPECT_EQ(snapshot(source.path), before);
    RemoveDirectoryA(member(2).c_str());
    write_file(member(2), content(2), shot);
    before = snapshot(source.path);
}

TEST_F(robustness, member_held_open_without_sharing_cannot_be_read) {
    listed();
    HANDLE held = CreateFileA(member(2).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int result = the_plugin().get(remote(), local());
    CloseHandle(held);
    EXPECT_EQ(result, 3) << "a sharing violation is a read error";
    EXPECT_EQ(targets(), "member bytes 1;<missing>;<missing>;");
    EXPECT_TRUE(told_unfinished(the_plugin().reports)) << percents(the_plugin().reports);
}

TEST_F(robustness, folder_that_vanishes_between_two_listings) {
    std::string day = source.path + "day\\";
    ASSERT_TRUE(CreateDirectoryA(day.c_str(), nullptr));
    write_file(day + "p01.jpg", "p1", shot);
    write_file(day + "p02.jpg", "p2", shot);
    std::vector<std::string> first = the_plugin().names(plugin_path(day));
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[2], "p01-02.jpg");

    DeleteFileA((day + "p01.jpg").c_str());
    DeleteFileA((day + "p02.jpg").c_str());
    ASSERT_TRUE(RemoveDirectoryA(day.c_str()));
    before = snapshot(source.path);
    DWORD error = 0;
    std::vector<std::string> second = the_plugin().names(plugin_path(day), &error);
    EXPECT_TRUE(second.empty()) << "listed a folder that is gone";
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        << "FsFindFirst failed with error " << error;
    EXPECT_EQ(the_plugin().get(plugin_path(day) + "\\p01-02.jpg", out.path + "p01-02.jpg"), 2);
    EXPECT_FALSE(exists(out.path + "p01.jpg"));
    EXPECT_FALSE(exists(day)) << "the plugin re-created the vanished folder";
}

TEST_F(robustness, host_buffers_of_a_copy_are_only_read) {
    listed();
    // Buffers exactly as long as the names, with guard bytes around them.
    auto guarded = [](const std::string& text) {
        std::vector<char> b(16 + text.size() + 1 + 16, '\x3C');
        std::memcpy(b.data() + 16, text.c_str(), text.size() + 1);
        return b;
    };
    const struct {
        std::string remote, local;
        int result;
    } cases[] = {
        {remote(), local(), 0},
        {remote(), out.path + "missing\\f01-03.txt", 2},
        {plugin_path(source.path) + "\\f01-09.txt", local(), 2},
    };
    for (const auto& c : cases) {
        clear_out();
        std::vector<char> r = guarded(c.remote), l = guarded(c.local);
        std::vector<char> r0 = r, l0 = l;
        EXPECT_EQ(the_plugin().FsGetFile(r.data() + 16, l.data() + 16, 0, nullptr), c.result) << c.remote;
        EXPECT_TRUE(r == r0) << "remote-name buffer changed: " << std::string(r.data() + 16);
        EXPECT_TRUE(l == l0) << "local-name buffer changed: " << std::string(l.data() + 16);
    }
    EXPECT_EQ(targets(), "<missing>;<missing>;<missing>;") << "only the first case copies; cleared after";
}

TEST_F(robustness, folder_records_are_written_only_where_the_host_allows) {
    write_file(source.path + std::string(200, 'n') + ".txt", "long", shot);
    before = snapshot(source.path);
    unsigned char raw[16 + sizeof(WIN32_FIND_DATAA) + 16];
    std::memset(raw, 0xEE, sizeof raw);
    auto* d = reinterpret_cast<WIN32_FIND_DATAA*>(raw + 16);
    std::string path = plugin_path(source.path);
    std::vector<char> p(path.begin(), path.end());
    p.push_back(0);
    HANDLE h = the_plugin().FsFindFirst(p.data(), d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(raw[i], 0xEE) << "first call wrote before the record";
    for (size_t i = 16 + 318; i < sizeof raw; ++i) EXPECT_EQ(raw[i], 0xEE) << "first call wrote offset " << i - 16;
    int entries = 1;
    for (;;) {
        std::memset(raw, 0xEE, sizeof raw);
        BOOL more = the_plugin().FsFindNext(h, d);
        size_t name_end = more ? 44 + std::strlen(d->cFileName) : 0;
        for (size_t i = 0; i < sizeof raw; ++i) {
            long offset = static_cast<long>(i) - 16;
            bool may = more && ((offset >= 0 && offset < 4) || (offset >= 20 && offset < 36) ||
                                (offset >= 44 && offset <= static_cast<long>(name_end)));
            if (!may && raw[i] != 0xEE) {
                ADD_FAILURE() << "entry " << entries << " (answer " << more << ") wrote offset " << offset;
                break;
            }
        }
        if (!more) break;
        ++entries;
    }
    the_plugin().FsFindClose(h);
    EXPECT_EQ(entries, 4) << "., .., the run and the long name";
}
