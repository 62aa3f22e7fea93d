// The chunked copy on the fake disk: whole content, time and attributes kept, progress told, a stopped copy leaves no target.
#include "support/file_copy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_fs.h"

using namespace tallyrun;

namespace {

struct told {
    int64_t total, done;
    uint32_t reason;
};
std::vector<told> heard;
int64_t stop_after = -1;  // the routine cancels once this many bytes are done
uint32_t stop_answer = progress_cancel;

uint32_t TR_WINAPI routine(int64_t total, int64_t done, int64_t, int64_t, uint32_t, uint32_t reason, win_handle,
                           win_handle, void*) {
    heard.push_back({total, done, reason});
    return stop_after >= 0 && done >= stop_after ? stop_answer : progress_continue;
}

const win_filetime shot = utc_time(2006, 9, 19, 9, 34, 18);

struct file_copy : testing::Test {
    void SetUp() override {
        heard.clear();
        stop_after = -1;
        stop_answer = progress_cancel;
        big.assign(copy_chunk_bytes * 2 + 12345, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
        disk.add_file(u"C:\\src\\\u043a\u0430\u0434\u0440.raw", ~0ull, shot, 32 | 1, big);
        disk.add_folder("D:\\out");
    }
    int32_t copy(const std::u16string& target, uint32_t flags = 0, int32_t* cancel = nullptr) {
        return copy_in_chunks<char16_t>(u"C:\\src\\\u043a\u0430\u0434\u0440.raw", target.c_str(), routine, nullptr, cancel,
                                        flags);
    }
    fake_fs disk;
    std::string big;
};

}  // namespace

TEST_F(file_copy, copies_every_byte_with_the_time_and_attributes_of_the_source) {
    EXPECT_EQ(copy(u"D:\\out\\copy.raw"), 1);
    EXPECT_EQ(disk.content(u"D:\\out\\copy.raw"), big);
    const fake_file* f = disk.find_utf8("D:\\out\\copy.raw");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->write_time.low, shot.low);
    EXPECT_EQ(f->write_time.high, shot.high);
    EXPECT_EQ(f->attributes, 33u) << "read-only and archive, as CopyFile leaves them";
    // The start, then one report per chunk, rising to the total.
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].reason, callback_stream_switch);
    EXPECT_EQ(heard[0].done, 0);
    EXPECT_EQ(heard[1].done, int64_t{copy_chunk_bytes});
    EXPECT_EQ(heard[3].done, static_cast<int64_t>(big.size()));
    for (const told& t : heard) EXPECT_EQ(t.total, static_cast<int64_t>(big.size()));
    EXPECT_EQ(disk.content(u"C:\\src\\\u043a\u0430\u0434\u0440.raw"), big) << "the source is only read";
}

TEST_F(file_copy, a_stopped_copy_leaves_no_partial_target) {
    for (uint32_t answer : {progress_cancel, progress_stop}) {
        heard.clear();
        stop_after = copy_chunk_bytes;  // after the first chunk
        stop_answer = answer;
        EXPECT_EQ(copy(u"D:\\out\\stopped.raw"), 0) << "answer " << answer;
        EXPECT_EQ(win.GetLastError(), error_request_aborted);
        EXPECT_FALSE(disk.exists(u"D:\\out\\stopped.raw")) << "the partial target is removed";
        EXPECT_EQ(heard.size(), 2u) << "no chunk is read after the answer";
    }
    int32_t cancel = 1;
    stop_after = -1;
    EXPECT_EQ(copy(u"D:\\out\\cancelled.raw", 0, &cancel), 0);
    EXPECT_FALSE(disk.exists(u"D:\\out\\cancelled.raw"));
    EXPECT_EQ(disk.content(u"C:\\src\\\u043a\u0430\u0434\u0440.raw"), big);
}

TEST_F(file_copy, quiet_asks_no_more_and_failures_keep_their_error) {
    stop_after = 0;
    stop_answer = progress_quiet;
    EXPECT_EQ(copy(u"D:\\out\\quiet.raw"), 1);
    EXPECT_EQ(heard.size(), 1u) << "after 'quiet' the routine hears nothing";
    EXPECT_EQ(disk.content(u"D:\\out\\quiet.raw"), big);

    EXPECT_EQ(copy(u"D:\\out\\quiet.raw", copy_file_fail_if_exists), 0);
    EXPECT_EQ(win.GetLastError(), error_file_exists);
    disk.add_file("D:\\out\\locked.raw", ~0ull, shot, 1, "old");
    EXPECT_EQ(copy(u"D:\\out\\locked.raw"), 0);
    EXPECT_EQ(win.GetLastError(), error_access_denied) << "a read-only target is not replaced";
    EXPECT_EQ(disk.content("D:\\out\\locked.raw"), "old");
    EXPECT_EQ(copy(u"E:\\nowhere\\x.raw"), 0);
    EXPECT_EQ(win.GetLastError(), error_path_not_found);
    EXPECT_EQ(copy_in_chunks<char16_t>(u"C:\\src\\none", u"D:\\out\\none", routine, nullptr, nullptr, 0), 0);
    EXPECT_EQ(win.GetLastError(), error_file_not_found);
    EXPECT_FALSE(disk.exists(u"D:\\out\\none"));
}

TEST_F(file_copy, the_8_bit_form_copies_alike) {
    disk.add_file("C:\\src\\caf\xE9.txt", ~0ull, shot, 32, "bytes");
    EXPECT_EQ(copy_in_chunks<char>("C:\\src\\caf\xE9.txt", "D:\\out\\caf\xE9.txt", nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(disk.content("D:\\out\\caf\xE9.txt"), "bytes");
}

// ---- which copy runs: kernel32's where it reports progress, else the loop ----

namespace {

int silent_calls = 0;
// A CopyFileEx that copies without a word to its routine, as Wine's does.
int32_t TR_WINAPI silent_copy(const char16_t*, const char16_t*, copy_progress_routine, void*, int32_t*, uint32_t) {
    ++silent_calls;
    return 1;
}

struct platform {
    bool wine;
    bool has_copy_file_ex;
    bool silent;  // its CopyFileEx never calls the routine
};
platform shown_platform;
decltype(win_bindings::CopyFileExW) reporting_copy = nullptr;  // the fake disk's own, which reports each chunk

void* lookup(const char* module, const char* name) {
    const std::string m(module), n(name);
    if (m == "ntdll.dll" && n == "wine_get_version") return shown_platform.wine ? reinterpret_cast<void*>(&silent_calls) : nullptr;
    if (m != "kernel32.dll" || !shown_platform.has_copy_file_ex) return nullptr;
    if (n == "CopyFileExW") return reinterpret_cast<void*>(shown_platform.silent ? silent_copy : reporting_copy);
    if (n == "CopyFileExA") return reinterpret_cast<void*>(win.CopyFileExA);
    return nullptr;
}

}  // namespace

TEST_F(file_copy, kernel32s_copy_where_it_reports_progress_else_the_loop_and_both_follow_and_stop) {
    reporting_copy = win.CopyFileExW;
    const struct {
        const char* name;
        platform p;
        bool system_chosen;
    } cases[] = {
        {"Windows", {false, true, false}, true},
        {"Wine", {true, true, true}, false},
        {"a kernel32 without CopyFileEx", {false, false, false}, false},
    };
    for (const auto& c : cases) {
        shown_platform = c.p;
        silent_calls = 0;
        win_bindings table = win;
        choose_copy_file_ex(table, lookup);
        EXPECT_EQ(table.CopyFileExW == reporting_copy, c.system_chosen) << c.name;
        EXPECT_EQ(table.CopyFileExW == copy_in_chunks<char16_t>, !c.system_chosen) << c.name;
        EXPECT_EQ(table.CopyFileExA == copy_in_chunks<char>, !c.system_chosen) << c.name;
        // Whichever was chosen tells each chunk and stops on the answer, leaving no partial target.
        binding_override<decltype(win.CopyFileExW)> chosen(win.CopyFileExW, table.CopyFileExW);
        // The source is read-only, and so is each copy: every case copies to targets of its own.
        const std::u16string folder = u"D:\\out\\" + utf16(c.name) + u"\\";
        disk.add_folder(folder);
        auto copy_with = [&](const char16_t* name) {
            return win.CopyFileExW(u"C:\\src\\\u043a\u0430\u0434\u0440.raw", (folder + name).c_str(), routine, nullptr,
                                   nullptr, 0);
        };
        heard.clear();
        stop_after = -1;
        EXPECT_EQ(copy_with(u"whole.raw"), 1) << c.name;
        EXPECT_EQ(disk.content(folder + u"whole.raw"), big) << c.name;
        EXPECT_EQ(heard.size(), 4u) << c.name << ": the start and three chunks";
        heard.clear();
        stop_after = copy_chunk_bytes;
        EXPECT_EQ(copy_with(u"stopped.raw"), 0) << c.name;
        EXPECT_EQ(win.GetLastError(), error_request_aborted) << c.name;
        EXPECT_FALSE(disk.exists(folder + u"stopped.raw")) << c.name;
        EXPECT_EQ(silent_calls, 0) << c.name << ": a copy that tells nothing is never used";
    }
}
