// The real DLL under Wine through the wide functions: Unicode names, long paths, the record, both sides alike.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <set>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);
const FILETIME earlier = utc(2005, 1, 2, 3, 4, 6);

// Names from the third on (after "." and ".."), as UTF-8 joined by " | ".
std::string joined(const std::vector<std::wstring>& names, size_t from = 2) {
    std::string s;
    for (size_t i = from; i < names.size(); ++i) s += (s.empty() ? "" : " | ") + utf8(names[i]);
    return s;
}

std::string content_of(const std::wstring& name) { return "bytes of " + utf8(name); }

// One entry of the plugin and the real files it stands for.
struct run {
    std::wstring entry;
    std::vector<std::wstring> members;
};

// A folder below base (ending with a backslash; made when missing) whose full
// path, without the backslash it is returned with, is exactly length units
// long; made of components of at most 201 units through the \\?\ prefix.
std::wstring deep_folder(const std::wstring& base, size_t length) {
    make_folder(base);
    std::wstring path = base;
    while (length - path.size() > 201) {
        path += std::wstring(199, L'd');
        make_folder(path);
        path += L'\\';
    }
    path += std::wstring(length - path.size(), L'e');
    make_folder(path);
    return path + L'\\';
}

// Whether a byte at offset of a find-data record is one an entry writes:
// attributes, last-write time, both size halves, name_bytes of name at 44.
bool entry_field(long offset, long name_bytes) {
    return (offset >= 0 && offset < 4) || (offset >= 20 && offset < 36) || (offset >= 44 && offset < 44 + name_bytes);
}

struct wide_e2e : testing::Test {
    void SetUp() override {
        plugin& p = the_plugin();
        ASSERT_NE(p.module, nullptr) << "cannot load " << plugin_file;
        ASSERT_TRUE(p.FsInitW && p.FsFindFirstW && p.FsFindNextW && p.FsGetFileW) << "a wide entry point is missing";
        before = snapshot(source.wpath);
        p.reports.clear();
        p.wide_reports.clear();
        hold_ctrl(false);
    }
    void TearDown() override {
        hold_ctrl(false);
        the_plugin().set_progress(true, true);
        EXPECT_EQ(snapshot(source.wpath), before) << "the source tree changed";
    }
    // A folder below the source (name ending with a backslash) holding files
    // whose bytes name them, made before the snapshot the test ends with.
    std::wstring make(const std::wstring& folder, const std::vector<std::wstring>& names) {
        std::wstring path = source.wpath + folder;
        make_folder(path);
        for (const std::wstring& n : names) write_file(path + n, content_of(n), shot);
        before = snapshot(source.wpath);
        return path;
    }
    std::wstring make_runs(const std::wstring& folder, const std::vector<run>& runs) {
        std::vector<std::wstring> names;
        for (const run& r : runs) names.insert(names.end(), r.members.begin(), r.members.end());
        return make(folder, names);
    }
    // Copies the entry out of folder into target through FsGetFileW; "" when
    // it answered 0 and every member arrived with its own bytes, else what went wrong.
    std::string copied(const std::wstring& folder, const run& r, const std::wstring& target) {
        int result = the_plugin().get_w(plugin_path(folder) + L"\\" + r.entry, target + r.entry);
        std::string wrong = result == 0 ? "" : "FsGetFileW answered " + std::to_string(result) + "; ";
        for (const std::wstring& m : r.members)
            if (read_file(target + m) != content_of(m)) wrong += utf8(m) + " holds '" + read_file(target + m) + "'; ";
        if (r.members.size() > 1 && exists(target + r.entry)) wrong += "a file named " + utf8(r.entry) + " appeared; ";
        return wrong;
    }
    temp_folder source, out;
    std::map<std::string, std::string> before;
};

const std::vector<run> script_runs = {
    {L"notes.txt", {L"notes.txt"}},
    // Fullwidth digits are no digits: two entries.
    {L"page_１.txt", {L"page_１.txt"}},
    {L"page_２.txt", {L"page_２.txt"}},
    {L"Łódź_01-03.txt", {L"Łódź_01.txt", L"Łódź_02.txt", L"Łódź_03.txt"}},
    {L"Φωτογραφία_01-03.png", {L"Φωτογραφία_01.png", L"Φωτογραφία_02.png", L"Φωτογραφία_03.png"}},
    {L"Привет_01-03.jpg", {L"Привет_01.jpg", L"Привет_02.jpg", L"Привет_03.jpg"}},
    {L"写真_01-03.png", {L"写真_01.png", L"写真_02.png", L"写真_03.png"}},
    // A surrogate pair (U+1F39E) sorts by its units, before U+FF26; by code
    // point it would come last.
    {L"🎞_0001-0003.exr", {L"🎞_0001.exr", L"🎞_0002.exr", L"🎞_0003.exr"}},
    {L"ｆｕｌｌ_1-2.txt", {L"ｆｕｌｌ_1.txt", L"ｆｕｌｌ_2.txt"}},
};

}  // namespace

TEST_F(wide_e2e, runs_in_every_script_list_in_utf16_order_and_copy_out_under_their_own_names) {
    std::wstring folder = make_runs(L"scripts\\", script_runs);
    std::vector<WIN32_FIND_DATAW> records = the_plugin().records_w(plugin_path(folder));
    std::vector<std::wstring> names;
    for (const WIN32_FIND_DATAW& d : records) names.push_back(d.cFileName);
    std::string want;
    for (const run& r : script_runs) want += (want.empty() ? "" : " | ") + utf8(r.entry);
    ASSERT_EQ(joined(names), want);

    for (size_t i = 0; i < script_runs.size(); ++i) {
        const run& r = script_runs[i];
        const WIN32_FIND_DATAW& d = records[i + 2];
        size_t size = 0;
        for (const std::wstring& m : r.members) size += content_of(m).size();
        EXPECT_EQ(d.nFileSizeLow, size) << utf8(r.entry);
        EXPECT_EQ(d.nFileSizeHigh, 0u) << utf8(r.entry);
        EXPECT_EQ(d.ftLastWriteTime.dwLowDateTime, shot.dwLowDateTime) << utf8(r.entry);
        EXPECT_EQ(d.ftLastWriteTime.dwHighDateTime, shot.dwHighDateTime) << utf8(r.entry);

        plugin& p = the_plugin();
        p.wide_reports.clear();
        EXPECT_EQ(copied(folder, r, out.wpath), "") << utf8(r.entry);
        ASSERT_TRUE(told_done(p.wide_reports)) << percents(p.wide_reports) << utf8(r.entry);
        EXPECT_EQ(p.wide_reports[0].source, utf8(plugin_path(folder) + L"\\" + r.entry));
        EXPECT_EQ(p.wide_reports[1].target, utf8(out.wpath + r.entry));
    }
    EXPECT_EQ(percents(the_plugin().reports), "") << "a wide copy reports through the wide call-back only";
}

TEST_F(wide_e2e, one_handle_table_serves_both_sides) {
    std::wstring folder = make(L"both\\", {L"a.txt", L"b.txt", L"c.txt"});
    plugin& p = the_plugin();
    std::vector<char> narrow_path = host_buffer(plugin_path(to_ansi(folder)));
    std::vector<WCHAR> wide_path = host_buffer(plugin_path(folder));
    WIN32_FIND_DATAA a;
    WIN32_FIND_DATAW d;
    HANDLE narrow = p.FsFindFirst(narrow_path.data(), &a);
    HANDLE wide = p.FsFindFirstW(wide_path.data(), &d);
    ASSERT_NE(narrow, INVALID_HANDLE_VALUE);
    ASSERT_NE(wide, INVALID_HANDLE_VALUE);
    EXPECT_NE(narrow, wide);
    EXPECT_FALSE(p.FsFindNextW(narrow, &d)) << "a wide read of an 8-bit handle";
    EXPECT_FALSE(p.FsFindNext(wide, &a)) << "an 8-bit read of a wide handle";
    ASSERT_TRUE(p.FsFindNextW(wide, &d));
    EXPECT_EQ(utf8(d.cFileName), "..");
    ASSERT_TRUE(p.FsFindNext(narrow, &a));
    EXPECT_EQ(std::string(a.cFileName), "..");
    p.FsFindClose(wide);
    EXPECT_FALSE(p.FsFindNextW(wide, &d)) << "FsFindClose left the wide handle open";
    ASSERT_TRUE(p.FsFindNext(narrow, &a)) << "closing the wide handle closed the other";
    EXPECT_EQ(std::string(a.cFileName), "a.txt");
    p.FsFindClose(narrow);
    EXPECT_FALSE(p.FsFindNext(narrow, &a));

    std::vector<std::wstring> drives;
    for (const std::string& name : p.names("\\")) drives.push_back(from_ansi(name));
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(joined(p.names_w(L"\\"), 0), joined(drives, 0)) << "the drives, on both sides";
    EXPECT_EQ(joined(p.names_w(plugin_path(folder) + L"\\")), "a.txt | b.txt | c.txt") << "a trailing backslash";
}

TEST_F(wide_e2e, case_is_ignored_beyond_ansi_and_names_alike_in_ansi_stay_apart) {
    std::wstring mixed = make(L"mixed\\", {L"Снимок_01.jpg", L"снимок_02.jpg", L"ŁÓDŹ_1.txt", L"łódź_2.txt"});
    EXPECT_EQ(joined(the_plugin().names_w(plugin_path(mixed))), "łódź_1-2.txt | снимок_01-02.jpg");
    EXPECT_EQ(copied(mixed, {L"СНИМОК_01-02.JPG", {L"Снимок_01.jpg", L"снимок_02.jpg"}}, out.wpath), "")
        << "the entry is found with case ignored";

    // Each pair reads the same on the 8-bit side (??????_0N.jpg, ??_0N.png).
    std::wstring alike = make(L"alike\\", {L"Привет_01.jpg", L"Снимок_02.jpg", L"写真_01.png", L"照片_02.png"});
    std::vector<std::string> narrow = the_plugin().names(plugin_path(to_ansi(alike)));
    ASSERT_GE(narrow.size(), 3u);
    EXPECT_EQ(narrow[2], "??????_01-02.jpg") << "the 8-bit side no longer sees the two as alike";
    EXPECT_EQ(joined(the_plugin().names_w(plugin_path(alike))),
              "Привет_01.jpg | Снимок_02.jpg | 写真_01.png | 照片_02.png");
    std::wstring target = out.wpath + L"alike\\";
    make_folder(target);
    EXPECT_EQ(copied(alike, {L"Привет_01.jpg", {L"Привет_01.jpg"}}, target), "");
    EXPECT_FALSE(exists(target + L"Снимок_02.jpg")) << "copying one name brought the other";
}

TEST_F(wide_e2e, deep_folders_list_and_copy_out_and_in) {
    const run r = {L"Кадр_01-03.jpg", {L"Кадр_01.jpg", L"Кадр_02.jpg", L"Кадр_03.jpg"}};
    std::wstring shallow = make(L"shallow\\", r.members);
    for (size_t length : {300, 600, 1000}) {
        std::string label = "folder of " + std::to_string(length) + " units";
        std::wstring deep = deep_folder(source.wpath + L"d" + std::to_wstring(length) + L"\\", length);
        ASSERT_EQ(deep.size(), length + 1) << label;
        for (const std::wstring& m : r.members) write_file(deep + m, content_of(m), shot);
        before = snapshot(source.wpath);
        ASSERT_EQ(read_file(deep + r.members[0]), content_of(r.members[0])) << label << " could not be made";

        EXPECT_EQ(joined(the_plugin().names_w(plugin_path(deep))), utf8(r.entry)) << label;
        std::wstring target = out.wpath + std::to_wstring(length) + L"\\";
        make_folder(target);
        EXPECT_EQ(copied(deep, r, target), "") << "out of a " << label;

        std::wstring deep_target = deep_folder(out.wpath + L"t" + std::to_wstring(length) + L"\\", length);
        EXPECT_EQ(copied(shallow, r, deep_target), "") << "into a " << label;
    }
}

TEST_F(wide_e2e, paths_too_long_or_invalid_leave_the_record_and_a_good_one_clears_it) {
    std::wstring limit = deep_folder(source.wpath, 1022);
    write_file(limit + L"a1.txt", "1", shot);
    write_file(limit + L"a2.txt", "2", shot);
    std::wstring over = deep_folder(source.wpath, 1023);
    write_file(over + L"a1.txt", "1", shot);
    before = snapshot(source.wpath);
    ASSERT_EQ(plugin_path(limit).size(), 1023u);
    EXPECT_EQ(joined(the_plugin().names_w(plugin_path(limit))), "a1-2.txt") << "a path of 1023 units";

    std::wstring real = plugin_path(source.wpath);
    const std::wstring refused[] = {
        plugin_path(over),  // 1024 units, of a folder that exists
        L"", L"Z:\\tmp", real + L"\\*", real + L"\\a?", real + L"\\a<b", real + L"\\a>b",
        real + L"\\a|b", real + L"\\a\"b", real + L"\\a\tb", real + L"\\a\x1F" L"b",
    };
    unsigned char raw[16 + sizeof(WIN32_FIND_DATAW) + 16];
    auto* d = reinterpret_cast<WIN32_FIND_DATAW*>(raw + 16);
    for (const std::wstring& path : refused) {
        std::memset(raw, 0xAB, sizeof raw);
        std::vector<WCHAR> b = host_buffer(path);
        SetLastError(0);
        HANDLE h = the_plugin().FsFindFirstW(b.data(), d);
        DWORD error = GetLastError();
        std::string label = path.size() > 60 ? std::to_string(path.size()) + " units" : "'" + utf8(path) + "'";
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << label;
        if (h != INVALID_HANDLE_VALUE) the_plugin().FsFindClose(h);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << label;
        size_t changed = 0;
        for (unsigned char c : raw) changed += c != 0xAB;
        EXPECT_EQ(changed, 0u) << label << ": bytes of the record were written";
    }

    // A good listing: the whole 592-byte record is cleared, then "." written.
    std::memset(raw, 0xAB, sizeof raw);
    std::vector<WCHAR> b = host_buffer(real);
    HANDLE h = the_plugin().FsFindFirstW(b.data(), d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    the_plugin().FsFindClose(h);
    EXPECT_EQ(std::wstring(d->cFileName), L".");
    static_assert(sizeof(WIN32_FIND_DATAW) == 592, "the host's wide record");
    for (size_t i = 0; i < sizeof raw; ++i) {
        long offset = static_cast<long>(i) - 16;
        bool inside = offset >= 0 && offset < 592;
        if (!entry_field(offset, 4) && raw[i] != (inside ? 0 : 0xAB)) {
            ADD_FAILURE() << "offset " << offset << " holds " << int(raw[i]) << ", want " << (inside ? 0 : 0xAB);
            break;
        }
    }
}

TEST_F(wide_e2e, long_entry_names_arrive_cut_to_259_units_and_next_writes_only_its_fields) {
    // Members of 255 units (the longest a disk name may be) give an entry of 260.
    std::wstring stem(247, L'n');
    std::wstring folder = make(L"long\\", {stem + L"0001.txt", stem + L"0002.txt"});
    std::wstring entry = stem + L"0001-0002.txt";
    std::vector<WCHAR> b = host_buffer(plugin_path(folder));
    unsigned char raw[16 + sizeof(WIN32_FIND_DATAW) + 16];
    auto* d = reinterpret_cast<WIN32_FIND_DATAW*>(raw + 16);
    HANDLE h = the_plugin().FsFindFirstW(b.data(), d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names = {d->cFileName};
    for (;;) {
        std::memset(raw, 0xEE, sizeof raw);
        BOOL more = the_plugin().FsFindNextW(h, d);
        size_t name_end = 0;
        if (more) {
            while (name_end < 260 && d->cFileName[name_end]) ++name_end;
            names.push_back(std::wstring(d->cFileName, name_end));
        }
        for (size_t i = 0; i < sizeof raw; ++i) {
            long offset = static_cast<long>(i) - 16;
            if (!(more && entry_field(offset, 2 * static_cast<long>(name_end + 1))) && raw[i] != 0xEE) {
                ADD_FAILURE() << "entry " << names.size() << " (answer " << more << ") wrote offset " << offset;
                break;
            }
        }
        if (!more) break;
    }
    the_plugin().FsFindClose(h);
    ASSERT_EQ(names.size(), 3u) << joined(names, 0);
    EXPECT_EQ(names[2].size(), 259u);
    EXPECT_EQ(utf8(names[2]), utf8(entry.substr(0, 259)));
}

TEST_F(wide_e2e, prompt_names_a_unicode_member_as_listed) {
    std::wstring folder = make(L"prompt\\", {L"Привет_01.jpg", L"Привет_02.jpg"});
    write_file(out.wpath + L"привет_01.jpg", "older bytes", earlier);
    int result = -1;
    std::vector<std::string> texts;
    {
        window_answerer answers({"skip"});
        result = the_plugin().get_w(plugin_path(folder) + L"\\Привет_01-02.jpg", out.wpath + L"Привет_01-02.jpg");
        texts = answers.texts();
    }
    EXPECT_EQ(result, 0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Overwrite: привет_01.jpg\n          11 Byte, 02.01.2005 03:04:06\n\n"
                        "With file: Привет_01.jpg ?\n          " +
                            std::to_string(content_of(L"Привет_01.jpg").size()) + " Byte, 19.09.2006 09:34:18");
    EXPECT_EQ(read_file(out.wpath + L"привет_01.jpg"), "older bytes");
    EXPECT_EQ(read_file(out.wpath + L"Привет_02.jpg"), content_of(L"Привет_02.jpg"));
}

TEST_F(wide_e2e, list_file_is_ansi_when_every_name_fits_else_utf8_after_a_bom) {
    ASSERT_EQ(GetACP(), 1252u) << "the expected bytes below are those of code page 1252";
    std::wstring cyrillic = make(L"Снимки\\", {L"Привет_01.jpg", L"Привет_02.jpg"});
    std::wstring latin = make(L"Café\\", {L"café_1.txt", L"café_2.txt"});
    std::wstring ascii = make(L"plain\\", {L"IMG_0001.JPG", L"IMG_0002.JPG"});
    auto line = [](const std::string& name, const std::wstring& wide_name) {
        return name + "\t" + std::to_string(content_of(wide_name).size()) + "\t2006.9.19\t9:34.18\r\n";
    };
    const struct {
        std::wstring folder, entry;
        std::string want;
    } cases[] = {
        {cyrillic, L"Привет_01-02.jpg",
         "\xEF\xBB\xBF" + utf8(cyrillic) + "\r\n" + line("Привет_01.jpg", L"Привет_01.jpg") +
             line("Привет_02.jpg", L"Привет_02.jpg")},
        {latin, L"café_1-2.txt",
         source.path + "Caf\xE9\\\r\n" + line("caf\xE9_1.txt", L"café_1.txt") + line("caf\xE9_2.txt", L"café_2.txt")},
        {ascii, L"IMG_0001-0002.JPG",
         source.path + "plain\\\r\n" + line("IMG_0001.JPG", L"IMG_0001.JPG") + line("IMG_0002.JPG", L"IMG_0002.JPG")},
    };
    for (const auto& c : cases) {
        std::wstring local = out.wpath + c.entry;
        hold_ctrl(true);
        int result = the_plugin().get_w(plugin_path(c.folder) + L"\\" + c.entry, local);
        hold_ctrl(false);
        EXPECT_EQ(result, 0) << utf8(c.entry);
        EXPECT_EQ(read_file(local + L".lst"), c.want) << utf8(c.entry);
    }
    // The 8-bit side writes the all-ASCII list the same, byte for byte.
    hold_ctrl(true);
    EXPECT_EQ(the_plugin().get(plugin_path(to_ansi(ascii)) + "\\IMG_0001-0002.JPG", out.path + "narrow"), 0);
    hold_ctrl(false);
    EXPECT_EQ(read_file(out.path + "narrow.lst"), cases[2].want);
}

TEST_F(wide_e2e, progress_falls_back_to_the_other_sides_call_back) {
    std::wstring folder = make(L"Снимки\\", {L"Привет_01.jpg", L"Привет_02.jpg"});
    std::wstring plain = make(L"plain\\", {L"a1.txt", L"a2.txt"});
    plugin& p = the_plugin();
    std::wstring remote = plugin_path(folder) + L"\\Привет_01-02.jpg";
    p.set_progress(true, false);
    EXPECT_EQ(p.get_w(remote, out.wpath + L"Привет_01-02.jpg"), 0);
    ASSERT_TRUE(told_done(p.reports)) << percents(p.reports) << "only FsInit gave a call-back";
    // Fails: the plugin passes empty names to the 8-bit call-back when a name
    // has no ANSI form, where Windows' own 8-bit functions give '?'.
    EXPECT_EQ(p.reports[0].source, utf8(from_ansi(to_ansi(remote)))) << "the names in ANSI";
    EXPECT_EQ(p.reports[0].target, utf8(from_ansi(to_ansi(out.wpath + L"Привет_01-02.jpg"))));

    p.set_progress(false, true);
    std::string narrow_remote = to_ansi(plugin_path(plain)) + "\\a1-2.txt";
    EXPECT_EQ(p.get(narrow_remote, out.path + "a1-2.txt"), 0);
    ASSERT_TRUE(told_done(p.wide_reports)) << percents(p.wide_reports) << "only FsInitW gave a call-back";
    EXPECT_EQ(p.wide_reports[1].source, narrow_remote);
    EXPECT_EQ(read_file(out.path + "a2.txt"), "bytes of a2.txt");
}

TEST_F(wide_e2e, both_sides_list_random_ascii_folders_alike) {
    const FILETIME times[] = {shot, earlier, utc(2012, 2, 29, 23, 59, 58)};
    const char* const extensions[] = {".exr", ".dpx", ".jpg", ".JPG", ".txt"};
    std::mt19937 random(20061919);
    auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
    auto number = [&](int width) {
        std::string s = std::to_string(below(30) + (below(4) == 0 ? 90 : 0));
        return std::string(s.size() < static_cast<size_t>(width) ? width - s.size() : 0, '0') + s;
    };
    auto shaped_name = [&]() -> std::string {
        switch (below(7)) {
            case 0: return "frame" + number(4) + ".exr";
            case 1: {  // mixed case
                std::string s = "scan";
                for (char& c : s) c = below(2) ? static_cast<char>(c - 32) : c;
                return s + number(2) + ".png";
            }
            case 2: return "plate_" + number(5) + extensions[below(5)];  // interleaved extensions
            case 3: return "f" + number(0) + ".tif";                    // no padding: 9, 10, 99, 100
            case 4: return "take" + std::to_string(below(3)) + "_shot" + number(1) + ".wav";
            case 5: return "a" + std::to_string(below(3) + 1) + (below(2) ? "-2.txt" : ".txt");  // clashes
            default: return std::string(1, static_cast<char>('a' + below(26))) + "notes.txt";
        }
    };
    int entries_seen = 0, runs_seen = 0;
    for (int f = 0; f < 20; ++f) {
        std::wstring folder = source.wpath + L"r" + std::to_wstring(f) + L"\\";
        make_folder(folder);
        std::set<std::string> made, taken;  // taken upper-cased: the disk ignores case
        size_t count = 20 + below(181);
        while (taken.size() < count) {
            std::string name = shaped_name(), upper = name;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!taken.insert(upper).second) continue;
            made.insert(name);
            std::wstring path = folder + from_ansi(name);
            if (below(25) == 0) {
                make_folder(path);
                continue;
            }
            write_file(path, std::string(below(300), 'x'), times[below(3)]);
            if (below(12) == 0) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            if (below(15) == 0) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
        auto line = [](const std::wstring& name, const auto& d) {
            return utf8(name) + " " + std::to_string(d.nFileSizeHigh) + ":" + std::to_string(d.nFileSizeLow) + " " +
                   std::to_string(d.ftLastWriteTime.dwHighDateTime) + ":" +
                   std::to_string(d.ftLastWriteTime.dwLowDateTime) + " " + std::to_string(d.dwFileAttributes) + "\n";
        };
        std::string narrow, wide;
        for (const WIN32_FIND_DATAA& d : the_plugin().records(plugin_path(to_ansi(folder)))) {
            narrow += line(from_ansi(d.cFileName), d);
            runs_seen += !made.count(d.cFileName) && std::strcmp(d.cFileName, ".") && std::strcmp(d.cFileName, "..");
        }
        for (const WIN32_FIND_DATAW& d : the_plugin().records_w(plugin_path(folder))) {
            wide += line(d.cFileName, d);
            ++entries_seen;
        }
        EXPECT_EQ(wide, narrow) << "folder r" << f << " of " << count << " names";
    }
    before = snapshot(source.wpath);
    EXPECT_GT(runs_seen, 100) << "the random folders hold too few runs to compare";
    EXPECT_GT(entries_seen, 500);
}

TEST_F(wide_e2e, plugin_in_a_folder_of_non_ansi_name_reads_the_ini_beside_it) {
    std::wstring folder = make(L"ini\\", {L"a01.txt", L"a02.txt", L"Привет_01.jpg", L"Привет_02.jpg"});
    std::wstring home = out.wpath + L"плагин\\";
    make_folder(home);
    std::wstring copy = home + from_ansi(plugin_file.substr(plugin_file.find_last_of("\\/") + 1));
    ASSERT_TRUE(CopyFileW(from_ansi(plugin_file).c_str(), copy.c_str(), FALSE)) << GetLastError();
    write_file(home + L"tallyrun.ini", "[Options]\r\nseqpattern=%s..%s\r\n", shot);
    std::string ls = " \"" + utf8(copy) + "\" ls \"" + utf8(plugin_path(folder)) + "\"";
    DWORD status = 1;
    std::string text = run_host(ls, &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_NE(text.find("  a01..02.txt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Привет_01..02.jpg\n"), std::string::npos) << text;
    text = run_host("--ansi" + ls, &status);
    EXPECT_NE(text.find("  a01..02.txt\n"), std::string::npos) << "the 8-bit side: " << text;
    EXPECT_EQ(joined(the_plugin().names_w(plugin_path(folder))), "a01-02.txt | Привет_01-02.jpg")
        << "the plugin without that INI file";
}

TEST_F(wide_e2e, harness_lists_copies_and_answers_in_unicode) {
    // An ASCII folder, so that the 8-bit side can list it too.
    std::wstring folder = make(L"photos\\", {L"Привет_01.jpg", L"Привет_02.jpg"});
    make_folder(folder + L"день2");
    write_file(folder + L"день2\\写真_01.png", "one", shot);
    write_file(folder + L"день2\\写真_02.png", "two", shot);
    before = snapshot(source.wpath);
    std::string plugin_arg = "\"" + plugin_file + "\" ";
    std::string size = std::to_string(2 * content_of(L"Привет_01.jpg").size());

    DWORD status = 1;
    std::string text = run_host(plugin_arg + "ls \"" + utf8(plugin_path(folder)) + "\"", &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_NE(text.find(" " + size + "  2006-09-19 09:34:18  ----a  Привет_01-02.jpg\n"), std::string::npos) << text;
    EXPECT_NE(text.find("---d-  день2\n"), std::string::npos) << text;
    text = run_host("--ansi " + plugin_arg + "ls \"" + utf8(plugin_path(folder)) + "\"", &status);
    EXPECT_NE(text.find("  ??????_01-02.jpg\n"), std::string::npos) << "the 8-bit side: " << text;

    std::wstring target = out.wpath + L"дерево";
    text = run_host(plugin_arg + "copy \"" + utf8(plugin_path(folder)) + "\" \"" + utf8(target) + "\"", &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_EQ(read_file(target + L"\\photos\\Привет_02.jpg"), content_of(L"Привет_02.jpg")) << text;
    EXPECT_EQ(read_file(target + L"\\photos\\день2\\写真_02.png"), "two") << text;

    std::wstring remote = plugin_path(folder) + L"\\Привет_01-02.jpg", local = out.wpath + L"Привет_01-02.jpg";
    write_file(out.wpath + L"привет_01.jpg", "older bytes", earlier);
    text = run_host("--verbose --answer skip " + plugin_arg + "get \"" + utf8(remote) + "\" \"" + utf8(local) + "\"",
                    &status);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_NE(text.find("prompt (answer skip):\nOverwrite: привет_01.jpg\n"), std::string::npos) << text;
    EXPECT_NE(text.find("progress 100% (plugin 1): " + utf8(remote) + " -> " + utf8(local) + "\n"), std::string::npos)
        << text;
    EXPECT_EQ(read_file(out.wpath + L"привет_01.jpg"), "older bytes") << text;
}
