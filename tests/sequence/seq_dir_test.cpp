// The directory builder on the fake disk and in memory: worked listings, sizes, times, failures, and the literal walk.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fakes/fake_fs.h"
#include "sequence/seq_dir.h"
#include "sequence/listing_lines.h"
#include "sequence/token_registry.h"
#include "sequence/walk_model.h"
#include "support/native_time.h"

using namespace tallyrun;

namespace {

const char* const ini_folder = "C:\\cfg\\";
const win_filetime when = utc_time(2021, 6, 15, 10, 30, 20);
const date_time when_local{2021, 6, 15, 10, 30, 20};

// "name: member member ..." for each entry after the folders.
listing list_fake(const std::string& folder) {
    listing l;
    EXPECT_TRUE(seq_dir(folder + "\\*.*", ini_folder, "tallyrun.ini", l)) << folder;
    return l;
}

listing list_names(const std::vector<std::string>& names, const std::string& ini = "") {
    fake_fs fs;
    for (const std::string& n : names) fs.add_file("C:\\w\\" + n, 10, when);
    if (!ini.empty()) fs.add_file(std::string(ini_folder) + "tallyrun.ini", ~0ull, {}, 32, ini);
    return list_fake("C:\\w");
}

real_entry file(const std::string& name, uint64_t size = 1, date_time t = when_local,
                uint32_t attributes = 32) {
    return real_entry{name, t, true, attributes, size};
}

int message_boxes = 0;
int32_t TR_WINAPI count_box(win_handle, const char*, const char*, uint32_t) {
    ++message_boxes;
    return 1;
}

}  // namespace

TEST(seq_dir, worked_listings) {
    struct row {
        std::vector<std::string> files;
        std::vector<std::string> expected;
    };
    const row rows[] = {
        {{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "notes.txt"},
         {"IMG_0001-0003.JPG: IMG_0001.JPG IMG_0002.JPG IMG_0003.JPG", "notes.txt: notes.txt"}},
        {{"Scan01.png", "scan02.png", "scan03.png"},
         {"scan01-03.png: Scan01.png scan02.png scan03.png"}},
        {{"img01.jpg", "img01.png", "img02.jpg", "img02.png"},
         {"img01.jpg: img01.jpg", "img01-02.png: img01.png img02.png", "img02.jpg: img02.jpg"}},
        {{"a1.txt", "a10.txt", "a11.txt", "a2.txt"},
         {"a1-2.txt: a1.txt a2.txt", "a10-11.txt: a10.txt a11.txt"}},
        {{"p01.bmp", "p02.bmp", "p04.bmp", "p05.bmp"},
         {"p01-02.bmp: p01.bmp p02.bmp", "p04-05.bmp: p04.bmp p05.bmp"}},
        {{"frame98.tif", "frame99.tif", "frame100.tif"},
         {"frame100.tif: frame100.tif", "frame98-99.tif: frame98.tif frame99.tif"}},
        {{"a1.txt", "a2.txt", "a1-2.txt"}, {"a1-2.txt: a1-2.txt", "a1-2[2].txt: a1.txt a2.txt"}},
        {{"a01", "a02", "a03"}, {"a01-03: a01 a02 a03"}},
    };
    for (const row& r : rows) {
        listing l = list_names(r.files);
        EXPECT_EQ(file_lines(l), r.expected) << "folder of " << r.files.front() << " ...";
        // "." and ".." come first, as folders, and stand for nothing.
        ASSERT_GE(l.entries.size(), 2u);
        EXPECT_EQ(l.entries[0].name, ".");
        EXPECT_EQ(l.entries[1].name, "..");
        EXPECT_TRUE(l.entries[0].members.empty());
    }
}

TEST(seq_dir, pattern_and_range_come_from_the_ini_file) {
    listing l = list_names({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"},
                           "[Options]\nseqpattern=%s..%s\n");
    EXPECT_EQ(file_lines(l), std::vector<std::string>{
                                 "IMG_0001..0003.JPG: IMG_0001.JPG IMG_0002.JPG IMG_0003.JPG"});
    l = list_names({"take1_shot1.wav", "take2_shot1.wav", "take2_shot2.wav"},
                   "[Options]\nrange=7-0\n");
    EXPECT_EQ(file_lines(l), (std::vector<std::string>{"take1_shot1.wav: take1_shot1.wav",
                                                       "take2_shot1-2.wav: take2_shot1.wav "
                                                       "take2_shot2.wav"}));
}

TEST(seq_dir, configuration_is_read_only_for_a_folder_that_lists) {
    fake_fs fs;
    fs.add_file("C:\\cfg\\tallyrun.ini", ~0ull, {}, 32, "[Wrong]\n");
    fs.add_file("C:\\w\\a.txt", 1, when);
    binding_override box(win.MessageBoxA, count_box);
    message_boxes = 0;
    listing l;
    EXPECT_FALSE(seq_dir("C:\\missing\\*.*", ini_folder, "tallyrun.ini", l));
    EXPECT_EQ(message_boxes, 0) << "a folder that cannot be listed reads no configuration";
    EXPECT_TRUE(seq_dir("C:\\w\\*.*", ini_folder, "tallyrun.ini", l));
    EXPECT_EQ(message_boxes, 1) << "the faulty file is reported at the listing";
    EXPECT_EQ(file_lines(l), std::vector<std::string>{"a.txt: a.txt"});
}

TEST(seq_dir, folders_come_first_and_keep_their_positions) {
    fake_fs fs;
    fs.add_file("C:\\w\\b2.txt", 5, when);
    fs.add_folder("C:\\w\\zeta");
    fs.add_file("C:\\w\\B1.txt", 7, when);
    fs.add_folder("C:\\w\\Alpha");
    listing l = list_fake("C:\\w");
    ASSERT_EQ(l.real_entries.size(), 6u);
    const char* real[] = {".", "..", "zeta", "Alpha", "B1.txt", "b2.txt"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(l.real_entries[i].name, real[i]) << "position " << i + 1;
    ASSERT_EQ(l.entries.size(), 5u);
    EXPECT_EQ(l.entries[2].name, "zeta");
    EXPECT_EQ(l.entries[3].name, "Alpha");
    EXPECT_EQ(l.entries[4].name, "b1-2.txt");
    EXPECT_EQ(l.entries[4].members, (std::vector<size_t>{5, 6}));
    EXPECT_EQ(l.entries[4].size, 12);
}

TEST(seq_dir, empty_folder_lists_its_two_dot_folders) {
    fake_fs fs;
    fs.add_folder("C:\\empty");
    listing l = list_fake("C:\\empty");
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.real_entries.size(), 2u);
    EXPECT_EQ(l.entries[1].attributes, 16u);
}

TEST(seq_dir, hidden_and_system_files_join_runs_and_attributes_fall_to_zero_on_mixtures) {
    fake_fs fs;
    fs.add_file("C:\\w\\h1.dat", 1, when, 2 | 32);
    fs.add_file("C:\\w\\h2.dat", 1, when, 2 | 32);
    fs.add_file("C:\\w\\s1.dat", 1, when, 4);
    fs.add_file("C:\\w\\s2.dat", 1, when, 4 | 1);
    listing l = list_fake("C:\\w");
    ASSERT_EQ(l.entries.size(), 4u);
    EXPECT_EQ(l.entries[2].name, "h1-2.dat");
    EXPECT_EQ(l.entries[2].attributes, 34u) << "equal attributes are kept";
    EXPECT_EQ(l.entries[3].name, "s1-2.dat");
    EXPECT_EQ(l.entries[3].attributes, 0u) << "one read-only member among others";
}

TEST(seq_dir, sizes_are_true_64_bit_values_and_totals) {
    const uint64_t gib = 1ull << 30;
    fake_fs fs;
    fs.add_file("C:\\w\\movie.mov", 5 * gib, when);
    for (int i = 1; i <= 3; ++i) fs.add_file("C:\\w\\f" + std::to_string(i) + ".exr", 2 * gib, when);
    fs.add_file("C:\\w\\g1.raw", 0xFFFFFFFEull, when);
    fs.add_file("C:\\w\\g2.raw", 1, when);
    listing l = list_fake("C:\\w");
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"f1-3.exr: f1.exr f2.exr f3.exr",
                                                       "g1-2.raw: g1.raw g2.raw",
                                                       "movie.mov: movie.mov"}));
    EXPECT_EQ(l.entries[2].size, static_cast<int64_t>(6 * gib));
    EXPECT_EQ(l.entries[3].size, 4294967295);
    EXPECT_EQ(l.entries[4].size, static_cast<int64_t>(5 * gib));
    EXPECT_EQ(l.real_entries[2].size, 2 * gib);
}

TEST(seq_dir, a_total_beyond_the_host_range_saturates) {
    const uint64_t huge = 1ull << 63;
    listing l = build_listing({file("z1", huge), file("z2", huge), file("z3", huge)}, {});
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].size, INT64_MAX);
}

TEST(seq_dir, times_of_runs_and_single_files) {
    fake_fs fs;
    fs.add_file("C:\\w\\same1.txt", 1, when);
    fs.add_file("C:\\w\\same2.txt", 1, when);
    fs.add_file("C:\\w\\diff1.txt", 1, when);
    fs.add_file("C:\\w\\diff2.txt", 1, utc_time(2021, 6, 15, 10, 30, 22));
    fs.add_file("C:\\w\\odd.txt", 1, utc_time(2021, 6, 15, 10, 30, 21));
    listing l = list_fake("C:\\w");
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"diff1-2.txt: diff1.txt diff2.txt",
                                                       "odd.txt: odd.txt",
                                                       "same1-2.txt: same1.txt same2.txt"}));
    EXPECT_EQ(l.entries[2].time, no_time);
    // The listing keeps even seconds: 21 s shows as 20 s.
    ASSERT_EQ(l.real_entries[4].name, "odd.txt");
    EXPECT_EQ(l.real_entries[4].time, when_local);
    EXPECT_EQ(l.entries[3].time, (file_time{when.low, when.high}));
    EXPECT_EQ(l.entries[4].time, (file_time{when.low, when.high}));
}

TEST(seq_dir, times_no_dos_date_holds_give_no_time) {
    fake_fs fs;
    fs.add_file("C:\\w\\old.txt", 1, utc_time(1970, 1, 1));
    fs.add_file("C:\\w\\late.txt", 1, utc_time(2200, 1, 1));
    fs.add_file("C:\\w\\last.txt", 1, utc_time(2107, 12, 31, 23, 59, 59));
    fs.add_file("C:\\w\\first.txt", 1, utc_time(1980, 1, 1));
    fs.add_file("C:\\w\\mix1.txt", 1, when);
    fs.add_file("C:\\w\\mix2.txt", 1, utc_time(1975, 3, 3));
    fs.add_file("C:\\w\\two1.txt", 1, utc_time(1979, 12, 31));
    fs.add_file("C:\\w\\two2.txt", 1, utc_time(1979, 12, 31));
    listing l = list_fake("C:\\w");
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"first.txt: first.txt",
                                                       "last.txt: last.txt", "late.txt: late.txt",
                                                       "mix1-2.txt: mix1.txt mix2.txt",
                                                       "old.txt: old.txt",
                                                       "two1-2.txt: two1.txt two2.txt"}));
    const win_filetime first = utc_time(1980, 1, 1), last = utc_time(2107, 12, 31, 23, 59, 58);
    EXPECT_EQ(l.entries[2].time, (file_time{first.low, first.high})) << "the first DOS time";
    EXPECT_EQ(l.entries[3].time, (file_time{last.low, last.high})) << "the last DOS time";
    for (size_t i = 4; i < l.entries.size(); ++i)
        EXPECT_EQ(l.entries[i].time, no_time) << l.entries[i].name;
    const real_entry& old = l.real_entries[7];
    ASSERT_EQ(old.name, "old.txt");
    EXPECT_FALSE(old.has_time);
    EXPECT_EQ(old.time, (date_time{0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(l.real_entries[5].has_time) << l.real_entries[5].name;
}

#ifndef _WIN32
TEST(seq_dir, local_time_follows_the_zone_and_goes_back_to_utc) {
    native_utc_offset_seconds = 3600;
    fake_fs fs;
    fs.add_file("C:\\w\\a.txt", 1, when);
    listing l = list_fake("C:\\w");
    native_utc_offset_seconds = 0;
    EXPECT_EQ(l.real_entries[2].time, (date_time{2021, 6, 15, 11, 30, 20}));
    EXPECT_EQ(l.entries[2].time, (file_time{when.low, when.high}));
}
#endif

TEST(seq_dir, generated_names_never_repeat_a_real_name) {
    fake_fs fs;
    fs.add_folder("C:\\w\\A1-2.TXT");
    fs.add_file("C:\\w\\a1.txt", 1, when);
    fs.add_file("C:\\w\\a2.txt", 1, when);
    fs.add_file("C:\\w\\a1-2[2].txt", 1, when);
    listing l = list_fake("C:\\w");
    EXPECT_EQ(file_lines(l), (std::vector<std::string>{"a1-2[2].txt: a1-2[2].txt",
                                                       "a1-2[3].txt: a1.txt a2.txt"}));
}

TEST(list_folder, refuses_long_paths_whole) {
    fake_fs fs;
    std::string folder = "C:\\" + std::string(246, 'd');  // 249 bytes, so "\*.*" makes 253
    fs.add_file(folder + "\\x.txt", 1, when);
    std::vector<real_entry> out;
    EXPECT_TRUE(list_folder(folder + "\\*.*", out));
    EXPECT_EQ(out.size(), 3u);
    std::string longer = folder + std::string(2, 'd');  // exactly 255
    fs.add_file(longer + "\\x.txt", 1, when);
    EXPECT_TRUE(list_folder(longer + "\\*.*", out));
    std::string too_long = longer + "d";  // 256
    fs.add_file(too_long + "\\x.txt", 1, when);
    fs.searches.clear();
    EXPECT_FALSE(list_folder(too_long + "\\*.*", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(fs.searches.empty()) << "a cut-down path names another folder: never search it";
}

TEST(list_folder, names_of_255_bytes_run_like_any_other) {
    fake_fs fs;
    std::string stem(250, 'n');
    fs.add_file("C:\\w\\" + stem + "1.txt", 3, when);
    fs.add_file("C:\\w\\" + stem + "2.txt", 4, when);
    listing l = list_fake("C:\\w");
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.real_entries[2].name.size(), 255u);
    EXPECT_EQ(l.entries[2].name, stem + "1-2.txt");
    EXPECT_EQ(l.entries[2].size, 7);
}

TEST(list_folder, failures) {
    fake_fs fs;
    fs.add_file("C:\\w\\a.txt", 1, when);
    fs.add_file("C:\\w\\b.txt", 1, when);
    std::vector<real_entry> out;
    EXPECT_FALSE(list_folder("C:\\nowhere\\*.*", out));
    fs.add_folder("D:");
    EXPECT_FALSE(list_folder("D:\\*.*", out)) << "an empty drive root: nothing matches";
    EXPECT_FALSE(list_folder(std::string("C:\\w\0x\\*.*", 10), out));
    // A read that breaks off with another error than "no more files" is no listing.
    fs.find_next_fails_after = 2;
    fs.find_next_error = 59;  // ERROR_UNEXP_NET_ERR
    EXPECT_FALSE(list_folder("C:\\w\\*.*", out));
    EXPECT_TRUE(out.empty()) << "got " << out.size() << " entries of a half-read folder";
    listing l;
    EXPECT_FALSE(seq_dir("C:\\w\\*.*", ini_folder, "tallyrun.ini", l));
    fs.find_next_fails_after = -1;
    EXPECT_TRUE(list_folder("C:\\w\\*.*", out));
    EXPECT_EQ(out.size(), 4u);
}

TEST(list_folder, attributes_sizes_and_times_of_each_entry) {
    fake_fs fs;
    fs.add_file("C:\\w\\big.bin", (3ull << 32) + 5, when, 0x20 | 0x2 | 0x4 | 0x1 | 0x800);
    std::vector<real_entry> out;
    ASSERT_TRUE(list_folder("C:\\w\\*.*", out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].size, (3ull << 32) + 5);
    EXPECT_EQ(out[2].attributes, 39u) << "only the six DOS bits are kept";
    EXPECT_EQ(out[2].time, when_local);
    EXPECT_EQ(out[0].attributes, 16u);
}

TEST(list_folder, times_of_many_steps_met_in_any_order_convert_each_exactly) {
    // 40 different seconds (more steps than are kept at once), each met twice with
    // different fractions, in an order that revisits earlier ones.
    fake_fs fs;
    fs.add_folder("C:\\t");
    auto& entries = fs.folders_["c:\\t"].entries;
    for (int round = 0; round < 2; ++round)
        for (int k = 0; k < 40; ++k) {
            int second = (k * 7) % 40;
            win_filetime t = utc_time(2022, 2, 3, 4, 5, second);
            uint64_t ticks = ((uint64_t{t.high} << 32) | t.low) + (round ? 9999999u : 1234567u);
            fake_file f;
            f.name = "f" + std::to_string(round) + "_" + std::to_string(k) + ".txt";
            f.write_time = {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
            entries.push_back(f);
        }
    std::vector<real_entry> out;
    ASSERT_TRUE(list_folder("C:\\t\\*.*", out));
    ASSERT_EQ(out.size(), 82u);
    for (size_t i = 2; i < out.size(); ++i) {
        int k = std::stoi(out[i].name.substr(3));
        int second = (k * 7) % 40;
        EXPECT_EQ(out[i].time, (date_time{2022, 2, 3, 4, 5, second - second % 2})) << out[i].name;
    }
}

TEST(seq_dir, a_folder_of_100000_frames) {
    fake_fs fs;
    fs.add_folder("C:\\big");
    auto& entries = fs.folders_["c:\\big"].entries;
    const int count = 100000;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.exr", i);
        fake_file f;
        f.name = name;
        f.size = 50u << 20;
        f.write_time = when;
        entries.push_back(f);
    }
    listing l = list_fake("C:\\big");
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.entries[2].name, "frame_000001-100000.exr");
    EXPECT_EQ(l.entries[2].members.size(), static_cast<size_t>(count));
    EXPECT_EQ(l.entries[2].size, static_cast<int64_t>(count) * (50 << 20));
    EXPECT_EQ(l.entries[2].members.back(), static_cast<size_t>(count) + 2);
}

TEST(seq_dir_parts, single_files_keep_their_name_and_stand_for_themselves) {
    listing l = build_listing({file("only1.txt", 9), file("other.txt", 4)}, {});
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "only1.txt");
    EXPECT_EQ(l.entries[0].members, std::vector<size_t>{1});
    EXPECT_EQ(l.entries[1].members, std::vector<size_t>{2});
    EXPECT_EQ(l.entries[0].size, 9);
}

TEST(seq_dir_parts, sequence_name_lowers_names_but_not_the_pattern) {
    sequence_options o;
    o.seqpattern = "%s_TO_%s (100%%)";
    listing l = build_listing({file("Scan01.PNG"), file("scan02.png"), file("R%s1.X"), file("R%s2.X")}, o);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "R%s1_TO_2 (100%).X");
    EXPECT_EQ(l.entries[1].name, "scan01_TO_02 (100%).png");
    o.seqpattern = "%s.%s";
    l = build_listing({file("v1"), file("v2")}, o);
    EXPECT_EQ(l.entries[0].name, "v1.2") << "the pattern's dot starts the extension";
    token_init();
    EXPECT_EQ(unique_token("v1", ".2", 0), "v1.2");
    token_free();
}

TEST(seq_dir_parts, same_outer_text_compares_with_case_around_the_field) {
    current_field = number_field{4, 5};
    EXPECT_TRUE(same_outer_text("abc01.x", "abc02.x"));
    EXPECT_FALSE(same_outer_text("abc01.x", "aBc02.x"));
    EXPECT_FALSE(same_outer_text("abc01.x", "abc02.X"));
    EXPECT_TRUE(same_outer_text("abc01.x", "abc99.x"));
}

TEST(seq_dir_parts, fill_template_takes_four_slots_and_halves_percent_pairs) {
    const std::string_view slots[4] = {"a", "1", "9", ".%s"};
    EXPECT_EQ(fill_template("%s%s-%s%s", slots), "a1-9.%s");
    EXPECT_EQ(fill_template("%s%s%%%s%s", slots), "a1%9.%s");
    EXPECT_EQ(fill_template("%s[%s %s]%s", slots), "a[1 9].%s");
}

TEST(seq_dir_parts, attribute_letters_and_bits) {
    EXPECT_EQ(attribute_letters(0x3F), "rhsdav");
    EXPECT_EQ(dos_attr("rhsdav"), 63u);
    EXPECT_EQ(dos_attr("a"), 32u);
    EXPECT_EQ(dos_attr("v"), 8u);
    EXPECT_EQ(dos_attr("dx?R"), 16u) << "other letters are ignored";
    EXPECT_EQ(dos_attr(""), 0u);
}

TEST(seq_dir_parts, upper_name_order) {
    auto cmp = [](const char* a, const char* b) { return compare_upper_names(file(a), file(b)); };
    EXPECT_EQ(cmp("abc", "ABC"), 0);
    EXPECT_EQ(cmp("abc", "abd"), -1);
    EXPECT_EQ(cmp("abcd", "abc"), 1) << "a leading part comes first";
    EXPECT_EQ(cmp("a_1", "aB"), 1) << "upper-cased, '_' sorts after the letters";
    EXPECT_EQ(cmp("\xE9t\xE9", "zzz"), 1) << "bytes compare unsigned";
    std::vector<real_entry> sorted =
        sort_upper_names({file("b"), file("A"), file("a"), file("_"), file("B")});
    std::string order;
    for (const real_entry& e : sorted) order += e.name;
    EXPECT_EQ(order, "AabB_") << "equal names keep their order";
}

TEST(seq_dir_parts, day_numbers_and_file_times) {
    EXPECT_EQ(date_serial(1, 1, 1), 1);
    EXPECT_EQ(date_serial(1601, 1, 1), 584389);
    EXPECT_EQ(date_serial(1980, 3, 1) - date_serial(1980, 2, 28), 2) << "1980 is a leap year";
    EXPECT_EQ(date_serial(1900, 3, 1) - date_serial(1900, 2, 28), 1) << "1900 is not";
    EXPECT_EQ(date_serial(2000, 3, 1) - date_serial(2000, 2, 28), 2) << "2000 is";
    const win_filetime t = utc_time(2107, 12, 31, 23, 59, 58);
    EXPECT_EQ(win_file_time({2107, 12, 31, 23, 59, 58}), (file_time{t.low, t.high}));
    const win_filetime u = utc_time(1980, 1, 1);
    EXPECT_EQ(win_file_time({1980, 1, 1, 0, 0, 0}), (file_time{u.low, u.high}));
    EXPECT_EQ(win_file_time({0, 0, 0, 0, 0, 0}), no_time) << "a date before 1601 is no time";
    binding_override<decltype(win.LocalFileTimeToFileTime)> none(win.LocalFileTimeToFileTime, nullptr);
    EXPECT_EQ(win_file_time({2020, 1, 1, 0, 0, 0}), no_time);
}

// ---- The real builder against the literal walk on random folders. ----

namespace {

std::string random_name(std::mt19937& rng) {
    auto pick = [&](std::initializer_list<const char*> options) {
        std::vector<const char*> v(options);
        return std::string(v[rng() % v.size()]);
    };
    std::string name;
    switch (rng() % 4) {
        case 0: {  // free text from a small alphabet with digits
            static const char alphabet[] = "aAb01239._-";
            size_t n = 1 + rng() % 7;
            for (size_t i = 0; i < n; ++i) name += alphabet[rng() % (sizeof alphabet - 1)];
            break;
        }
        case 1:  // a clash with a likely run name
            name = pick({"a1-3.txt", "A1-2.TXT", "a01-03", "x1-2", "a1-2[2].txt", "b01..02.jpg"});
            break;
        default: {  // prefix, a number near a small value, suffix
            name = pick({"a", "A", "b", "ab", "a1b", "", "_", "x9_"});
            int width = 1 + static_cast<int>(rng() % 3);
            int value = static_cast<int>(rng() % 14);
            std::string digits = std::to_string(value);
            if (rng() % 2)
                while (static_cast<int>(digits.size()) < width) digits = "0" + digits;
            name += digits;
            name += pick({".txt", ".TXT", ".jpg", "", "b", "_1", ".t0"});
            break;
        }
    }
    if (rng() % 5 == 0)
        for (char& c : name)
            if (rng() % 2) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return name;
}

std::vector<real_entry> random_folder(std::mt19937& rng) {
    static const date_time times[] = {{2020, 1, 1, 0, 0, 0}, {2020, 1, 1, 0, 0, 2},
                                      {2107, 12, 31, 23, 59, 58}};
    std::vector<real_entry> entries;
    size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i) {
        real_entry e;
        e.name = random_name(rng);
        e.has_time = rng() % 10 != 0;
        e.time = e.has_time ? times[rng() % 3] : date_time{0, 0, 0, 0, 0, 0};
        static const uint32_t attrs[] = {32, 32, 32, 32, 33, 2, 4, 0, 16};
        e.attributes = attrs[rng() % 9];
        e.size = e.attributes & 16 ? 0 : rng() % 3 == 0 ? (1ull << 62) + rng() : rng() % 1000;
        entries.push_back(e);
    }
    return entries;
}

sequence_options random_options(std::mt19937& rng) {
    static const char* patterns[] = {"%s-%s", "%s-%s", "%s..%s", "%s%s", "_%s_%s.x", "%s to %s (100%%)"};
    static const int ranges[][2] = {{1, 0}, {1, 0}, {1, 0}, {2, 0}, {3, 5}, {1, 3}, {4, 4}, {2, 2}};
    sequence_options o;
    o.seqpattern = patterns[rng() % 6];
    const int* r = ranges[rng() % 8];
    o.first = r[0];
    o.last = r[1];
    return o;
}

std::string show(const listing& l) {
    std::string s;
    for (const virtual_entry& e : l.entries) {
        s += "  " + e.name + " size " + std::to_string(e.size) + " attr " +
             std::to_string(e.attributes) + " time " + std::to_string(e.time.high) + ":" +
             std::to_string(e.time.low) + " members";
        for (size_t m : e.members) s += " " + std::to_string(m);
        s += "\n";
    }
    return s;
}

bool same(const listing& a, const listing& b) {
    if (a.entries.size() != b.entries.size() || a.real_entries.size() != b.real_entries.size())
        return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const virtual_entry &x = a.entries[i], &y = b.entries[i];
        if (x.name != y.name || !(x.time == y.time) || x.attributes != y.attributes ||
            x.size != y.size || x.members != y.members)
            return false;
    }
    for (size_t i = 0; i < a.real_entries.size(); ++i)
        if (a.real_entries[i].name != b.real_entries[i].name) return false;
    return true;
}

#ifdef _WIN32
constexpr int random_folders = 300;
#else
constexpr int random_folders = 4000;
#endif

}  // namespace

TEST(seq_dir_oracle, agrees_with_the_literal_walk_on_random_folders) {
    int runs = 0, mismatches = 0;
    for (int seed = 1; seed <= random_folders && mismatches < 3; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::vector<real_entry> folder = random_folder(rng);
        sequence_options o = random_options(rng);
        listing got = build_listing(folder, o), want = model_listing(folder, o);
        for (const virtual_entry& e : want.entries) runs += e.members.size() > 1;
        if (!same(got, want)) {
            ++mismatches;
            std::string names;
            for (const real_entry& e : folder) names += " " + e.name;
            ADD_FAILURE() << "seed " << seed << ", pattern " << o.seqpattern << ", range " << o.first
                          << "-" << o.last << ", names" << names << "\ngot:\n"
                          << show(got) << "expected:\n"
                          << show(want);
        }
    }
    EXPECT_GT(runs, random_folders / 4) << "the random folders hold too few runs to prove much";
}

TEST(seq_dir_oracle, agrees_on_the_benchmark_shapes) {
    std::vector<std::vector<real_entry>> shapes(4);
    char name[64];
    for (int r = 0; r < 4; ++r)
        for (int i = 1; i <= 60; ++i) {
            std::snprintf(name, sizeof name, "run%02d_%04d.exr", r, i);
            shapes[0].push_back(file(name));
        }
    for (int i = 1; i <= 240; ++i) shapes[1].push_back(file("shot_" + std::to_string(i) + ".exr"));
    for (int i = 1; i <= 50; ++i)
        for (const char* ext : {".dpx", ".exr", ".jpg", ".png", ".tif"}) {
            std::snprintf(name, sizeof name, "plate_%05d%s", i, ext);
            shapes[2].push_back(file(name));
        }
    std::mt19937 rng(7);
    for (int i = 0; i < 240; ++i) {
        std::snprintf(name, sizeof name, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(rng()),
                      static_cast<unsigned>(rng() & 0xFFFF), static_cast<unsigned>(rng() & 0xFFF),
                      static_cast<unsigned>(rng() & 0xFFFF),
                      static_cast<unsigned long long>(rng()) << 16);
        shapes[3].push_back(file(name));
    }
    for (const std::vector<real_entry>& shape : shapes) {
        listing got = build_listing(shape, {}), want = model_listing(shape, {});
        EXPECT_TRUE(same(got, want)) << shape.front().name << " ...\ngot:\n"
                                     << show(got) << "expected:\n"
                                     << show(want);
    }
}
