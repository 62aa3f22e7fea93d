// The real DLL under Wine on large files: the progress of long copies, Cancel within a member, what a copy keeps.
#include <gtest/gtest.h>

#include <set>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);
const unsigned long long mib = 1ull << 20;

// A sparse file of size bytes, made at once: its name at the start and near
// the end, zeros between that take no disk.
void write_sparse(const std::wstring& path, unsigned long long size, FILETIME time) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string mark = utf8(path);
    DWORD done = 0;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    at.QuadPart = 0;
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &done, nullptr);
    at.QuadPart = static_cast<LONGLONG>(size - mark.size() - 7);
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &done, nullptr);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

// "" when the reports of one copy start at 0, never fall, never pass 100,
// and end at 100 when done (below it when not); else what is wrong.
std::string progress_fault(const std::vector<progress_report>& reports, bool done) {
    if (reports.empty()) return "no report";
    if (reports.front().percent != 0) return "the first report is not 0: " + percents(reports);
    for (size_t i = 1; i < reports.size(); ++i)
        if (reports[i].percent < reports[i - 1].percent || reports[i].percent > 100)
            return "falls or passes 100: " + percents(reports);
    if ((reports.back().percent == 100) != done) return "the last report is wrong: " + percents(reports);
    return "";
}

size_t distinct_percents(const std::vector<progress_report>& reports) {
    std::set<int> seen;
    for (const progress_report& r : reports) seen.insert(r.percent);
    return seen.size();
}

struct progress_e2e : testing::Test {
    void SetUp() override {
        ASSERT_NE(the_plugin().module, nullptr) << "cannot load " << plugin_file;
        the_plugin().reports.clear();
        the_plugin().wide_reports.clear();
        hold_ctrl(false);
    }
    void TearDown() override {
        the_plugin().abort_from = 101;
        EXPECT_EQ(snapshot(source.wpath), before) << "the source folder changed";
    }
    // Three members big_0001.bin ... of size bytes each.
    void make_run(unsigned long long size) {
        for (int i = 1; i <= 3; ++i) write_sparse(member(i), size, shot);
        before = snapshot(source.wpath);
    }
    std::wstring member(int i) const { return source.wpath + L"big_000" + std::to_wstring(i) + L".bin"; }
    std::wstring target(int i) const { return out.wpath + L"big_000" + std::to_wstring(i) + L".bin"; }
    std::wstring remote() const { return plugin_path(source.wpath) + L"\\big_0001-0003.bin"; }
    std::wstring local() const { return out.wpath + L"big_0001-0003.bin"; }
    temp_folder source, out;
    std::map<std::string, std::string> before;
};

}  // namespace

TEST_F(progress_e2e, percents_rise_in_steps_to_100_over_large_members_on_both_sides) {
    make_run(48 * mib);
    plugin& p = the_plugin();
    EXPECT_EQ(p.get_w(remote(), local()), 0);
    EXPECT_EQ(progress_fault(p.wide_reports, true), "");
    EXPECT_GE(distinct_percents(p.wide_reports), 20u) << "three members of 48 MiB: " << percents(p.wide_reports);
    EXPECT_EQ(p.wide_reports.back().source, utf8(remote()));
    EXPECT_EQ(p.wide_reports.back().target, utf8(local()));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(file_digest(target(i)), file_digest(member(i))) << i;

    temp_folder again;
    EXPECT_EQ(p.get(to_ansi(remote()), again.path + "big_0001-0003.bin"), 0);
    EXPECT_EQ(progress_fault(p.reports, true), "");
    EXPECT_GE(distinct_percents(p.reports), 20u) << percents(p.reports);
}

TEST_F(progress_e2e, cancel_a_third_of_the_way_keeps_the_first_member_whole_and_no_partial_second) {
    make_run(200 * mib);
    plugin& p = the_plugin();
    p.abort_from = 34;  // the first chunk of the second member
    EXPECT_EQ(p.get_w(remote(), local()), 5);
    EXPECT_EQ(progress_fault(p.wide_reports, false), "");
    EXPECT_EQ(p.wide_reports.back().percent, 34) << "it stopped at once: " << percents(p.wide_reports);
    EXPECT_EQ(file_digest(target(1)), file_digest(member(1))) << "the complete member stays";
    EXPECT_FALSE(exists(target(2))) << "the partial member is removed";
    EXPECT_FALSE(exists(target(3)));
}

TEST_F(progress_e2e, cancel_at_0_copies_nothing) {
    make_run(8 * mib);
    plugin& p = the_plugin();
    p.abort_from = 0;
    EXPECT_EQ(p.get_w(remote(), local()), 5);
    EXPECT_EQ(p.get(to_ansi(remote()), to_ansi(local())), 5);
    EXPECT_EQ(percents(p.wide_reports), "0 ");
    EXPECT_EQ(percents(p.reports), "0 ");
    EXPECT_TRUE(snapshot(out.wpath).empty()) << "something was written";
}

TEST_F(progress_e2e, copies_keep_each_members_last_write_time_and_read_only) {
    const FILETIME times[] = {utc(2001, 2, 3, 4, 5, 6), utc(2011, 12, 13, 14, 15, 16), utc(2021, 6, 7, 8, 9, 10)};
    for (int i = 1; i <= 3; ++i) write_file(member(i), "member " + std::to_string(i), times[i - 1]);
    SetFileAttributesW(member(2).c_str(), FILE_ATTRIBUTE_READONLY);
    before = snapshot(source.wpath);
    EXPECT_EQ(the_plugin().get_w(remote(), local()), 0);
    for (int i = 1; i <= 3; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA want{}, got{};
        GetFileAttributesExW(member(i).c_str(), GetFileExInfoStandard, &want);
        ASSERT_TRUE(GetFileAttributesExW(target(i).c_str(), GetFileExInfoStandard, &got)) << i;
        EXPECT_EQ(CompareFileTime(&got.ftLastWriteTime, &want.ftLastWriteTime), 0) << i;
        EXPECT_EQ(got.dwFileAttributes & FILE_ATTRIBUTE_READONLY, want.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            << i << ": attributes " << got.dwFileAttributes << ", the source's " << want.dwFileAttributes;
    }
    EXPECT_TRUE(GetFileAttributesW(target(2).c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(progress_e2e, harness_prints_the_steps_and_cancels_where_told) {
    make_run(24 * mib);
    auto count = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    };
    const std::string get = "\"" + plugin_file + "\" get \"" + utf8(remote()) + "\" \"" + utf8(local()) + "\"";
    DWORD status = 1;
    std::string text = run_host("--verbose " + get, &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_EQ(text.find("progress 0% (plugin 1): " + utf8(remote()) + " -> " + utf8(local()) + "\n"), 0u) << text;
    EXPECT_GE(count(text, "progress "), 10u) << text;
    EXPECT_NE(text.find("progress 100% "), std::string::npos) << text;

    temp_folder cancelled;
    text = run_host("--abort-at 50 \"" + plugin_file + "\" get \"" + utf8(remote()) + "\" \"" + utf8(cancelled.wpath) +
                        "big_0001-0003.bin\"",
                    &status);
    EXPECT_EQ(status, 5u) << text;
    EXPECT_EQ(count(text, "(answered 1: cancel)\n"), 1u) << text;
    EXPECT_NE(text.find(": 5 FS_FILE_USERABORT\n"), std::string::npos) << text;
    EXPECT_EQ(file_digest(cancelled.wpath + L"big_0001.bin"), file_digest(member(1)));
    EXPECT_FALSE(exists(cancelled.wpath + L"big_0002.bin"));

    // A small file: the 0 and the 100 of before, nothing between.
    temp_folder small, small_out;
    write_file(small.path + "small.txt", "1", shot);
    text = run_host("--verbose \"" + plugin_file + "\" get \"" + plugin_path(small.path) + "\\small.txt\" \"" +
                        small_out.path + "small.txt\"",
                    &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_EQ(count(text, "progress "), 2u) << text;
    EXPECT_EQ(text.find("progress 0% "), 0u) << text;
    EXPECT_NE(text.find("progress 100% "), std::string::npos) << text;
}
