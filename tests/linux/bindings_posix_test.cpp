// The Linux binding table on real folders: listings, names as bytes, case, times, copies, files, module, shell.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plugin/folder.h"
#include "support/bindings.h"
#include "support/bindings_posix.h"
#include "support/handles.h"
#include "support/paths.h"
#include "tests/linux/posix_fixtures.h"

namespace tallyrun {
namespace {

using testing::as_ordinary_user;
using testing::exists;
using testing::read_bytes;
using testing::temp_folder;
using testing::write_bytes;

// Windows error numbers the bindings set.
constexpr uint32_t sharing_violation = 32, invalid_name = 123, no_association = 1155, request_aborted = 1235;

std::u16string wide(const std::string& bytes) { return wide_of_name(bytes); }

uint64_t ticks_of(const win_filetime& t) { return t.ticks(); }
uint64_t ticks_of(const struct timespec& t) {
    return (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull + static_cast<uint64_t>(t.tv_nsec) / 100;
}

struct found {
    std::u16string name;
    win_find_data_w data;
};

// Every entry FindFirstFileW/FindNextFileW give for a pattern, by name, and
// the error after the last one.
std::vector<found> find_all(const std::string& pattern, uint32_t* error_at_end = nullptr) {
    std::vector<found> out;
    win_find_data_w d{};
    find_handle h(win.FindFirstFileW(wide(pattern).c_str(), &d));
    if (error_at_end) *error_at_end = win.GetLastError();
    if (!h.ok()) return out;
    do out.push_back({d.name, d});
    while (win.FindNextFileW(h.get(), &d));
    if (error_at_end) *error_at_end = win.GetLastError();
    std::sort(out.begin(), out.end(), [](const found& a, const found& b) { return a.name < b.name; });
    return out;
}

const found* named(const std::vector<found>& all, const std::u16string& name) {
    for (const found& f : all)
        if (f.name == name) return &f;
    return nullptr;
}

// CopyFileEx without progress, as a member is copied when nobody watches.
int32_t copy(const char16_t* source, const char16_t* target, int32_t fail_if_exists) {
    return win.CopyFileExW(source, target, nullptr, nullptr, nullptr, fail_if_exists ? copy_file_fail_if_exists : 0);
}

// What a failing call left as the last error; -1 when it did not fail.
int64_t error_of(bool succeeded) { return succeeded ? -1 : static_cast<int64_t>(win.GetLastError()); }

void set_times(const std::string& path, time_t atime, long anano, time_t mtime, long mnano) {
    const struct timespec t[2] = {{atime, anano}, {mtime, mnano}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// ---- listings

TEST(posix_listing, lists_every_entry_with_attributes_sizes_and_times) {
    temp_folder t;
    write_bytes(t / "IMG_0001.JPG", std::string(1000, 'a'));
    write_bytes(t / ".profile", "x");
    write_bytes(t / "locked.txt", "yz");
    chmod((t / "locked.txt").c_str(), 0444);
    mkdir((t / "sub").c_str(), 0755);
    ASSERT_EQ(symlink("nowhere", (t / "dangling").c_str()), 0);
    set_times(t / "IMG_0001.JPG", 1000000000, 0, 1160000000, 123456789);

    uint32_t end = 0;
    const std::vector<found> all = find_all(t.path + "/*", &end);
    EXPECT_EQ(end, error_no_more_files) << "the error after the last entry";
    std::vector<std::u16string> names;
    for (const found& f : all) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u".profile", u"IMG_0001.JPG", u"dangling", u"locked.txt",
                                                   u"sub"}));

    const found* img = named(all, u"IMG_0001.JPG");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->data.attributes, 0x20u) << "a plain file has the archive bit only";
    EXPECT_EQ(img->data.size_low, 1000u);
    EXPECT_EQ(img->data.size_high, 0u);
    EXPECT_EQ(ticks_of(img->data.last_write_time), (1160000000ull + 11644473600ull) * 10000000ull + 1234567)
        << "the modification time as FILETIME, to 100 ns";
    EXPECT_EQ(ticks_of(img->data.last_access_time), (1000000000ull + 11644473600ull) * 10000000ull);
    EXPECT_EQ(img->data.short_name[0], 0);
    EXPECT_EQ(named(all, u".profile")->data.attributes, 0x22u) << "a dot name is hidden";
    EXPECT_EQ(named(all, u".")->data.attributes & 0x12u, 0x10u) << "'.' is a folder, not hidden";
    EXPECT_EQ(named(all, u"locked.txt")->data.attributes, 0x21u) << "no write permission is read-only";
    EXPECT_EQ(named(all, u"sub")->data.attributes, 0x10u);
    EXPECT_EQ(named(all, u"sub")->data.size_low, 0u) << "a folder has no size";
    EXPECT_EQ(named(all, u"dangling")->data.attributes, 0x20u) << "a link to nothing shows as itself";
}

TEST(posix_listing, a_path_without_a_pattern_finds_its_one_entry_or_says_what_is_missing) {
    temp_folder t;
    write_bytes(t / "a.txt", "abc");
    win_find_data_w d{};
    win_handle h = win.FindFirstFileW(wide(t / "a.txt").c_str(), &d);
    ASSERT_NE(h, invalid_handle);
    EXPECT_EQ(std::u16string(d.name), u"a.txt");
    EXPECT_EQ(d.size_low, 3u);
    EXPECT_EQ(win.FindNextFileW(h, &d), 0);
    EXPECT_EQ(win.GetLastError(), error_no_more_files);
    EXPECT_EQ(win.FindClose(h), 1);

    struct {
        std::string path;
        uint32_t error;
    } missing[] = {{t / "b.txt", error_file_not_found},
                   {t / "nofolder/b.txt", error_path_not_found},
                   {t / "a.txt/b.txt", error_path_not_found},
                   {t / "A.TXT", error_file_not_found}};
    for (const auto& m : missing) {
        EXPECT_EQ(win.FindFirstFileW(wide(m.path).c_str(), &d), invalid_handle) << m.path;
        EXPECT_EQ(win.GetLastError(), m.error) << m.path << ": names keep their case";
    }
}

TEST(posix_listing, a_folder_that_cannot_be_listed_says_why) {
    temp_folder t;
    write_bytes(t / "file", "");
    win_find_data_w d{};
    EXPECT_EQ(win.FindFirstFileW(wide(t / "gone/*").c_str(), &d), invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_path_not_found);
    EXPECT_EQ(win.FindFirstFileW(wide(t / "file/*").c_str(), &d), invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_path_not_found);
    mkdir((t / "closed").c_str(), 0);
    chmod(t.path.c_str(), 0755);
    EXPECT_EQ(as_ordinary_user([&] {
                  win_find_data_w probe{};
                  if (win.FindFirstFileW(wide(t / "closed/*").c_str(), &probe) != invalid_handle) return std::string("listed");
                  const uint32_t e = win.GetLastError();
                  return e == error_access_denied ? std::string() : "error " + std::to_string(e);
              }),
              "")
        << "a folder without read permission";
    EXPECT_EQ(win.FindClose(invalid_handle), 0);
    EXPECT_EQ(win.GetLastError(), error_invalid_handle);
}

TEST(posix_listing, the_root_folder_is_a_folder_like_any_other) {
    const std::vector<found> all = find_all("/*");
    ASSERT_TRUE(named(all, u"tmp")) << "the listing of / names tmp";
    EXPECT_EQ(named(all, u"tmp")->data.attributes & 0x10u, 0x10u);
}

// ---- names as bytes

TEST(posix_names, every_byte_sequence_survives_the_way_to_utf16_and_back) {
    struct {
        std::string bytes;
        std::u16string units;
    } cases[] = {
        {"plain.txt", u"plain.txt"},
        {"\xC3\xA4\xC3\x9F", u"\u00E4\u00DF"},
        {"\xF0\x9F\x93\xB7", u"\U0001F4F7"},
        {"a\xFF" "b", u"a\xDCFF" "b"},
        {"\xC3", u"\xDCC3"},                                   // cut short
        {"\xC3(", u"\xDCC3("},                                  // not followed by a continuation byte
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                          // an overlong '/'
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},                // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},      // beyond U+10FFFF
        {"\x80\xC3\xA4", u"\xDC80\u00E4"},                      // a stray continuation, then a character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wide_of_name(c.bytes), c.units) << "the units of bytes '" << c.bytes << "'";
        bool lost = false;
        EXPECT_EQ(name_of_wide(c.units, &lost), c.bytes);
        EXPECT_FALSE(lost);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(1 + random() % 12, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random() % 0x100);
        bool lost = false;
        ASSERT_EQ(name_of_wide(wide_of_name(bytes), &lost), bytes) << "round " << round;
        ASSERT_FALSE(lost);
    }
    bool lost = false;
    EXPECT_EQ(name_of_wide(u"a\xD800" "b\xDC10", &lost), "a?b?") << "surrogates that escape no byte have no bytes";
    EXPECT_TRUE(lost);
}

TEST(posix_names, a_name_that_is_not_utf8_is_listed_found_and_copied_by_its_own_bytes) {
    temp_folder t;
    const std::string odd = "Bild\xE4_01.jpg";  // Latin-1, not UTF-8
    write_bytes(t / odd, "latin one");
    const std::vector<found> all = find_all(t.path + "/*");
    const found* f = named(all, u"Bild\xDCE4_01.jpg");
    ASSERT_TRUE(f) << "listed with the byte 0xE4 as U+DCE4";
    const std::u16string source = wide(t.path) + u"/" + f->name, target = wide(t.path) + u"/copy of " + f->name;
    EXPECT_EQ(error_of(copy(source.c_str(), target.c_str(), 1)), -1);
    EXPECT_EQ(read_bytes(t / ("copy of " + odd)), "latin one") << "the copy has the same bytes in its name";
    win_find_data_w d{};
    find_handle h(win.FindFirstFileW(target.c_str(), &d));
    EXPECT_TRUE(h.ok()) << "and is found by it";
    const std::u16string stray = wide(t.path) + u"/\xD800.txt";
    EXPECT_EQ(error_of(copy(source.c_str(), stray.c_str(), 0)), invalid_name)
        << "a unit no byte stands for names no file";
}

TEST(posix_names, utf8_is_the_ansi_code_page) {
    char16_t units[16] = {};
    EXPECT_EQ(win.MultiByteToWideChar(cp_acp, 0, "\xC3\xA4x\xFF", -1, units, 16), 4) << "three and the zero";
    EXPECT_EQ(std::u16string(units), u"\u00E4x\xDCFF");
    EXPECT_EQ(win.MultiByteToWideChar(cp_acp, 0, "\xC3\xA4x", 3, nullptr, 0), 2) << "the size asked for";
    EXPECT_EQ(win.MultiByteToWideChar(cp_acp, 0, "abc", 3, units, 2), 0);
    EXPECT_EQ(win.GetLastError(), error_insufficient_buffer);

    char bytes[16] = {};
    int32_t defaulted = -1;
    EXPECT_EQ(win.WideCharToMultiByte(cp_acp, 0, u"\u00E4\xDCFF", 2, bytes, 16, nullptr, &defaulted), 3);
    EXPECT_EQ(std::string(bytes, 3), "\xC3\xA4\xFF");
    EXPECT_EQ(defaulted, 0);
    EXPECT_EQ(win.WideCharToMultiByte(cp_acp, 0, u"a\xD800", 2, bytes, 16, nullptr, &defaulted), 2);
    EXPECT_EQ(defaulted, 1) << "a lone surrogate has no character";
    EXPECT_EQ(win.WideCharToMultiByte(cp_acp, 0, u"\u00E4", 1, bytes, 1, nullptr, nullptr), 0);
    EXPECT_EQ(win.GetLastError(), error_insufficient_buffer);
    win_cp_info info{};
    ASSERT_EQ(win.GetCPInfo(cp_acp, &info), 1);
    EXPECT_EQ(info.max_char_size, 4u) << "UTF-8 takes up to four bytes a character";
}

// ---- case

std::u16string lowered(std::u16string s) {
    win.CharLowerBuffW(s.data(), static_cast<uint32_t>(s.size()));
    return s;
}
std::u16string uppered(std::u16string s) {
    win.CharUpperBuffW(s.data(), static_cast<uint32_t>(s.size()));
    return s;
}

TEST(posix_case, wide_case_is_the_c_librarys_in_a_utf8_locale_whatever_the_process_locale) {
    // The process stays in the "C" locale, whose own rules know ASCII only.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(lowered(u"\u00C4\u00D6\u00DC\u0391\u03A3\u0416 ABC"), u"\u00E4\u00F6\u00FC\u03B1\u03C3\u0436 abc");
    EXPECT_EQ(uppered(u"\u00E4\u00F6\u00FC\u03B1\u03C2\u0436 abc"), u"\u00C4\u00D6\u00DC\u0391\u03A3\u0416 ABC");
    EXPECT_EQ(lowered(u"\U00010400"), u"\U00010428") << "a surrogate pair maps as one character";
    EXPECT_EQ(uppered(u"\U00010428"), u"\U00010400");
    EXPECT_EQ(uppered(u"\u00DF"), u"\u00DF") << "no mapping changes a text's length";
    EXPECT_EQ(lowered(u"\xDCC4\xD801"), u"\xDCC4\xD801") << "escaped bytes and lone surrogates stay";
    char ascii[] = "ABC\xC3\x84";
    win.CharLowerBuffA(ascii, 5);
    EXPECT_EQ(std::string(ascii), "abc\xC3\x84") << "the 8-bit side maps ASCII letters only";
    std::setlocale(LC_ALL, before.c_str());
}

TEST(posix_case, a_run_in_mixed_case_collapses_on_the_c_librarys_rules) {
    temp_folder t;
    write_bytes(t / "\xC3\x9C" "bung01.txt", "1");  // Übung01.txt
    write_bytes(t / "\xC3\xBC" "bung02.txt", "2");  // übung02.txt
    listing<char16_t> l;
    ASSERT_TRUE(seq_dir<char16_t>(search_pattern<char16_t>(wide(t.path)), ini_place{{}, u""}, l));
    std::vector<std::u16string> names;
    for (size_t i = 0; i < l.entry_count(); ++i)
        if (!(l.entry(i).attributes & directory_bit)) names.push_back(std::u16string(l.entry(i).name));
    EXPECT_EQ(names, std::vector<std::u16string>{u"\u00FC" "bung01-02.txt"});
}

// ---- times

TEST(posix_time, local_time_follows_the_zone_rules_of_each_date) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    const int64_t second = 10000000;
    const int64_t summer = (1151755200 + 11644473600) * second + 5;  // 2006-07-01 12:00 UTC
    const int64_t winter = (1136116800 + 11644473600) * second;      // 2006-01-01 12:00 UTC
    const struct {
        const char* zone;
        int64_t utc, hours_east;
    } cases[] = {{"CET-1CEST,M3.5.0,M10.5.0/3", summer, 2}, {"CET-1CEST,M3.5.0,M10.5.0/3", winter, 1},
                 {"EST5EDT,M3.2.0,M11.1.0", summer, -4}, {"EST5EDT,M3.2.0,M11.1.0", winter, -5}};
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        const uint64_t utc = static_cast<uint64_t>(c.utc);
        win_filetime u = win_filetime::of_ticks(utc), local{}, back{};
        ASSERT_EQ(win.FileTimeToLocalFileTime(&u, &local), 1);
        EXPECT_EQ(static_cast<int64_t>(ticks_of(local)), c.utc + c.hours_east * 3600 * second) << c.zone;
        ASSERT_EQ(win.LocalFileTimeToFileTime(&local, &back), 1);
        EXPECT_EQ(ticks_of(back), utc) << c.zone;
    }
    if (old) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

// ---- copies

struct copy_calls {
    std::vector<std::pair<int64_t, uint32_t>> seen;  // (bytes so far, reason)
    uint32_t answer = progress_continue;
    size_t answer_at = 0;  // the call that gets `answer`; the others go on

    static uint32_t TR_WINAPI routine(int64_t total, int64_t done, int64_t, int64_t, uint32_t, uint32_t reason, win_handle,
                                      win_handle, void* data) {
        auto* self = static_cast<copy_calls*>(data);
        EXPECT_GE(total, done);
        self->seen.push_back({done, reason});
        return self->seen.size() == self->answer_at ? self->answer : progress_continue;
    }
};

std::string random_bytes(size_t n) {
    std::mt19937 random(11);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random());
    return s;
}

TEST(posix_copy, keeps_bytes_permissions_and_times_as_cp_p_does) {
    temp_folder t;
    const std::string bytes = random_bytes(9 * 1000 * 1000);  // more than two chunks
    write_bytes(t / "src/IMG_0001.JPG", bytes);
    chmod((t / "src/IMG_0001.JPG").c_str(), 0640);
    set_times(t / "src/IMG_0001.JPG", 1200000000, 111111111, 1160000000, 987654321);
    mkdir((t / "out").c_str(), 0755);
    copy_calls calls;
    ASSERT_EQ(win.CopyFileExW(wide(t / "src/IMG_0001.JPG").c_str(), wide(t / "out/IMG_0001.JPG").c_str(), copy_calls::routine,
                              &calls, nullptr, 0),
              1)
        << "error " << win.GetLastError();
    EXPECT_TRUE(read_bytes(t / "out/IMG_0001.JPG") == bytes) << "the copy has the source's bytes";
    ASSERT_EQ(std::system(("cp -p '" + t / "src/IMG_0001.JPG" + "' '" + t / "cp-p.JPG" + "'").c_str()), 0);
    struct stat ours, theirs;
    ASSERT_EQ(stat((t / "out/IMG_0001.JPG").c_str(), &ours), 0);
    ASSERT_EQ(stat((t / "cp-p.JPG").c_str(), &theirs), 0);
    EXPECT_EQ(ours.st_mode, theirs.st_mode) << "permissions as cp -p keeps them";
    EXPECT_EQ(ours.st_uid, theirs.st_uid);
    EXPECT_EQ(ours.st_gid, theirs.st_gid);
    EXPECT_EQ(ticks_of(ours.st_mtim), ticks_of(theirs.st_mtim)) << "modification time as cp -p keeps it";
    EXPECT_EQ(ours.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(ours.st_atim.tv_sec, theirs.st_atim.tv_sec) << "access time as cp -p keeps it";

    ASSERT_GE(calls.seen.size(), 4u) << "the start and three chunks at least";
    EXPECT_EQ(calls.seen.front(), (std::pair<int64_t, uint32_t>{0, callback_stream_switch}));
    EXPECT_EQ(calls.seen.back(), (std::pair<int64_t, uint32_t>{int64_t(bytes.size()), callback_chunk_finished}));
    for (size_t i = 1; i < calls.seen.size(); ++i) EXPECT_GT(calls.seen[i].first, calls.seen[i - 1].first);
}

TEST(posix_copy, a_file_whose_size_the_system_does_not_know_is_copied_whole) {
    // /proc files say size 0 and lie on another file system: the copy goes by hand.
    temp_folder t;
    ASSERT_EQ(copy(u"/proc/self/status", wide(t / "status").c_str(), 0), 1) << "error " << win.GetLastError();
    EXPECT_EQ(read_bytes(t / "status").substr(0, 5), "Name:");
}

TEST(posix_copy, replaces_a_target_but_never_the_source_itself) {
    temp_folder t;
    write_bytes(t / "a.txt", "new");
    write_bytes(t / "b.txt", "a much longer old text");
    EXPECT_EQ(error_of(copy(wide(t / "a.txt").c_str(), wide(t / "b.txt").c_str(), 1)), error_file_exists);
    EXPECT_EQ(read_bytes(t / "b.txt"), "a much longer old text") << "fail_if_exists leaves the target";
    EXPECT_EQ(error_of(copy(wide(t / "a.txt").c_str(), wide(t / "b.txt").c_str(), 0)), -1);
    EXPECT_EQ(read_bytes(t / "b.txt"), "new") << "a longer target is cut to the source";
    ASSERT_EQ(link((t / "a.txt").c_str(), (t / "hard.txt").c_str()), 0);
    EXPECT_EQ(error_of(copy(wide(t / "a.txt").c_str(), wide(t / "a.txt").c_str(), 0)), sharing_violation);
    EXPECT_EQ(error_of(copy(wide(t / "a.txt").c_str(), wide(t / "hard.txt").c_str(), 0)), sharing_violation);
    EXPECT_EQ(read_bytes(t / "a.txt"), "new") << "copying a file onto itself cuts nothing";
}

TEST(posix_copy, failures_carry_the_windows_error_and_leave_no_target) {
    temp_folder t;
    write_bytes(t / "a.txt", "abc");
    mkdir((t / "folder").c_str(), 0755);
    ASSERT_EQ(mkfifo((t / "pipe").c_str(), 0644), 0);
    struct {
        std::string from, to;
        uint32_t error;
        const char* what;
    } cases[] = {
        {t / "missing.txt", t / "x.txt", error_file_not_found, "a missing source"},
        {t / "gone/a.txt", t / "x.txt", error_path_not_found, "a source in a missing folder"},
        {t / "a.txt", t / "gone/x.txt", error_path_not_found, "a target in a missing folder"},
        {t / "a.txt", t / "a.txt/x.txt", error_path_not_found, "a target below a file"},
        {t / "a.txt", t / "folder", error_access_denied, "a target that is a folder"},
        {t / "folder", t / "x.txt", error_access_denied, "a source that is a folder"},
        {t / "pipe", t / "x.txt", error_access_denied, "a named pipe (without hanging)"},
        {t / "a.txt", t / "pipe", error_access_denied, "a named pipe as the target"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(copy(wide(c.from).c_str(), wide(c.to).c_str(), 0)), c.error) << c.what;
        EXPECT_FALSE(exists(t / "x.txt")) << c.what;
    }
    chmod(t.path.c_str(), 0755);
    write_bytes(t / "secret.txt", "s");
    chmod((t / "secret.txt").c_str(), 0);
    mkdir((t / "closed").c_str(), 0555);
    mkdir((t / "open").c_str(), 0777);
    write_bytes(t / "readonly.txt", "old");
    chmod((t / "readonly.txt").c_str(), 0444);
    EXPECT_EQ(as_ordinary_user([&] {
                  std::string problems;
                  auto expect = [&](const std::string& from, const std::string& to, uint32_t error, const char* what) {
                      const int64_t got = error_of(copy(wide(from).c_str(), wide(to).c_str(), 0));
                      if (got != error) problems += std::string(what) + ": error " + std::to_string(got) + "; ";
                  };
                  expect(t / "secret.txt", t / "open/x.txt", error_access_denied, "an unreadable source");
                  expect(t / "a.txt", t / "closed/x.txt", error_access_denied, "a folder without write permission");
                  expect(t / "a.txt", t / "readonly.txt", error_access_denied, "a read-only target");
                  return problems;
              }),
              "");
    EXPECT_FALSE(exists(t / "open/x.txt"));
    EXPECT_EQ(read_bytes(t / "readonly.txt"), "old");
}

TEST(posix_copy, the_progress_routine_and_the_cancel_flag_stop_a_copy_and_remove_its_target) {
    temp_folder t;
    write_bytes(t / "big.bin", random_bytes(6 * 1000 * 1000));
    // Copies big.bin to target with a routine that gives `answer` at its call number `at`.
    auto copy_answering = [&](const std::string& target, uint32_t answer, size_t at, copy_calls& calls) {
        calls.answer = answer;
        calls.answer_at = at;
        return win.CopyFileExW(wide(t / "big.bin").c_str(), wide(t / target).c_str(), copy_calls::routine, &calls,
                               nullptr, 0);
    };
    for (uint32_t answer : {progress_cancel, progress_stop}) {
        copy_calls calls;
        EXPECT_EQ(copy_answering("out.bin", answer, 2, calls), 0) << "stopped after the first chunk";
        EXPECT_EQ(win.GetLastError(), request_aborted);
        EXPECT_EQ(calls.seen.size(), 2u) << "nothing copied after the answer " << answer;
        EXPECT_FALSE(exists(t / "out.bin")) << "the part copied is removed";
    }
    write_bytes(t / "mine.bin", "mine");
    copy_calls at_start;
    EXPECT_EQ(copy_answering("mine.bin", progress_cancel, 1, at_start), 0);
    EXPECT_EQ(read_bytes(t / "mine.bin"), "mine") << "a target the copy never began to write stays";
    copy_calls quiet;
    EXPECT_EQ(copy_answering("out.bin", progress_quiet, 1, quiet), 1);
    EXPECT_EQ(quiet.seen.size(), 1u) << "asked no more after progress_quiet";
    int32_t cancel = 1;
    EXPECT_EQ(win.CopyFileExW(wide(t / "big.bin").c_str(), wide(t / "out2.bin").c_str(), nullptr, nullptr, &cancel, 0), 0);
    EXPECT_EQ(win.GetLastError(), request_aborted);
    EXPECT_FALSE(exists(t / "out2.bin"));
}

// ---- files, module, keys, shell

TEST(posix_files, create_write_read_and_close) {
    temp_folder t;
    file_handle out(win.CreateFileW(wide(t / "list.lst").c_str(), generic_write, 0, nullptr, create_always, 0, nullptr));
    ASSERT_TRUE(out.ok());
    uint32_t done = 0;
    EXPECT_EQ(win.WriteFile(out.get(), "hello", 5, &done, nullptr), 1);
    EXPECT_EQ(done, 5u);
    EXPECT_TRUE(out.close());
    file_handle in(win.CreateFileW(wide(t / "list.lst").c_str(), generic_read, file_share_read, nullptr, open_existing, 0,
                                   nullptr));
    ASSERT_TRUE(in.ok());
    char buffer[16] = {};
    EXPECT_EQ(win.ReadFile(in.get(), buffer, sizeof buffer, &done, nullptr), 1);
    EXPECT_EQ(std::string(buffer, done), "hello");
    EXPECT_EQ(win.FindClose(in.get()), 0) << "a file is no search";
    EXPECT_EQ(win.GetLastError(), error_invalid_handle);
    EXPECT_EQ(win.CreateFileW(wide(t / "none.txt").c_str(), generic_read, 0, nullptr, open_existing, 0, nullptr),
              invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_file_not_found);
}

TEST(posix_module, names_the_file_that_holds_the_code) {
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    char16_t buffer[PATH_MAX] = {};
    const uint32_t n = win.GetModuleFileNameW(nullptr, buffer, PATH_MAX);
    EXPECT_EQ(std::u16string(buffer, n), wide(exe));
    char16_t small[4] = {};
    EXPECT_EQ(win.GetModuleFileNameW(nullptr, small, 4), 4u) << "a short buffer is filled";
    EXPECT_EQ(win.GetLastError(), error_insufficient_buffer);
    EXPECT_EQ(small[3], 0);
}

TEST(posix_keys, without_an_x_server_ctrl_is_not_held) {
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    unsetenv("DISPLAY");
    EXPECT_EQ(win.GetKeyState(0x11), 0);
    setenv("DISPLAY", ":4711", 1);  // a display nobody serves
    EXPECT_EQ(win.GetKeyState(0x11), 0);
    if (old) setenv("DISPLAY", saved.c_str(), 1);
    else unsetenv("DISPLAY");
}

TEST(posix_shell, open_runs_xdg_open_on_the_file_and_does_not_wait_for_it) {
    temp_folder t;
    // A stand-in that says what it was given and then stays a while, like a viewer.
    write_bytes(t / "bin/xdg-open", "#!/bin/sh\necho $$ > '" + t / "pid" + "'\nprintf '%s' \"$1\" > '" + t / "opened" +
                                        "'\nexec sleep 5\n");
    chmod((t / "bin/xdg-open").c_str(), 0755);
    write_bytes(t / "IMG 0001.JPG", "x");
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (t.path + "/bin:" + path).c_str(), 1);
    const std::u16string file = wide(t / "IMG 0001.JPG");
    win_shell_execute_info info{};
    info.size = sizeof info;
    info.verb = u"open";
    info.file = file.c_str();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(win.ShellExecuteExW(&info), 1) << "error " << win.GetLastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "the viewer runs on its own";
    for (int i = 0; i < 100 && read_bytes(t / "opened").empty(); ++i) usleep(50000);
    EXPECT_EQ(read_bytes(t / "opened"), t / "IMG 0001.JPG");
    const pid_t viewer = static_cast<pid_t>(std::atoi(read_bytes(t / "pid").c_str()));
    if (viewer > 0) kill(viewer, SIGTERM);  // the stand-in viewer is this test's to end
    info.verb = u"properties";
    EXPECT_EQ(error_of(win.ShellExecuteExW(&info)), no_association);
    setenv("PATH", t.path.c_str(), 1);  // no xdg-open anywhere
    info.verb = nullptr;
    EXPECT_EQ(error_of(win.ShellExecuteExW(&info)), error_file_not_found);
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace tallyrun
