// The directory builder on real folders on disk, through the real Windows listing and time functions.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "plugin/folder.h"
#include "sequence/shown_listing.h"

using namespace tallyrun;
namespace fs = std::filesystem;

namespace {

using shown_char = shown_listing<char>;
using virtual_entry = shown_entry<char>;
using real_entry = shown_file<char>;
const ini_place nowhere{{u""}, u"tallyrun.ini"};

// The listing of a real folder, spelled out; nothing when it cannot be listed.
bool list(const std::string& search, shown_char& out) {
    listing<char> l;
    if (!seq_dir<char>(search, nowhere, l)) return false;
    out = shown(l);
    return true;
}

// A fresh folder under the temporary folder, removed with everything in it at the end.
struct temp_folder {
    fs::path path;
    temp_folder() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("tallyrun_seq_" + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~temp_folder() {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(path, ec))
            fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    fs::path add(const std::string& name, size_t bytes = 3) {
        fs::path p = path / name;
        std::ofstream(p, std::ios::binary) << std::string(bytes, 'x');
        return p;
    }
    std::string search() const { return path.string() + "\\*.*"; }
};

// Gives every file the first one's last-write time, so that runs keep a time.
void same_times(const std::vector<fs::path>& files) {
    auto t = fs::last_write_time(files.front());
    for (const fs::path& p : files) fs::last_write_time(p, t);
}

}  // namespace

TEST(seq_dir_win, worked_listings_on_disk) {
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
        {{"frame98.tif", "frame99.tif", "frame100.tif"},
         {"frame100.tif: frame100.tif", "frame98-99.tif: frame98.tif frame99.tif"}},
        {{"a1.txt", "a2.txt", "a1-2.txt"}, {"a1-2.txt: a1-2.txt", "a1-2[2].txt: a1.txt a2.txt"}},
    };
    for (const row& r : rows) {
        temp_folder t;
        for (const std::string& n : r.files) t.add(n);
        shown_char l;
        ASSERT_TRUE(list(t.search(), l)) << t.search();
        EXPECT_EQ(file_lines(l), r.expected) << "folder of " << r.files.front() << " ...";
        size_t dots = 0;
        for (const virtual_entry& e : l.entries) dots += e.name == "." || e.name == "..";
        EXPECT_EQ(dots, 2u) << "a real folder lists . and ..";
    }
}

TEST(seq_dir_win, sizes_attributes_and_times_of_real_files) {
    temp_folder t;
    std::vector<fs::path> run = {t.add("c1.bin", 1000), t.add("c2.bin", 234)};
    fs::path lone = t.add("lone.bin", 5);
    fs::path big = t.add("huge.bin", 0);
    fs::resize_file(big, (5ull << 30) + 7);  // sparse: no disk space is used
    std::vector<fs::path> ro = {t.add("r1.txt"), t.add("r2.txt")};
    std::vector<fs::path> mixed = {t.add("m1.txt"), t.add("m2.txt")};
    same_times({run[0], run[1], lone, big, ro[0], ro[1], mixed[0], mixed[1]});
    fs::last_write_time(mixed[1], fs::last_write_time(mixed[0]) + std::chrono::seconds(10));
    // Read-only last: only root may set the time of a file it cannot write.
    fs::permissions(ro[1], fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    shown_char l;
    ASSERT_TRUE(list(t.search(), l));
    ASSERT_EQ(file_lines(l), (std::vector<std::string>{"c1-2.bin: c1.bin c2.bin", "huge.bin: huge.bin",
                                                       "lone.bin: lone.bin", "m1-2.txt: m1.txt m2.txt",
                                                       "r1-2.txt: r1.txt r2.txt"}));
    const virtual_entry* by_name[5];
    size_t k = 0;
    for (const virtual_entry& e : l.entries)
        if (!(e.attributes & 16)) by_name[k++] = &e;
    EXPECT_EQ(by_name[0]->size, 1234);
    EXPECT_EQ(by_name[1]->size, static_cast<int64_t>((5ull << 30) + 7)) << "the high 32 bits count";
    EXPECT_EQ(by_name[2]->size, 5);
    EXPECT_EQ(by_name[0]->attributes, by_name[2]->attributes);
    EXPECT_EQ(by_name[4]->attributes, 0u) << "a read-only member among archive ones";
    EXPECT_FALSE(by_name[2]->time == no_time);
    EXPECT_EQ(by_name[0]->time, by_name[2]->time) << "a run of equal times keeps that time";
    EXPECT_EQ(by_name[3]->time, no_time) << "members of different times";
    for (const real_entry& e : l.real_entries) {
        EXPECT_NE(e.time, no_step) << e.name;
        EXPECT_GE(date_time_of_step(e.time).year, 2020) << e.name;
        EXPECT_EQ(date_time_of_step(e.time).second % 2, 0) << e.name;
    }
}

TEST(seq_dir_win, folders_that_cannot_be_listed) {
    temp_folder t;
    shown_char l;
    EXPECT_FALSE(list((t.path / "missing").string() + "\\*.*", l));
    std::string deep = t.path.string();
    while (deep.size() < 260) deep += "\\dddddddddddddddddddd";
    EXPECT_FALSE(list(deep + "\\*.*", l));
    folder_read<char> out;
    EXPECT_FALSE(list_folder<char>(t.path.string() + "\\" + std::string(300 - t.path.string().size(), 'x'), out));
}
