// Folder listings as the host reads them: the drive root, real folders, the record's bytes, kept listings.
#include "plugin/context.h"
#include "plugin/enumeration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_fs.h"
#include "plugin/content.h"
#include "plugin/execution.h"
#include "plugin/retrieval.h"
#include "plugin/listed_names.h"
#include "plugin/startup.h"
#include "sequence/shown_listing.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;

// The host's record, 8-bit or wide, with guard bytes on both sides.
template <typename Data>
struct guarded {
    unsigned char before[16];
    Data data;
    unsigned char after[16];
    explicit guarded(unsigned char fill = 0xAB) { std::memset(this, fill, sizeof *this); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(&data); }
    bool guards_hold(unsigned char fill = 0xAB) const {
        for (unsigned char b : before)
            if (b != fill) return false;
        for (unsigned char b : after)
            if (b != fill) return false;
        // The two padding bytes after the 318 of WIN32_FIND_DATAA are not the plugin's.
        return sizeof(Data) != sizeof(win_find_data) || (bytes()[318] == fill && bytes()[319] == fill);
    }
};
using guarded_record = guarded<win_find_data>;
using guarded_wide_record = guarded<win_find_data_w>;

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : " | ") + x;
    return s;
}

struct enumeration : testing::Test {
    void SetUp() override {
        reset_listings(context().tables);
        plugin.ini_folder = u"C:\\nowhere\\";
        plugin.ini_name = u"tallyrun.ini";
    }
    void TearDown() override { reset_listings(context().tables); }
    fake_fs disk;
};

}  // namespace

TEST_F(enumeration, root_lists_drive_letters_and_first_record_is_exact) {
    disk.add_folder("C:\\");
    disk.add_folder("D:\\data");
    disk.add_folder("Q:\\");
    guarded_record r;
    win_handle h = FsFindFirst("\\", &r.data);
    ASSERT_NE(h, invalid_handle);
    EXPECT_EQ(r.data.attributes, 16u);
    EXPECT_EQ(r.data.last_write_time.low, 0xFFFFFFFEu);
    EXPECT_EQ(r.data.last_write_time.high, 0xFFFFFFFFu);
    EXPECT_STREQ(r.data.name, "C:");
    // Everything else of the 318 bytes is cleared.
    for (size_t i = 0; i < 318; ++i) {
        bool written = i < 4 || (i >= 20 && i < 28) || (i >= 44 && i < 47);
        if (!written) {
            EXPECT_EQ(r.bytes()[i], 0) << "byte " << i << " of the first record";
        }
    }
    EXPECT_TRUE(r.guards_hold());

    guarded_record next(0x5A);
    ASSERT_EQ(FsFindNext(h, &next.data), 1);
    EXPECT_STREQ(next.data.name, "D:");
    for (size_t i = 0; i < sizeof next.data; ++i)
        if (i < 44 || i > 46) {
            EXPECT_EQ(next.bytes()[i], 0x5A) << "later root call wrote byte " << i;
        }
    ASSERT_EQ(FsFindNext(h, &next.data), 1);
    EXPECT_STREQ(next.data.name, "Q:");
    EXPECT_EQ(FsFindNext(h, &next.data), 0);
    EXPECT_EQ(FsFindNext(h, &next.data), 0) << "a finished handle keeps answering 0";
    EXPECT_EQ(FsFindClose(h), 0);
    EXPECT_EQ(kept_listing_count(context().tables), 0u) << "the root listing keeps nothing";
}

TEST_F(enumeration, no_drive_at_all_is_an_empty_root) {
    win_find_data d;
    EXPECT_EQ(FsFindFirst("\\", &d), invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_no_more_files);
}

TEST_F(enumeration, folder_lists_sub_folders_first_then_runs_and_single_files) {
    win_filetime t = utc_time(2006, 9, 19, 9, 34, 18);
    disk.add_file("C:\\photos\\notes.txt", 10, t);
    disk.add_file("C:\\photos\\IMG_0002.JPG", 200, t);
    disk.add_folder("C:\\photos\\zeta");
    disk.add_file("C:\\photos\\IMG_0001.JPG", 100, t);
    disk.add_file("C:\\photos\\IMG_0003.JPG", 300, t);
    disk.add_folder("C:\\photos\\alpha");
    std::vector<std::string> want = {".", "..", "zeta", "alpha", "IMG_0001-0003.JPG", "notes.txt"};
    EXPECT_EQ(joined(names_of("\\C:\\photos")), joined(want));
    EXPECT_EQ(joined(names_of("\\C:\\photos\\")), joined(want)) << "trailing backslash";
    EXPECT_EQ(disk.searches.back(), "C:\\photos\\*.*");

    win_find_data d;
    win_handle h = FsFindFirst("\\C:\\photos", &d);
    ASSERT_NE(h, invalid_handle);
    while (std::string(d.name) != "IMG_0001-0003.JPG") ASSERT_EQ(FsFindNext(h, &d), 1);
    EXPECT_EQ(d.size_low, 600u);
    EXPECT_EQ(d.size_high, 0u);
    EXPECT_EQ(d.attributes, 32u);
    EXPECT_EQ(d.last_write_time.low, t.low);
    EXPECT_EQ(d.last_write_time.high, t.high);
    FsFindClose(h);
}

TEST_F(enumeration, drive_root_folder_with_and_without_backslash) {
    disk.add_file("C:\\a.txt", 1);
    EXPECT_EQ(joined(names_of("\\C:")), "a.txt");
    EXPECT_EQ(disk.searches.back(), "C:\\*.*");
    EXPECT_EQ(joined(names_of("\\C:\\")), "a.txt");
    EXPECT_EQ(disk.searches.back(), "C:\\*.*");
}

TEST_F(enumeration, empty_folder_is_empty_and_missing_folder_is_not_found) {
    disk.add_folder("E:\\");  // a drive root without entries: not even "." and ".."
    win_find_data d;
    EXPECT_EQ(FsFindFirst("\\E:", &d), invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_no_more_files) << "empty, not missing";
    EXPECT_EQ(FsFindFirst("\\C:\\gone", &d), invalid_handle);
    EXPECT_EQ(win.GetLastError(), error_path_not_found);
    EXPECT_EQ(kept_listing_count(context().tables), 0u);
}

TEST_F(enumeration, first_call_clears_318_bytes_later_calls_write_only_the_entry_fields) {
    disk.add_file("C:\\f\\b.txt", 7, utc_time(2010, 1, 2, 3, 4, 6));
    guarded_record first;
    win_handle h = FsFindFirst("\\C:\\f", &first.data);
    ASSERT_NE(h, invalid_handle);
    EXPECT_STREQ(first.data.name, ".");
    EXPECT_EQ(first.data.creation_time.low, 0u);
    EXPECT_EQ(first.data.reserved0, 0u);
    EXPECT_EQ(first.data.short_name[13], 0);
    for (size_t i = 46; i < 318; ++i) EXPECT_EQ(first.bytes()[i], 0) << "byte " << i;
    EXPECT_TRUE(first.guards_hold());

    guarded_record later(0x77);
    ASSERT_EQ(FsFindNext(h, &later.data), 1);  // ".."
    ASSERT_EQ(FsFindNext(h, &later.data), 1);  // b.txt
    EXPECT_STREQ(later.data.name, "b.txt");
    EXPECT_EQ(later.data.size_low, 7u);
    EXPECT_EQ(later.data.creation_time.low, 0x77777777u) << "not the plugin's to write";
    EXPECT_EQ(later.data.last_access_time.high, 0x77777777u);
    EXPECT_EQ(later.data.reserved1, 0x77777777u);
    EXPECT_EQ(later.data.short_name[0], 0x77);
    EXPECT_EQ(later.bytes()[44 + 6], 0x77) << "name bytes after the zero byte stay";
    EXPECT_TRUE(later.guards_hold(0x77));
    FsFindClose(h);
}

TEST_F(enumeration, run_of_mixed_times_reaches_host_as_no_time_marker) {
    disk.add_file("C:\\r\\p01.bmp", 1, utc_time(2001, 1, 1));
    disk.add_file("C:\\r\\p02.bmp", 1, utc_time(2002, 1, 1));
    win_find_data d;
    win_handle h = FsFindFirst("\\C:\\r", &d);
    ASSERT_NE(h, invalid_handle);
    FsFindNext(h, &d);
    ASSERT_EQ(FsFindNext(h, &d), 1);
    EXPECT_STREQ(d.name, "p01-02.bmp");
    EXPECT_EQ(d.last_write_time.low, 0xFFFFFFFEu);
    EXPECT_EQ(d.last_write_time.high, 0xFFFFFFFFu);
    FsFindClose(h);
}

TEST_F(enumeration, sizes_beyond_four_gibibytes_keep_both_halves) {
    const uint64_t five_gib = 5ull << 30;
    disk.add_file("C:\\big\\one.iso", five_gib);
    disk.add_file("C:\\big\\v1.bin", 3ull << 30);
    disk.add_file("C:\\big\\v2.bin", 3ull << 30);
    win_find_data d;
    win_handle h = FsFindFirst("\\C:\\big", &d);
    ASSERT_NE(h, invalid_handle);
    FsFindNext(h, &d);
    ASSERT_EQ(FsFindNext(h, &d), 1);
    EXPECT_STREQ(d.name, "one.iso");
    EXPECT_EQ((uint64_t{d.size_high} << 32) | d.size_low, five_gib);
    ASSERT_EQ(FsFindNext(h, &d), 1);
    EXPECT_STREQ(d.name, "v1-2.bin");
    EXPECT_EQ((uint64_t{d.size_high} << 32) | d.size_low, 6ull << 30);
    FsFindClose(h);
}

TEST(find_entry_record, long_name_is_cut_to_259_characters) {
    const std::string name(300, 'n');
    unsigned char buffer[sizeof(win_find_data) + 8];
    std::memset(buffer, 0xCC, sizeof buffer);
    auto* d = reinterpret_cast<win_find_data*>(buffer);
    write_find_entry<char>(name, {1, 2}, 32, 5, d);
    EXPECT_EQ(std::strlen(d->name), 259u);
    EXPECT_EQ(d->name[259], 0);
    for (size_t i = 304; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 0xCC) << "byte " << i << " written past the name";
    EXPECT_EQ(d->last_write_time.low, 1u);
    EXPECT_EQ(d->last_write_time.high, 2u);
}

TEST_F(enumeration, two_handles_read_their_own_listings) {
    disk.add_file("C:\\one\\a.txt", 1);
    disk.add_file("C:\\one\\b.txt", 1);
    disk.add_file("C:\\two\\x.txt", 1);
    win_find_data a, b;
    win_handle h1 = FsFindFirst("\\C:\\one", &a);
    win_handle h2 = FsFindFirst("\\C:\\two", &b);
    ASSERT_NE(h1, invalid_handle);
    ASSERT_NE(h2, invalid_handle);
    ASSERT_NE(h1, h2);
    std::vector<std::string> one, two;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(FsFindNext(h1, &a), 1);
        ASSERT_EQ(FsFindNext(h2, &b), 1);
        one.push_back(a.name);
        two.push_back(b.name);
    }
    ASSERT_EQ(FsFindNext(h1, &a), 1);
    one.push_back(a.name);
    EXPECT_EQ(FsFindNext(h2, &b), 0);
    EXPECT_EQ(FsFindNext(h1, &a), 0);
    EXPECT_EQ(joined(one), ".. | a.txt | b.txt");
    EXPECT_EQ(joined(two), ".. | x.txt");
    FsFindClose(h1);
    FsFindClose(h2);
}

TEST_F(enumeration, unknown_handles_are_harmless) {
    win_find_data d;
    EXPECT_EQ(FsFindNext(reinterpret_cast<win_handle>(uintptr_t{0x4242}), &d), 0);
    EXPECT_EQ(FsFindClose(reinterpret_cast<win_handle>(uintptr_t{0x4242})), 0);
}

TEST_F(enumeration, browsing_ten_thousand_folders_keeps_a_bounded_table) {
    disk.add_file("C:\\held\\h.txt", 1);
    disk.add_file("C:\\held\\k.txt", 1);
    win_find_data held;
    win_handle open = FsFindFirst("\\C:\\held", &held);
    ASSERT_NE(open, invalid_handle);
    for (int i = 0; i < 10000; ++i) {
        std::string folder = "C:\\many\\f" + std::to_string(i);
        disk.add_file(folder + "\\x.txt", 1);
        win_find_data d;
        win_handle h = FsFindFirst(("\\" + folder).c_str(), &d);
        ASSERT_NE(h, invalid_handle) << folder;
        while (FsFindNext(h, &d)) {
        }
        FsFindClose(h);
        ASSERT_LE(kept_listing_count(context().tables), kept_folders + 1) << "after " << i + 1 << " folders";
    }
    // The handle opened before all that still reads its own listing.
    std::vector<std::string> rest;
    while (FsFindNext(open, &held)) rest.push_back(held.name);
    EXPECT_EQ(joined(rest), ".. | h.txt | k.txt");
    FsFindClose(open);
    EXPECT_LE(kept_listing_count(context().tables), kept_folders);
}

TEST_F(enumeration, recent_folders_keep_their_latest_listing_for_retrieval) {
    disk.add_file("C:\\a\\x.txt", 1);
    names_of("\\C:\\a");
    size_t searches = disk.searches.size();
    const listing_ref<char> l = folder_listing<char>(context(), "C:\\a\\");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(disk.searches.size(), searches) << "the kept listing serves, no new search";
    EXPECT_EQ(folder_listing<char>(context(), "c:\\A"), l) << "the same folder however it is spelled";
    EXPECT_EQ(folder_listing<char>(context(), "C:\\missing\\"), nullptr);
}

// ---- the wide side ----

namespace {

std::vector<std::string> wide_names_of(const std::u16string& path) {
    std::vector<std::string> names;
    win_find_data_w d;
    win_handle h = FsFindFirstW(path.c_str(), &d);
    if (h == invalid_handle) return names;
    do names.push_back(utf8(d.name));
    while (FsFindNextW(h, &d));
    FsFindClose(h);
    return names;
}

}  // namespace

TEST_F(enumeration, the_wide_side_lists_names_as_they_are) {
    win_filetime t = utc_time(2006, 9, 19, 9, 34, 18);
    for (int i = 1; i <= 3; ++i) {
        disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\\u041f\u0440\u0438\u0432\u0435\u0442_0" + std::u16string(1, u'0' + i) + u".jpg", 10u * i, t);
        disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\\u5199\u771f_0" + std::u16string(1, u'0' + i) + u".png", 1, t);
    }
    disk.add_file(u"C:\\\u0444\u043e\u0442\u043e\\\u041f\u0440\u0438\u0432\u0435\u0442_04.jpeg", 1, t);
    EXPECT_EQ(joined(wide_names_of(u"\\C:\\\u0444\u043e\u0442\u043e")),
              ". | .. | Привет_01-03.jpg | Привет_04.jpeg | 写真_01-03.png");
    // The 8-bit side of the same folder: names it cannot spell come as question marks.
    EXPECT_EQ(joined(names_of("\\C:\\????")), "") << "a folder named in question marks does not exist";
    win_find_data_w d;
    win_handle h = FsFindFirstW(u"\\C:\\\u0444\u043e\u0442\u043e", &d);
    ASSERT_NE(h, invalid_handle);
    while (utf8(d.name) != "Привет_01-03.jpg") ASSERT_EQ(FsFindNextW(h, &d), 1);
    EXPECT_EQ(d.size_low, 60u);
    EXPECT_EQ(d.last_write_time.low, t.low);
    EXPECT_EQ(FsFindNext(h, nullptr), 0);
    win_find_data narrow;
    EXPECT_EQ(FsFindNext(h, &narrow), 0) << "a wide handle is not read through the 8-bit call";
    EXPECT_EQ(FsFindClose(h), 0);
    EXPECT_EQ(kept_listing_count(context().tables), 1u) << "the 8-bit FsFindClose closed the wide handle";
}

TEST_F(enumeration, the_wide_record_is_cleared_whole_and_names_cut_at_259_units) {
    disk.add_file(u"C:\\w\\" + std::u16string(300, u'\u0416'), 1);
    guarded_wide_record first;
    win_handle h = FsFindFirstW(u"\\C:\\w", &first.data);
    ASSERT_NE(h, invalid_handle);
    EXPECT_EQ(first.data.name[0], u'.');
    for (size_t i = 48; i < sizeof first.data; ++i) EXPECT_EQ(first.bytes()[i], 0) << "byte " << i;
    EXPECT_TRUE(first.guards_hold());
    guarded_wide_record later(0x77);
    ASSERT_EQ(FsFindNextW(h, &later.data), 1);
    ASSERT_EQ(FsFindNextW(h, &later.data), 1);
    EXPECT_EQ(std::u16string(later.data.name), std::u16string(259, u'\u0416'));
    EXPECT_EQ(later.data.short_name[0], 0x7777) << "not the plugin's to write";
    EXPECT_TRUE(later.guards_hold(0x77));
    FsFindClose(h);
}

TEST_F(enumeration, long_and_invalid_wide_paths_are_not_found_and_write_nothing) {
    std::u16string deep = u"C:";
    while (deep.size() < 1000) deep += u"\\\u0434\u0438\u0440\u0435\u043a\u0442\u043e\u0440\u0438\u044f";
    disk.add_file(deep + u"\\a01.txt", 1);
    disk.add_file(deep + u"\\a02.txt", 1);
    EXPECT_EQ(joined(wide_names_of(u"\\" + deep)), ". | .. | a01-02.txt") << "a path of " << deep.size() << " units";
    EXPECT_EQ(disk.searches.back().substr(0, 4), "\\\\?\\") << "a long path reaches Windows with the prefix";

    std::u16string too_long = u"\\C:\\" + std::u16string(1020, u'x');  // 1024 units
    const std::u16string invalid[] = {too_long, u"\\C:\\*", u"\\C:\\w?", u"\\C:\\a<b", u"\\C:\\a|b", u"C:\\w",
                                      u"\\C:\\\x01"};
    for (const std::u16string& path : invalid) {
        guarded_wide_record r(0x5A);
        EXPECT_EQ(FsFindFirstW(path.c_str(), &r.data), invalid_handle) << utf8(path).substr(0, 40);
        EXPECT_EQ(win.GetLastError(), error_path_not_found);
        for (size_t i = 0; i < sizeof r.data; ++i) ASSERT_EQ(r.bytes()[i], 0x5A) << "byte " << i << " written";
    }
    EXPECT_EQ(FsFindFirstW(nullptr, nullptr), invalid_handle);
}

// ---- many threads at once ----

namespace {

int32_t TR_WINAPI quiet_progress(int32_t, const char*, const char*, int32_t) { return 0; }

}  // namespace

TEST_F(enumeration, threads_list_copy_query_and_resolve_shared_folders_at_once) {
    const win_filetime shot = utc_time(2006, 9, 19, 9, 34, 18);
    for (int i = 10; i <= 29; ++i) disk.add_file("C:\\shots\\IMG_" + std::to_string(i) + ".JPG", 100, shot);
    disk.add_file("C:\\shots\\notes.txt", 5, shot);
    for (int i = 1; i <= 9; ++i) disk.add_file("C:\\render\\f_0" + std::to_string(i) + ".exr", 10, shot);
    FsInit(1, quiet_progress);
    constexpr int threads = 4, rounds = 25;
    for (int t = 0; t < threads; ++t) disk.add_folder("D:\\out" + std::to_string(t));
    std::vector<std::string> wrong[threads];
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            auto expect = [&](bool ok, const std::string& what) {
                if (!ok) wrong[t].push_back(what);
            };
            for (int r = 0; r < rounds; ++r) {
                const char* folder = (r + t) % 2 ? "\\C:\\shots" : "\\C:\\render";
                const std::string names = joined(names_of(folder));
                expect(names == (folder[4] == 's' ? ". | .. | IMG_10-29.JPG | notes.txt" : ". | .. | f_01-09.exr"),
                       "listing " + names);
                int32_t members = 0;
                expect(FsContentGetValue("\\C:\\shots\\IMG_10-29.JPG", field_members, 0, &members, 4, 0) == ft_numeric_32 &&
                           members == 20,
                       "members " + std::to_string(members));
                char local[260] = "\\C:\\render\\f_01-09.exr";
                expect(FsGetLocalName(local, sizeof local) && std::string(local) == "C:\\render\\f_01.exr",
                       std::string("local name ") + local);
                const std::string target = "D:\\out" + std::to_string(t) + "\\f_01-09.exr";
                if (r == 0) expect(FsGetFile("\\C:\\render\\f_01-09.exr", target.c_str(), 0) == fs_ok, "copy");
            }
        });
    for (std::thread& t : running) t.join();
    for (int t = 0; t < threads; ++t) EXPECT_TRUE(wrong[t].empty()) << "thread " << t << ": " << wrong[t].front();
    EXPECT_EQ(disk.copied.size(), 9u * threads) << "every thread's copy arrived whole";
    for (int t = 0; t < threads; ++t) EXPECT_TRUE(disk.exists("D:\\out" + std::to_string(t) + "\\f_09.exr"));
}
