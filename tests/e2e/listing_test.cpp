// The real DLL under Wine: entry points, the drive root and real folders listed as the host reads them.
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

std::string joined(const std::vector<std::string>& v, size_t from = 0) {
    std::string s;
    for (size_t i = from; i < v.size(); ++i) s += (s.empty() ? "" : " | ") + v[i];
    return s;
}

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);

struct listing_e2e : testing::Test {
    void SetUp() override {
        ASSERT_NE(the_plugin().module, nullptr) << "cannot load " << plugin_file;
        before = snapshot(source.path);
    }
    void TearDown() override {
        EXPECT_EQ(snapshot(source.path), before) << "the source folder changed";
    }
    // Files made before the test body's snapshot; call only from SetUp-like code.
    void make(const std::vector<std::string>& names, const std::string& folder = "") {
        std::string dir = source.path + folder;
        if (!folder.empty()) {
            CreateDirectoryA(dir.c_str(), nullptr);
            dir += "\\";
        }
        for (const std::string& n : names) write_file(dir + n, "bytes of " + n, shot);
        before = snapshot(source.path);
    }
    temp_folder source;
    std::map<std::string, std::string> before;
};

}  // namespace

TEST(entry_points, all_seven_are_found_by_their_plain_names) {
    HMODULE m = LoadLibraryA(plugin_file.c_str());
    ASSERT_NE(m, nullptr) << "cannot load " << plugin_file << ", error " << GetLastError();
    for (const char* name : {"FsInit", "FsFindFirst", "FsFindNext", "FsFindClose", "FsGetDefRootName",
                             "FsSetDefaultParams", "FsGetFile"})
        EXPECT_NE(reinterpret_cast<void*>(GetProcAddress(m, name)), nullptr) << name;
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(m, "FsInit@16")), nullptr)
        << "decorated names must not be exported";
    FreeLibrary(m);
}

TEST(entry_points, root_name_fits_the_host_buffer) {
    plugin& p = the_plugin();
    for (int size : {1, 5, 9, 260}) {
        char buffer[300];
        std::memset(buffer, '#', sizeof buffer);
        p.FsGetDefRootName(buffer + 8, size);
        std::string want = std::string("Tallyrun").substr(0, size - 1);
        EXPECT_EQ(std::string(buffer + 8), want) << "size " << size;
        for (size_t i = 0; i < sizeof buffer; ++i)
            if (i < 8 || i >= 8 + want.size() + 1) {
                ASSERT_EQ(buffer[i], '#') << "size " << size << " wrote byte " << i;
            }
    }
}

TEST(root, lists_the_drives_and_writes_the_first_record_exactly) {
    plugin& p = the_plugin();
    unsigned char raw[sizeof(WIN32_FIND_DATAA) + 32];
    std::memset(raw, 0xAB, sizeof raw);
    auto* d = reinterpret_cast<WIN32_FIND_DATAA*>(raw + 16);
    char path[] = "\\";
    HANDLE h = p.FsFindFirst(path, d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(d->dwFileAttributes, 16u);
    EXPECT_EQ(d->ftLastWriteTime.dwLowDateTime, 0xFFFFFFFEu);
    EXPECT_EQ(d->ftLastWriteTime.dwHighDateTime, 0xFFFFFFFFu);
    const unsigned char* b = raw + 16;
    for (size_t i = 4; i < 318; ++i) {
        bool written = (i >= 20 && i < 28) || (i >= 44 && i < 47);
        if (!written) {
            ASSERT_EQ(b[i], 0) << "byte " << i;
        }
    }
    for (size_t i = 0; i < 16; ++i) ASSERT_EQ(raw[i], 0xAB) << "written before the record";
    for (size_t i = 16 + 318; i < sizeof raw; ++i) ASSERT_EQ(raw[i], 0xAB) << "written after 318 bytes";
    std::vector<std::string> drives = {d->cFileName};
    while (p.FsFindNext(h, d)) drives.push_back(d->cFileName);
    p.FsFindClose(h);
    std::string want;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        char root[] = {letter, ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) want += (want.empty() ? "" : " | ") + std::string(root, 2);
    }
    EXPECT_EQ(joined(drives), want);
    EXPECT_NE(want.find("C:"), std::string::npos);
}

TEST_F(listing_e2e, worked_listings) {
    struct row {
        std::vector<std::string> files;
        std::string want;
    } rows[] = {
        {{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "notes.txt"}, "IMG_0001-0003.JPG | notes.txt"},
        {{"Scan01.png", "scan02.png", "scan03.png"}, "scan01-03.png"},
        {{"img01.jpg", "img01.png", "img02.jpg", "img02.png"}, "img01-02.jpg | img01-02.png"},
        {{"a1.txt", "a10.txt", "a11.txt", "a2.txt"}, "a1-2.txt | a10-11.txt"},
        {{"p01.bmp", "p02.bmp", "p04.bmp", "p05.bmp"}, "p01-02.bmp | p04-05.bmp"},
        {{"frame98.tif", "frame99.tif", "frame100.tif"}, "frame100.tif | frame98-99.tif"},
        {{"a1.txt", "a2.txt", "a1-2.txt"}, "a1-2.txt | a1-2[2].txt"},
        {{"a01", "a02", "a03"}, "a01-03"},
    };
    int n = 0;
    for (const row& r : rows) {
        std::string folder = "row" + std::to_string(++n);
        make(r.files, folder);
        std::vector<std::string> names = the_plugin().names(plugin_path(source.path + folder));
        ASSERT_GE(names.size(), 2u) << folder;
        EXPECT_EQ(names[0] + names[1], "...") << folder;
        EXPECT_EQ(joined(names, 2), r.want) << folder;
    }
}

TEST_F(listing_e2e, sub_folders_come_first_and_trailing_backslash_lists_the_same) {
    make({"b.txt", "IMG_0001.JPG", "IMG_0002.JPG"});
    CreateDirectoryA((source.path + "zeta").c_str(), nullptr);
    CreateDirectoryA((source.path + "alpha").c_str(), nullptr);
    before = snapshot(source.path);
    std::vector<std::string> plain = the_plugin().names(plugin_path(source.path));
    std::vector<std::string> slash = the_plugin().names(plugin_path(source.path) + "\\");
    ASSERT_EQ(plain.size(), 6u) << joined(plain);
    EXPECT_EQ(joined(plain, 4), "b.txt | IMG_0001-0002.JPG") << "files sort by upper-cased name";
    std::string folders = joined({plain[2], plain[3]});
    EXPECT_TRUE(folders == "zeta | alpha" || folders == "alpha | zeta") << folders;
    EXPECT_EQ(joined(slash), joined(plain));
}

TEST_F(listing_e2e, entry_record_carries_size_time_and_attributes) {
    make({"v01.dat", "v02.dat", "w.dat"});
    FILETIME other = utc(2007, 1, 1, 0, 0, 0);
    write_file(source.path + "t01.dat", "x", shot);
    write_file(source.path + "t02.dat", "yy", other);
    before = snapshot(source.path);
    plugin& p = the_plugin();
    std::string s = plugin_path(source.path);
    std::vector<char> b(s.begin(), s.end());
    b.push_back(0);
    WIN32_FIND_DATAA d;
    HANDLE h = p.FsFindFirst(b.data(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::map<std::string, WIN32_FIND_DATAA> seen;
    do seen[d.cFileName] = d;
    while (p.FsFindNext(h, &d));
    p.FsFindClose(h);
    ASSERT_EQ(seen.count("v01-02.dat"), 1u);
    const WIN32_FIND_DATAA& v = seen["v01-02.dat"];
    EXPECT_EQ(v.nFileSizeLow, 2 * std::string("bytes of v01.dat").size());
    EXPECT_EQ(v.nFileSizeHigh, 0u);
    EXPECT_EQ(v.ftLastWriteTime.dwLowDateTime, shot.dwLowDateTime);
    EXPECT_EQ(v.ftLastWriteTime.dwHighDateTime, shot.dwHighDateTime);
    EXPECT_EQ(v.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_EQ(seen.count("t01-02.dat"), 1u);
    EXPECT_EQ(seen["t01-02.dat"].ftLastWriteTime.dwLowDateTime, 0xFFFFFFFEu) << "mixed times: no time";
    EXPECT_EQ(seen["t01-02.dat"].ftLastWriteTime.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(seen["t01-02.dat"].nFileSizeLow, 3u);
}

TEST_F(listing_e2e, two_handles_at_once_and_a_missing_folder) {
    make({"a.txt", "b.txt"}, "one");
    make({"x.txt"}, "two");
    plugin& p = the_plugin();
    std::string one = plugin_path(source.path + "one"), two = plugin_path(source.path + "two");
    std::vector<char> b1(one.begin(), one.end()), b2(two.begin(), two.end());
    b1.push_back(0);
    b2.push_back(0);
    WIN32_FIND_DATAA d1, d2;
    HANDLE h1 = p.FsFindFirst(b1.data(), &d1);
    HANDLE h2 = p.FsFindFirst(b2.data(), &d2);
    ASSERT_NE(h1, INVALID_HANDLE_VALUE);
    ASSERT_NE(h2, INVALID_HANDLE_VALUE);
    std::vector<std::string> n1 = {d1.cFileName}, n2 = {d2.cFileName};
    bool more1 = true, more2 = true;
    while (more1 || more2) {
        if (more1 && (more1 = p.FsFindNext(h1, &d1))) n1.push_back(d1.cFileName);
        if (more2 && (more2 = p.FsFindNext(h2, &d2))) n2.push_back(d2.cFileName);
    }
    p.FsFindClose(h1);
    p.FsFindClose(h2);
    EXPECT_EQ(joined(n1), ". | .. | a.txt | b.txt");
    EXPECT_EQ(joined(n2), ". | .. | x.txt");

    DWORD error = 0;
    EXPECT_TRUE(p.names(plugin_path(source.path + "gone"), &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(listing_e2e, faulty_ini_shows_its_message_box) {
    temp_folder ini;
    write_file(ini.path + "tallyrun.ini", "[Settings]\r\n", shot);
    make({"a01.txt", "a02.txt"});
    plugin& p = the_plugin();
    p.set_ini_folder(ini.path);
    std::vector<std::string> names;
    std::vector<std::string> texts;
    {
        window_answerer answers({"ok"});
        names = p.names(plugin_path(source.path));
        texts = answers.texts();
    }
    static temp_folder clean;
    p.set_ini_folder(clean.path);
    EXPECT_EQ(joined(names, 2), "a01-02.txt") << "the defaults apply";
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Error in file '" + ini.path + "tallyrun.ini' :\nInvalid section 'Settings'.");
}

TEST_F(listing_e2e, harness_prints_a_panel) {
    make({"IMG_0001.JPG", "IMG_0002.JPG"});
    CreateDirectoryA((source.path + "sub").c_str(), nullptr);
    before = snapshot(source.path);
    DWORD status = 1;
    std::string out = run_host("\"" + plugin_file + "\" ls \"" + plugin_path(source.path) + "\"", &status);
    EXPECT_EQ(status, 0u) << out;
    EXPECT_NE(out.find("<DIR>  "), std::string::npos) << out;
    EXPECT_NE(out.find("---d-  sub\n"), std::string::npos) << out;
    std::string size = std::to_string(2 * std::string("bytes of IMG_0001.JPG").size());
    EXPECT_NE(out.find(" " + size + "  2006-09-19 09:34:18  ----a  IMG_0001-0002.JPG"), std::string::npos)
        << out;
    out = run_host("\"" + plugin_file + "\" ls \\", &status);
    EXPECT_NE(out.find("<DIR>  (no time)            ---d-  C:"), std::string::npos) << out;
}
