// Folder listings as the host reads them: the drive root, real folders, the record's bytes, kept listings.
#include "plugin/enumeration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_fs.h"
#include "plugin/listed_names.h"
#include "plugin/startup.h"

using namespace tallyrun;

namespace {

// The host's record with guard bytes on both sides.
struct guarded_record {
    unsigned char before[16];
    win_find_data data;
    unsigned char after[16];
    explicit guarded_record(unsigned char fill = 0xAB) { std::memset(this, fill, sizeof *this); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(&data); }
    bool guards_hold(unsigned char fill = 0xAB) const {
        for (unsigned char b : before)
            if (b != fill) return false;
        for (unsigned char b : after)
            if (b != fill) return false;
        // The two padding bytes after the 318 of WIN32_FIND_DATAA are not the plugin's.
        return bytes()[318] == fill && bytes()[319] == fill;
    }
};

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : " | ") + x;
    return s;
}

struct enumeration : testing::Test {
    void SetUp() override {
        reset_listings();
        plugin.ini_folder = "C:\\nowhere\\";
        plugin.ini_name = "tallyrun.ini";
    }
    void TearDown() override { reset_listings(); }
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
    EXPECT_EQ(kept_listing_count(), 0u) << "the root listing keeps nothing";
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
    EXPECT_EQ(kept_listing_count(), 0u);
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
    virtual_entry e{std::string(300, 'n'), {1, 2}, 32, 5, {}};
    unsigned char buffer[sizeof(win_find_data) + 8];
    std::memset(buffer, 0xCC, sizeof buffer);
    auto* d = reinterpret_cast<win_find_data*>(buffer);
    write_find_entry(e, d);
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
        ASSERT_LE(kept_listing_count(), kept_folders + 1) << "after " << i + 1 << " folders";
    }
    // The handle opened before all that still reads its own listing.
    std::vector<std::string> rest;
    while (FsFindNext(open, &held)) rest.push_back(held.name);
    EXPECT_EQ(joined(rest), ".. | h.txt | k.txt");
    FsFindClose(open);
    EXPECT_LE(kept_listing_count(), kept_folders);
}

TEST_F(enumeration, recent_folders_keep_their_latest_listing_for_retrieval) {
    disk.add_file("C:\\a\\x.txt", 1);
    names_of("\\C:\\a");
    size_t searches = disk.searches.size();
    const listing* l = folder_listing("C:\\a\\");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(disk.searches.size(), searches) << "the kept listing serves, no new search";
    EXPECT_EQ(folder_listing("c:\\A"), l) << "the same folder however it is spelled";
    EXPECT_EQ(folder_listing("C:\\missing\\"), nullptr);
}
