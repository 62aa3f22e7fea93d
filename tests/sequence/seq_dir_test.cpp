// The directory builder on the fake disk and in memory: worked listings, sizes, times, failures, and the literal walk.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_fs.h"
#include "plugin/folder.h"
#include "sequence/name_registry.h"
#include "sequence/shown_listing.h"
#include "sequence/walk_model.h"
#include "support/native_time.h"

using namespace tallyrun;

namespace {

const ini_place ini_at{{u"C:\\cfg\\"}, u"tallyrun.ini"};
const win_filetime when = utc_time(2021, 6, 15, 10, 30, 20);
const date_time when_local{2021, 6, 15, 10, 30, 20};

using shown_char = shown_listing<char>;
using real_entry = shown_file<char>;
using virtual_entry = shown_entry<char>;

// The listing of a folder of the fake disk, spelled out.
shown_char list_fake(const std::string& folder) {
    listing<char> l;
    EXPECT_TRUE(seq_dir<char>(folder + "\\*.*", ini_at, l)) << folder;
    return shown(l);
}

shown_char built(const std::vector<real_entry>& files, const sequence_options& options) {
    return shown(build_listing(folder_of(files), options));
}

// The entries a folder listing read, by name.
std::vector<std::string> read_names(const folder_read<char>& read) {
    std::vector<std::string> names;
    for (const listed_file& f : read.files) names.push_back(read.names.substr(f.name_at, f.name_length));
    return names;
}

shown_char list_names(const std::vector<std::string>& names, const std::string& ini = "") {
    fake_fs fs;
    for (const std::string& n : names) fs.add_file("C:\\w\\" + n, 10, when);
    if (!ini.empty()) fs.add_file(std::string("C:\\cfg\\tallyrun.ini"), ~0ull, {}, 32, ini);
    return list_fake("C:\\w");
}

real_entry file(const std::string& name, uint64_t size = 1, date_time t = when_local,
                uint32_t attributes = 32) {
    return real_entry{name, step_of(t), attributes, size};
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
         {"img01-02.jpg: img01.jpg img02.jpg", "img01-02.png: img01.png img02.png"}},
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
        shown_char l = list_names(r.files);
        EXPECT_EQ(file_lines(l), r.expected) << "folder of " << r.files.front() << " ...";
        // "." and ".." come first, as folders, and stand for nothing.
        ASSERT_GE(l.entries.size(), 2u);
        EXPECT_EQ(l.entries[0].name, ".");
        EXPECT_EQ(l.entries[1].name, "..");
        EXPECT_TRUE(l.entries[0].members.empty());
    }
}

TEST(seq_dir, pattern_and_range_come_from_the_ini_file) {
    shown_char l = list_names({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"},
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
    listing<char> l;
    EXPECT_FALSE(seq_dir<char>("C:\\missing\\*.*", ini_at, l));
    EXPECT_EQ(message_boxes, 0) << "a folder that cannot be listed reads no configuration";
    EXPECT_TRUE(seq_dir<char>("C:\\w\\*.*", ini_at, l));
    EXPECT_EQ(message_boxes, 1) << "the faulty file is reported at the listing";
    EXPECT_EQ(file_lines(shown(l)), std::vector<std::string>{"a.txt: a.txt"});
}

TEST(seq_dir, folders_come_first_and_keep_their_positions) {
    fake_fs fs;
    fs.add_file("C:\\w\\b2.txt", 5, when);
    fs.add_folder("C:\\w\\zeta");
    fs.add_file("C:\\w\\B1.txt", 7, when);
    fs.add_folder("C:\\w\\Alpha");
    shown_char l = list_fake("C:\\w");
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
    shown_char l = list_fake("C:\\empty");
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
    shown_char l = list_fake("C:\\w");
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
    shown_char l = list_fake("C:\\w");
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
    shown_char l = built({file("z1", huge), file("z2", huge), file("z3", huge)}, {});
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
    shown_char l = list_fake("C:\\w");
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"diff1-2.txt: diff1.txt diff2.txt",
                                                       "odd.txt: odd.txt",
                                                       "same1-2.txt: same1.txt same2.txt"}));
    EXPECT_EQ(l.entries[2].time, no_time);
    // The listing keeps even seconds: 21 s shows as 20 s.
    ASSERT_EQ(l.real_entries[4].name, "odd.txt");
    EXPECT_EQ(date_time_of_step(l.real_entries[4].time), when_local);
    EXPECT_EQ(l.entries[3].time, (win_filetime{when.low, when.high}));
    EXPECT_EQ(l.entries[4].time, (win_filetime{when.low, when.high}));
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
    shown_char l = list_fake("C:\\w");
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"first.txt: first.txt",
                                                       "last.txt: last.txt", "late.txt: late.txt",
                                                       "mix1-2.txt: mix1.txt mix2.txt",
                                                       "old.txt: old.txt",
                                                       "two1-2.txt: two1.txt two2.txt"}));
    const win_filetime first = utc_time(1980, 1, 1), last = utc_time(2107, 12, 31, 23, 59, 58);
    EXPECT_EQ(l.entries[2].time, (win_filetime{first.low, first.high})) << "the first DOS time";
    EXPECT_EQ(l.entries[3].time, (win_filetime{last.low, last.high})) << "the last DOS time";
    for (size_t i = 4; i < l.entries.size(); ++i)
        EXPECT_EQ(l.entries[i].time, no_time) << l.entries[i].name;
    const real_entry& old = l.real_entries[7];
    ASSERT_EQ(old.name, "old.txt");
    EXPECT_EQ(old.time, no_step);
    EXPECT_EQ(date_time_of_step(old.time), (date_time{0, 0, 0, 0, 0, 0}));
    EXPECT_NE(l.real_entries[5].time, no_step) << l.real_entries[5].name;
}

#ifndef _WIN32
TEST(seq_dir, local_time_follows_the_zone_and_goes_back_to_utc) {
    fake_fs fs;  // before the zone changes: it puts the table back as it found it
    win.utc_offset_seconds = 3600;
    fs.add_file("C:\\w\\a.txt", 1, when);
    shown_char l = list_fake("C:\\w");
    win.utc_offset_seconds = 0;
    EXPECT_EQ(date_time_of_step(l.real_entries[2].time), (date_time{2021, 6, 15, 11, 30, 20}));
    EXPECT_EQ(l.entries[2].time, (win_filetime{when.low, when.high}));
}
#endif

TEST(seq_dir, generated_names_never_repeat_a_real_name) {
    fake_fs fs;
    fs.add_folder("C:\\w\\A1-2.TXT");
    fs.add_file("C:\\w\\a1.txt", 1, when);
    fs.add_file("C:\\w\\a2.txt", 1, when);
    fs.add_file("C:\\w\\a1-2[2].txt", 1, when);
    shown_char l = list_fake("C:\\w");
    EXPECT_EQ(file_lines(l), (std::vector<std::string>{"a1-2[2].txt: a1-2[2].txt",
                                                       "a1-2[3].txt: a1.txt a2.txt"}));
}

TEST(list_folder, refuses_long_paths_whole) {
    fake_fs fs;
    std::string folder = "C:\\" + std::string(246, 'd');  // 249 bytes, so "\*.*" makes 253
    fs.add_file(folder + "\\x.txt", 1, when);
    folder_read<char> out;
    EXPECT_TRUE(list_folder<char>(folder + "\\*.*", out));
    EXPECT_EQ(out.files.size(), 3u);
    std::string longer = folder + std::string(2, 'd');  // exactly 255
    fs.add_file(longer + "\\x.txt", 1, when);
    EXPECT_TRUE(list_folder<char>(longer + "\\*.*", out));
    std::string too_long = longer + "d";  // 256
    fs.add_file(too_long + "\\x.txt", 1, when);
    fs.searches.clear();
    EXPECT_FALSE(list_folder<char>(too_long + "\\*.*", out));
    EXPECT_TRUE(out.files.empty());
    EXPECT_TRUE(fs.searches.empty()) << "a cut-down path names another folder: never search it";
}

TEST(list_folder, names_of_255_bytes_run_like_any_other) {
    fake_fs fs;
    std::string stem(250, 'n');
    fs.add_file("C:\\w\\" + stem + "1.txt", 3, when);
    fs.add_file("C:\\w\\" + stem + "2.txt", 4, when);
    shown_char l = list_fake("C:\\w");
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.real_entries[2].name.size(), 255u);
    EXPECT_EQ(l.entries[2].name, stem + "1-2.txt");
    EXPECT_EQ(l.entries[2].size, 7);
}

TEST(list_folder, failures) {
    fake_fs fs;
    fs.add_file("C:\\w\\a.txt", 1, when);
    fs.add_file("C:\\w\\b.txt", 1, when);
    folder_read<char> out;
    EXPECT_FALSE(list_folder<char>("C:\\nowhere\\*.*", out));
    fs.add_folder("D:");
    EXPECT_FALSE(list_folder<char>("D:\\*.*", out)) << "an empty drive root: nothing matches";
    EXPECT_FALSE(list_folder<char>(std::string("C:\\w\0x\\*.*", 10), out));
    // A read that breaks off with another error than "no more files" is no listing.
    fs.find_next_fails_after = 2;
    fs.find_next_error = 59;  // ERROR_UNEXP_NET_ERR
    EXPECT_FALSE(list_folder<char>("C:\\w\\*.*", out));
    EXPECT_TRUE(out.files.empty()) << "got " << out.files.size() << " entries of a half-read folder";
    listing<char> l;
    EXPECT_FALSE(seq_dir<char>("C:\\w\\*.*", ini_at, l));
    fs.find_next_fails_after = -1;
    EXPECT_TRUE(list_folder<char>("C:\\w\\*.*", out));
    EXPECT_EQ(out.files.size(), 4u);
}

TEST(list_folder, attributes_sizes_and_times_of_each_entry) {
    fake_fs fs;
    fs.add_file("C:\\w\\big.bin", (3ull << 32) + 5, when, 0x20 | 0x2 | 0x4 | 0x1 | 0x800);
    folder_read<char> out;
    ASSERT_TRUE(list_folder<char>("C:\\w\\*.*", out));
    ASSERT_EQ(out.files.size(), 3u);
    EXPECT_EQ(out.files[2].size(), (3ull << 32) + 5);
    EXPECT_EQ(out.files[2].attributes, 39u) << "only the six DOS bits are kept";
    EXPECT_EQ(date_time_of_step(out.files[2].time), when_local);
    EXPECT_EQ(out.files[0].attributes, 16u);
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
            uint64_t ticks = t.ticks() + (round ? 9999999u : 1234567u);
            fake_file f;
            f.name = "f" + std::to_string(round) + "_" + std::to_string(k) + ".txt";
            f.write_time = win_filetime::of_ticks(ticks);
            entries.push_back(f);
        }
    folder_read<char> out;
    ASSERT_TRUE(list_folder<char>("C:\\t\\*.*", out));
    ASSERT_EQ(out.files.size(), 82u);
    const std::vector<std::string> names = read_names(out);
    for (size_t i = 2; i < out.files.size(); ++i) {
        int k = std::stoi(names[i].substr(3));
        int second = (k * 7) % 40;
        EXPECT_EQ(date_time_of_step(out.files[i].time), (date_time{2022, 2, 3, 4, 5, second - second % 2})) << names[i];
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
    shown_char l = list_fake("C:\\big");
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.entries[2].name, "frame_000001-100000.exr");
    EXPECT_EQ(l.entries[2].members.size(), static_cast<size_t>(count));
    EXPECT_EQ(l.entries[2].size, static_cast<int64_t>(count) * (50 << 20));
    EXPECT_EQ(l.entries[2].members.back(), static_cast<size_t>(count) + 2);
}

TEST(seq_dir_parts, single_files_keep_their_name_and_stand_for_themselves) {
    shown_char l = built({file("only1.txt", 9), file("other.txt", 4)}, {});
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "only1.txt");
    EXPECT_EQ(l.entries[0].members, std::vector<size_t>{1});
    EXPECT_EQ(l.entries[1].members, std::vector<size_t>{2});
    EXPECT_EQ(l.entries[0].size, 9);
}

TEST(seq_dir_parts, sequence_name_lowers_names_but_not_the_pattern) {
    sequence_options o;
    o.seqpattern = "%s_TO_%s (100%%)";
    shown_char l = built({file("Scan01.PNG"), file("scan02.png"), file("R%s1.X"), file("R%s2.X")}, o);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "R%s1_TO_2 (100%).X");
    EXPECT_EQ(l.entries[1].name, "scan01_TO_02 (100%).png");
    o.seqpattern = "%s.%s";
    l = built({file("v1"), file("v2")}, o);
    EXPECT_EQ(l.entries[0].name, "v1.2") << "the pattern's dot starts the extension";
}

TEST(seq_dir_parts, same_outer_text_compares_with_case_around_the_field) {
    const number_field field{4, 5};
    EXPECT_TRUE(same_outer_text<char>("abc01.x", "abc02.x", field));
    EXPECT_FALSE(same_outer_text<char>("abc01.x", "aBc02.x", field));
    EXPECT_FALSE(same_outer_text<char>("abc01.x", "abc02.X", field));
    EXPECT_TRUE(same_outer_text<char>("abc01.x", "abc99.x", field));
}

TEST(seq_dir_parts, fill_template_takes_four_slots_and_halves_percent_pairs) {
    const std::string_view slots[4] = {"a", "1", "9", ".%s"};
    EXPECT_EQ(fill_template<char>("%s%s-%s%s", slots), "a1-9.%s");
    EXPECT_EQ(fill_template<char>("%s%s%%%s%s", slots), "a1%9.%s");
    EXPECT_EQ(fill_template<char>("%s[%s %s]%s", slots), "a[1 9].%s");
}

TEST(seq_dir_parts, upper_name_order) {
    // Names of no run come out in the order of their upper-cased names.
    auto order = [](std::vector<std::string> names) {
        std::vector<real_entry> files;
        for (const std::string& n : names) files.push_back(file(n));
        std::string text;
        for (const virtual_entry& e : built(files, {}).entries) text += (text.empty() ? "" : " ") + e.name;
        return text;
    };
    EXPECT_EQ(order({"abd", "abc"}), "abc abd");
    EXPECT_EQ(order({"abcd", "abc"}), "abc abcd") << "a leading part comes first";
    EXPECT_EQ(order({"a_x", "aB"}), "aB a_x") << "upper-cased, '_' sorts after the letters";
    EXPECT_EQ(order({"\xE9t\xE9", "zzz"}), "zzz \xE9t\xE9") << "bytes compare unsigned";
    EXPECT_EQ(order({"b", "A", "a", "_", "B"}), "A a b B _") << "equal names keep their order";
}

TEST(seq_dir_parts, file_times) {
    const win_filetime t = utc_time(2107, 12, 31, 23, 59, 58);
    EXPECT_EQ(win_file_time({2107, 12, 31, 23, 59, 58}), (win_filetime{t.low, t.high}));
    const win_filetime u = utc_time(1980, 1, 1);
    EXPECT_EQ(win_file_time({1980, 1, 1, 0, 0, 0}), (win_filetime{u.low, u.high}));
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
        e.time = rng() % 10 != 0 ? step_of(times[rng() % 3]) : no_step;
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

std::string show(const shown_char& l) {
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

bool same(const shown_char& a, const shown_char& b) {
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
        shown_char got = built(folder, o), want = model_listing(folder, o);
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
        shown_char got = built(shape, {}), want = model_listing(shape, {});
        EXPECT_TRUE(same(got, want)) << shape.front().name << " ...\ngot:\n"
                                     << show(got) << "expected:\n"
                                     << show(want);
    }
}

// ---- The wide side: the same walk on UTF-16 names. ----

namespace {

std::u16string widened(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<shown_file<char16_t>> random_wide_folder(std::mt19937& rng) {
    // Cyrillic and Greek in both cases, CJK, Latin beyond code page 1252, an
    // emoji (a surrogate pair), a lone surrogate and a fullwidth digit.
    static const char16_t* const pieces[] = {u"\u0421\u043d\u0438\u043c\u043e\u043a", u"\u0441\u041d\u0418",
                                             u"\u03a3", u"\u03c2", u"\u5199\u771f", u"\u0141\u00f3d\u017a",
                                             u"\U0001F39E", u"\U00010400", u"\xDC01", u"\uFF11", u"_", u".", u"a"};
    // Or, in a third of the folders, units below 256 only: some upper-case
    // above 255 (y and micro sign), the others stay below (e acute, ~, x).
    static const char16_t* const narrow_pieces[] = {u"\u00ff", u"\u00b5", u"\u00e9", u"~", u"x", u"_", u"a"};
    const bool narrow = rng() % 3 == 0;
    std::vector<shown_file<char16_t>> entries;
    std::set<std::u16string> seen;  // no two names equal ignoring case
    std::u16string bases[3];  // a few per folder, so that runs form
    for (std::u16string& b : bases)
        for (int k = 1 + static_cast<int>(rng() % 2); k > 0; --k) b += narrow ? narrow_pieces[rng() % 7] : pieces[rng() % 13];
    size_t n = rng() % 30;
    for (size_t i = 0; i < n; ++i) {
        std::u16string name = bases[rng() % 3];
        std::string digits = std::to_string(rng() % 12);
        if (rng() % 2 && digits.size() < 2) digits = "0" + digits;
        name += widened(digits) + (rng() % 3 ? u".jpg" : u".JPG");
        std::u16string lowered = name;
        utf16_lower_buff(lowered.data(), static_cast<uint32_t>(lowered.size()));
        if (!seen.insert(lowered).second) continue;
        shown_file<char16_t> e;
        e.name = name;
        e.time = rng() % 10 ? static_cast<local_step>(rng() % 2) : no_step;
        e.attributes = rng() % 12 ? 32 : 16;
        e.size = e.attributes & 16 ? 0 : rng() % 1000;
        entries.push_back(e);
    }
    return entries;
}

template <typename C>
std::vector<std::string> lines_of(const shown_listing<C>& l) {
    std::vector<std::string> out;
    for (const shown_entry<C>& e : l.entries) {
        std::string line;
        for (C c : e.name) line += c < 128 ? static_cast<char>(c) : '?';
        line += " " + std::to_string(e.size) + " " + std::to_string(e.attributes) + " " +
                std::to_string(e.time.high) + ":" + std::to_string(e.time.low);
        for (size_t m : e.members) line += " " + std::to_string(m);
        out.push_back(line);
    }
    return out;
}

}  // namespace

TEST(seq_dir_oracle, the_wide_side_agrees_with_the_literal_walk_on_random_folders) {
    int runs = 0;
    for (int seed = 1; seed <= 1500; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::vector<shown_file<char16_t>> folder = random_wide_folder(rng);
        sequence_options o = random_options(rng);
        shown_listing<char16_t> got = shown(build_listing(folder_of(folder), o)), want = model_listing(folder, o);
        for (const auto& e : want.entries) runs += e.members.size() > 1;
        bool same_names = got.real_entries.size() == want.real_entries.size();
        for (size_t i = 0; same_names && i < got.real_entries.size(); ++i)
            same_names = got.real_entries[i].name == want.real_entries[i].name;
        std::vector<std::u16string> got_names, want_names;
        for (const auto& e : got.entries) got_names.push_back(e.name);
        for (const auto& e : want.entries) want_names.push_back(e.name);
        ASSERT_TRUE(same_names && got_names == want_names && lines_of(got) == lines_of(want))
            << "seed " << seed << ", pattern " << o.seqpattern;
    }
    EXPECT_GT(runs, 1500 / 4) << "the random folders hold too few runs to prove much";
}

TEST(seq_dir_oracle, the_wide_side_agrees_on_many_names_of_one_length_whose_units_share_low_bytes) {
    // Cyrillic a and be, and s caron, have the low bytes of 0, 1 and a: a walk
    // that let units stand for their low byte would join what differs.
    static const char16_t* const pieces[] = {u"0", u"\u0430", u"1", u"\u0431", u"a", u"\u0161"};
    for (int seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::vector<shown_file<char16_t>> folder;
        std::set<std::u16string> seen;
        for (int i = 0; i < 300; ++i) {
            std::u16string name;
            for (int k = 0; k < 3; ++k) name += pieces[rng() % 6];
            const unsigned number = rng() % 40;
            name += u"_" + widened(std::to_string(number / 10) + std::to_string(number % 10)) + u"." + pieces[rng() % 6];
            std::u16string lowered = name;
            utf16_lower_buff(lowered.data(), static_cast<uint32_t>(lowered.size()));
            if (!seen.insert(lowered).second) continue;
            shown_file<char16_t> e;
            e.name = name;
            e.size = 1;
            e.attributes = 32;
            folder.push_back(e);
        }
        const shown_listing<char16_t> got = shown(build_listing(folder_of(folder), {})), want = model_listing(folder, {});
        ASSERT_EQ(lines_of(got), lines_of(want)) << "seed " << seed;
    }
}

TEST(seq_dir_oracle, both_sides_list_an_ascii_folder_alike) {
    for (int seed = 1; seed <= 1500; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::vector<real_entry> folder = random_folder(rng);
        sequence_options o = random_options(rng);
        std::vector<shown_file<char16_t>> wide;
        for (const real_entry& e : folder) wide.push_back({widened(e.name), e.time, e.attributes, e.size});
        ASSERT_EQ(lines_of(built(folder, o)), lines_of(shown(build_listing(folder_of(wide), o)))) << "seed " << seed;
    }
}

TEST(seq_dir, wide_names_run_by_their_own_units) {
    const win_filetime t = when;
    fake_fs fs;
    for (const char16_t* n : {u"\u041f\u0440\u0438\u0432\u0435\u0442_01.jpg", u"\u041f\u0440\u0438\u0432\u0435\u0442_02.jpg",
                              u"\u041f\u0440\u0438\u0432\u0435\u0442_03.jpg", u"\u5199\u771f_01.png", u"\u5199\u771f_02.png",
                              u"\u5199\u771f_03.png", u"\u041c\u0438\u0440_01.jpg", u"\U0001F39E_0001.exr",
                              u"\U0001F39E_0002.exr", u"\u0421\u043d\u0438\u043c\u043e\u043a_01.jpg",
                              u"\u0441\u043d\u0438\u043c\u043e\u043a_02.jpg"})
        fs.add_file(std::u16string(u"C:\\w\\") + n, 10, t);
    listing<char16_t> l;
    ASSERT_TRUE(seq_dir<char16_t>(u"C:\\w\\*.*", ini_at, l));
    std::vector<std::string> names;
    for (const auto& e : shown(l).entries) names.push_back(utf8(e.name));
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Мир_01.jpg", "Привет_01-03.jpg", "снимок_01-02.jpg",
                                               "写真_01-03.png", "🎞_0001-0002.exr"}));
    // The 8-bit side sees question marks and keeps the two names that read alike apart by length only.
    listing<char> narrow;
    ASSERT_TRUE(seq_dir<char>("C:\\w\\*.*", ini_at, narrow));
    std::vector<std::string> narrow_names;
    for (const auto& e : shown(narrow).entries) narrow_names.push_back(e.name);
    EXPECT_EQ(narrow_names.size(), 7u);
}
