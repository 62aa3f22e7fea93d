// The Linux tallyrun.wfx loaded and called as Double Commander does it, with the host's records byte by byte.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/wide.h"
#include "tests/linux/posix_fixtures.h"
#include "tests/linux/scripted_host.h"

namespace {

using tallyrun::testing::exists;
using tallyrun::testing::read_bytes;
using tallyrun::testing::temp_folder;
using tallyrun::testing::write_bytes;

const char* plugin_file = nullptr;  // the .wfx under test, from the command line

// ---- the host's side: its records as offsets in bytes (Double Commander's Linux layout)

constexpr size_t find_record_size = 8264, name_at = 44, short_name_at = 8236;
constexpr size_t params_size = 4108, ini_name_at = 12;
constexpr size_t startup_size = 65588, conf_dir_at = 16388, message_box_at = 32780, dialog_lfm_at = 32788,
                 send_dlg_msg_at = 32812, version_api_at = 32836;

// Paths as the host passes them: its UTF-8 strings in UTF-16.
std::u16string utf16(const std::string& utf8) { return tallyrun::utf16_of(utf8); }

uint32_t u32_at(const std::vector<unsigned char>& r, size_t at) {
    uint32_t v;
    std::memcpy(&v, r.data() + at, 4);
    return v;
}

std::u16string name_in(const std::vector<unsigned char>& r) {
    std::u16string name;
    for (size_t at = name_at; at + 1 < short_name_at; at += 2) {
        const char16_t u = static_cast<char16_t>(r[at] | r[at + 1] << 8);
        if (!u) break;
        name += u;
    }
    return name;
}

struct host_entry {
    std::u16string name;
    uint32_t attributes;
    uint64_t size;
};

using tallyrun::testing::script;

std::vector<int> percents;  // the progress the host was told

int progress(int, char16_t*, char16_t*, int percent) {
    percents.push_back(percent);
    return 0;
}

// One loaded plugin module and the host's calls into it.
struct plugin_module {
    void* handle;
    explicit plugin_module(const std::string& file) : handle(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        EXPECT_TRUE(handle) << dlerror();
    }
    ~plugin_module() {
        if (handle) dlclose(handle);
    }
    template <typename F>
    F get(const char* name) const {
        return handle ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    }

    void set_default_params(const std::string& ini) const {
        std::vector<unsigned char> r(params_size, 0);
        const int32_t size = params_size, low = 0, high = 2;
        std::memcpy(r.data(), &size, 4);
        std::memcpy(r.data() + 4, &low, 4);
        std::memcpy(r.data() + 8, &high, 4);
        std::memcpy(r.data() + ini_name_at, ini.data(), ini.size());
        get<void (*)(void*)>("FsSetDefaultParams")(r.data());
    }
    // The record is the host's stack: it is gone (here: scribbled over) after the call.
    // version_api: what Double Commander 1.1.5 and later put after the calls (1.0 leaves it zero).
    void extension_initialize(const std::string& conf_dir, uintptr_t version_api = 0) const {
        std::vector<unsigned char> r(startup_size, 0);
        std::memcpy(r.data() + version_api_at, &version_api, sizeof version_api);
        const uint32_t size = startup_size;
        std::memcpy(r.data(), &size, 4);
        std::memcpy(r.data() + conf_dir_at, conf_dir.data(), conf_dir.size());
        const tallyrun::host_calls host = tallyrun::testing::scripted_calls();
        void* calls[] = {reinterpret_cast<void*>(host.MessageBox), reinterpret_cast<void*>(host.DialogBoxLFM),
                         reinterpret_cast<void*>(host.SendDlgMsg)};
        std::memcpy(r.data() + message_box_at, &calls[0], 8);
        std::memcpy(r.data() + dialog_lfm_at, &calls[1], 8);
        std::memcpy(r.data() + send_dlg_msg_at, &calls[2], 8);
        get<void (*)(void*)>("ExtensionInitialize")(r.data());
        std::memset(r.data(), 0xEE, r.size());
    }
    // Double Commander's start: the settings, the extension, FsInitW, then both again.
    void start(const std::string& ini, const std::string& conf_dir) const {
        set_default_params(ini);
        extension_initialize(conf_dir);
        get<int (*)(int, void*, void*, void*)>("FsInitW")(0, reinterpret_cast<void*>(progress), nullptr, nullptr);
        set_default_params(ini);
        extension_initialize(conf_dir);
    }

    // A folder as the host lists it; the host's record is never cleared between calls.
    std::vector<host_entry> list(const std::string& folder, std::vector<std::vector<unsigned char>>* records = nullptr) const {
        std::vector<host_entry> out;
        std::vector<unsigned char> r(find_record_size, 0xCC);
        const std::u16string path = utf16(folder);
        void* h = get<void* (*)(const char16_t*, void*)>("FsFindFirstW")(path.c_str(), r.data());
        if (h == reinterpret_cast<void*>(-1)) return out;
        do {
            out.push_back({name_in(r), u32_at(r, 0), uint64_t{u32_at(r, 28)} << 32 | u32_at(r, 32)});
            if (records) records->push_back(r);
            std::memset(r.data(), 0xCC, r.size());
        } while (get<int (*)(void*, void*)>("FsFindNextW")(h, r.data()));
        get<int (*)(void*)>("FsFindClose")(h);
        return out;
    }
    std::vector<std::u16string> names(const std::string& folder) const {
        std::vector<std::u16string> out;
        for (const host_entry& e : list(folder))
            if (e.name != u"." && e.name != u"..") out.push_back(e.name);
        std::sort(out.begin(), out.end());
        return out;
    }
    int get_file(const std::u16string& remote, const std::u16string& local, int flags = 0) const {
        unsigned char remote_info[20] = {};
        return get<int (*)(const char16_t*, const char16_t*, int, void*)>("FsGetFileW")(remote.c_str(), local.c_str(),
                                                                                        flags, remote_info);
    }
};

plugin_module& the_plugin() {
    static plugin_module loaded(plugin_file);
    return loaded;
}

// The sample folders: a run of five, a plain file, a hidden one, a folder, a name that is not UTF-8.
struct samples {
    temp_folder t;
    std::string src = t / "src", out = t / "out", conf = t / "conf/", ini = t / "dc/wfx.ini";
    samples() {
        for (int i = 1; i <= 5; ++i) write_bytes(src + "/IMG_000" + std::to_string(i) + ".JPG", std::string(100 * i, char('0' + i)));
        write_bytes(src + "/notes.txt", "notes");
        write_bytes(src + "/.hidden", "h");
        write_bytes(src + "/Bild\xE4_01.png", "latin one");
        mkdir((src + "/sub").c_str(), 0755);
        mkdir(out.c_str(), 0755);
        mkdir(conf.c_str(), 0755);
        mkdir((t / "dc").c_str(), 0755);
        script = tallyrun::testing::scripted_host{};
        percents.clear();
    }
    std::string member(int i) const { return "IMG_000" + std::to_string(i) + ".JPG"; }
    std::string snapshot() const {
        std::string all;
        for (const char* f : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG", "notes.txt",
                              ".hidden", "Bild\xE4_01.png"})
            all += std::string(f) + "=" + read_bytes(src + "/" + f) + ";";
        return all;
    }
};

TEST(wfx_exports, the_host_finds_the_wide_interface_and_no_8_bit_listing) {
    for (const char* name : {"FsInitW", "FsFindFirstW", "FsFindNextW", "FsFindClose", "FsGetFileW", "FsExecuteFileW",
                             "FsGetDefRootName", "FsSetDefaultParams", "ExtensionInitialize", "FsContentGetSupportedField",
                             "FsContentGetValueW", "FsContentGetSupportedFieldFlags", "FsContentGetDefaultView",
                             "FsContentPluginUnloading"})
        EXPECT_TRUE(the_plugin().get<void*>(name)) << name << " is exported";
    // With the 8-bit trio missing the host uses the wide functions alone.
    for (const char* name : {"FsInit", "FsFindFirst", "FsFindNext", "FsGetFile"})
        EXPECT_FALSE(the_plugin().get<void*>(name)) << name << " is not exported";
    char root[64] = {};
    the_plugin().get<int (*)(char*, int)>("FsGetDefRootName")(root, sizeof root);
    EXPECT_STREQ(root, "Tallyrun") << "asked before any FsInit, as the host's plugin settings do";
}

TEST(wfx_host, a_listing_fills_the_hosts_whole_record) {
    samples s;
    the_plugin().start(s.ini, s.conf);
    std::vector<std::vector<unsigned char>> records;
    const std::vector<host_entry> all = the_plugin().list(s.src, &records);
    std::vector<std::u16string> names;
    for (const host_entry& e : all) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u".hidden", u"Bild\xDCE4_01.png", u"IMG_0001-0005.JPG",
                                                   u"notes.txt", u"sub"}));
    for (size_t i = 0; i < all.size(); ++i) {
        const std::vector<unsigned char>& r = records[i];
        EXPECT_EQ(u32_at(r, 36) | u32_at(r, 40), 0u) << "reserved fields of " << i;
        for (size_t at = short_name_at; at < find_record_size; ++at)
            ASSERT_EQ(r[at], 0) << "cAlternateFileName is written too (entry " << i << ", byte " << at << ")";
        const size_t end = name_at + 2 * all[i].name.size();
        EXPECT_EQ(r[end] | r[end + 1], 0) << "the name ends with a zero unit";
        EXPECT_NE(u32_at(r, 24), 0xCCCCCCCCu) << "the time is written";
        if (all[i].name == u"IMG_0001-0005.JPG") {
            EXPECT_EQ(all[i].size, 1500u) << "the members' total";
            EXPECT_EQ(all[i].attributes, 0x20u);
        }
        if (all[i].name == u".hidden") {
            EXPECT_EQ(all[i].attributes & 2u, 2u) << "a dot name is hidden";
        }
        if (all[i].name == u"sub") {
            EXPECT_EQ(all[i].attributes, 0x10u);
        }
    }
    const std::vector<std::u16string> root = the_plugin().names("/");
    EXPECT_TRUE(std::count(root.begin(), root.end(), u"tmp")) << "the plugin's root is the real root folder";
    EXPECT_TRUE(the_plugin().list(s.t / "missing").empty());
}

TEST(wfx_host, a_run_copies_out_every_member_and_the_prompt_answers_as_on_windows) {
    samples s;
    const std::string before = s.snapshot();
    the_plugin().start(s.ini, s.conf);
    const std::u16string remote = utf16(s.src + "/IMG_0001-0005.JPG"), local = utf16(s.out + "/IMG_0001-0005.JPG");
    EXPECT_EQ(the_plugin().get_file(remote, local), 0);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(read_bytes(s.out + "/" + s.member(i)), read_bytes(s.src + "/" + s.member(i))) << s.member(i);
    EXPECT_FALSE(exists(s.out + "/IMG_0001-0005.JPG")) << "the entry's own name is no file";
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(script.forms.empty()) << "no target existed: nothing asked";

    for (int i = 1; i <= 5; ++i) write_bytes(s.out + "/" + s.member(i), "old");
    script.clicks = {""};  // the close box
    EXPECT_EQ(the_plugin().get_file(remote, local), 5) << "cancelled: FS_FILE_USERABORT";
    script.clicks = {"Item6"};  // S&kip all
    EXPECT_EQ(the_plugin().get_file(remote, local), 0);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(read_bytes(s.out + "/" + s.member(i)), "old") << "skipped " << s.member(i);
    script.clicks = {"Item2"};  // Overwrite &all
    EXPECT_EQ(the_plugin().get_file(remote, local), 0);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(read_bytes(s.out + "/" + s.member(i)), read_bytes(s.src + "/" + s.member(i))) << "overwritten " << s.member(i);
    EXPECT_EQ(script.forms.size(), 3u) << "one prompt each time, the answers held for the rest of the entry";
    ASSERT_FALSE(script.forms.empty());
    EXPECT_NE(script.forms[0].find("Caption = 'S&kip all'"), std::string::npos) << script.forms[0];

    EXPECT_EQ(the_plugin().get_file(remote, local, 4), 6) << "a move is refused: nothing is ever deleted";
    EXPECT_EQ(the_plugin().get_file(utf16(s.src) + u"/Bild\xDCE4_01.png", utf16(s.out) + u"/Bild\xDCE4_01.png"), 0);
    EXPECT_EQ(read_bytes(s.out + "/Bild\xE4_01.png"), "latin one") << "a name that is not UTF-8 copies by its own bytes";
    EXPECT_EQ(s.snapshot(), before) << "the source folder never changes";
}

TEST(wfx_host, tallyrun_ini_is_found_in_the_configuration_folder_then_the_ini_folder_then_beside_the_plugin) {
    samples s;
    const std::string ini_folder = s.t / "dc/";
    const std::string beside = s.t / "beside/";
    write_bytes(beside + "tallyrun.wfx", read_bytes(plugin_file));
    write_bytes(beside + "tallyrun.ini", "[Options]\nseqpattern=%s~%s\n");
    plugin_module copy(beside + "tallyrun.wfx");
    ASSERT_TRUE(copy.handle);
    copy.start(s.ini, s.conf);
    auto run_name = [&] {
        for (const std::u16string& n : copy.names(s.src))
            if (n.rfind(u"IMG_", 0) == 0) return n;
        return std::u16string();
    };
    EXPECT_EQ(run_name(), u"IMG_0001~0005.JPG") << "beside the plugin";
    write_bytes(ini_folder + "tallyrun.ini", "[Options]\nseqpattern=%s..%s\n");
    EXPECT_EQ(run_name(), u"IMG_0001..0005.JPG") << "the INI folder comes first";
    write_bytes(s.conf + "tallyrun.ini", "[Options]\nseqpattern=%s_to_%s\n");
    EXPECT_EQ(run_name(), u"IMG_0001_to_0005.JPG") << "the configuration folder comes before both";
    EXPECT_TRUE(script.boxes.empty());

    write_bytes(s.conf + "tallyrun.ini", "[Options]\nseqpattern=%d\n");
    EXPECT_EQ(run_name(), u"IMG_0001-0005.JPG") << "a bad value falls back to the default";
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0], "Tallyrun|Error in file '" + s.conf + "tallyrun.ini' :\nSection 'Options' : Key "
                             "'seqpattern' cannot take value '%d'.|48")
        << "the message of the Windows build, through the host's MessageBox";
}

TEST(wfx_host, open_runs_the_viewer_on_a_runs_first_member_and_columns_count_members) {
    samples s;
    the_plugin().start(s.ini, s.conf);
    write_bytes(s.t / "bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + s.t / "opened" + "'\n");
    chmod((s.t / "bin/xdg-open").c_str(), 0755);
    const std::string path = getenv("PATH");
    setenv("PATH", (s.t / "bin:" + path).c_str(), 1);
    const std::u16string run = utf16(s.src + "/IMG_0001-0005.JPG");
    std::vector<char16_t> remote(4096, 0);
    std::copy(run.begin(), run.end(), remote.begin());
    EXPECT_EQ(the_plugin().get<int (*)(void*, char16_t*, const char16_t*)>("FsExecuteFileW")(nullptr, remote.data(), u"open"),
              0);
    for (int i = 0; i < 100 && read_bytes(s.t / "opened").empty(); ++i) usleep(50000);
    EXPECT_EQ(read_bytes(s.t / "opened"), s.src + "/IMG_0001.JPG");
    setenv("PATH", path.c_str(), 1);

    char field[64] = {}, units[64] = {};
    EXPECT_EQ(the_plugin().get<int (*)(int, char*, char*, int)>("FsContentGetSupportedField")(0, field, units, 64), 1);
    EXPECT_STREQ(field, "Members");
    int32_t members = 0;
    EXPECT_EQ(the_plugin().get<int (*)(const char16_t*, int, int, void*, int, int)>("FsContentGetValueW")(
                  run.c_str(), 0, 0, &members, 2049, 0),
              1);
    EXPECT_EQ(members, 5);
}

// ---- real folders: members of many times, local names, links

// The FILETIME of a time_t, as the host's record holds it.
uint64_t file_time_of(time_t t) { return (static_cast<uint64_t>(t) + 11644473600ull) * 10000000ull; }

void set_mtime(const std::string& path, time_t t) {
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

time_t local_time_t(int year, int month, int day, int hour, int minute, int second) {
    struct tm parts {};
    parts.tm_year = year - 1900, parts.tm_mon = month - 1, parts.tm_mday = day;
    parts.tm_hour = hour, parts.tm_min = minute, parts.tm_sec = second, parts.tm_isdst = -1;
    return mktime(&parts);
}

TEST(wfx_real_folders, entries_show_times_the_host_can_hold_and_copy) {
    samples s;
    const std::string shoot = s.t / "shoot";
    const time_t first = local_time_t(2026, 12, 1, 10, 1, 0);
    for (int i = 1; i <= 6; ++i) {
        write_bytes(shoot + "/SHOT_000" + std::to_string(i) + ".JPG", std::string(1024, char('a' + i)));
        set_mtime(shoot + "/SHOT_000" + std::to_string(i) + ".JPG", first + 60 * (i - 1));  // a minute apart
    }
    for (int i = 1; i <= 2; ++i) {
        write_bytes(shoot + "/same_0" + std::to_string(i) + ".txt", "s");
        set_mtime(shoot + "/same_0" + std::to_string(i) + ".txt", first);
    }
    write_bytes(shoot + "/epoch.txt", "1970");
    set_mtime(shoot + "/epoch.txt", 10);
    write_bytes(shoot + "/far.txt", "2200");
    set_mtime(shoot + "/far.txt", local_time_t(2200, 1, 1, 0, 0, 0));
    the_plugin().start(s.ini, s.conf);
    std::vector<std::vector<unsigned char>> records;
    const std::vector<host_entry> all = the_plugin().list(shoot, &records);
    struct shown_case {
        std::u16string name;
        time_t expected;
        const char* why;
    } cases[] = {
        {u"SHOT_0001-0006.JPG", first + 300, "a run of many times: its newest member's"},
        {u"same_01-02.txt", first, "a run of one time: that time"},
        {u"epoch.txt", local_time_t(1980, 1, 1, 0, 0, 0), "before 1980: the earliest a listing holds"},
        {u"far.txt", local_time_t(2107, 12, 31, 23, 59, 58), "after 2107: the latest a listing holds"},
    };
    for (const shown_case& c : cases) {
        auto at = std::find_if(all.begin(), all.end(), [&](const host_entry& e) { return e.name == c.name; });
        ASSERT_NE(at, all.end()) << tallyrun::utf8_of(c.name) << " is listed";
        const std::vector<unsigned char>& r = records[static_cast<size_t>(at - all.begin())];
        EXPECT_EQ(uint64_t{u32_at(r, 24)} << 32 | u32_at(r, 20), file_time_of(c.expected)) << c.why;
    }
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_NE(u32_at(records[i], 24), 0xFFFFFFFFu) << "never the no-time marker: " << tallyrun::utf8_of(all[i].name);

    // F5 copies the shoot byte for byte; the prompt tells the member's own time, not the run's.
    write_bytes(s.out + "/SHOT_0001.JPG", "old");
    script.clicks = {"Item1"};  // &Overwrite
    EXPECT_EQ(the_plugin().get_file(utf16(shoot + "/SHOT_0001-0006.JPG"), utf16(s.out + "/SHOT_0001-0006.JPG")), 0);
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "/SHOT_000" + std::to_string(i) + ".JPG";
        EXPECT_EQ(read_bytes(s.out + name), read_bytes(shoot + name)) << name;
        struct stat st;
        ASSERT_EQ(stat((s.out + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, first + 60 * (i - 1)) << name << " keeps its own time";
    }
    ASSERT_EQ(script.forms.size(), 1u);
    char when[32];
    const time_t member_time = first;
    strftime(when, sizeof when, "%d.%m.%Y %H:%M:%S", localtime(&member_time));
    EXPECT_NE(script.forms[0].find(std::string("1024 Byte, ") + when), std::string::npos) << script.forms[0];
}

TEST(wfx_real_folders, local_names_are_the_real_files_of_files_only) {
    samples s;
    the_plugin().start(s.ini, s.conf);
    ASSERT_TRUE(the_plugin().get<int (*)()>("FsLinksToLocalFiles"));
    EXPECT_EQ(the_plugin().get<int (*)()>("FsLinksToLocalFiles")(), 1) << "exactly 1: the host reads one byte";
    auto local_name = the_plugin().get<int (*)(char16_t*, int)>("FsGetLocalNameW");
    ASSERT_TRUE(local_name);
    // A deep folder whose file's path takes most of the host's 4096 units.
    std::string deep = s.t.path;
    while (deep.size() < 3800) deep += "/" + std::string(200, 'd');
    write_bytes(deep + "/deep_01.tif", "1");
    write_bytes(deep + "/deep_02.tif", "2");
    struct local_case {
        std::string remote;
        int max_length;
        std::string expected;  // empty: false, the buffer unchanged
    } cases[] = {
        {s.src + "/IMG_0001-0005.JPG", 4096, s.src + "/IMG_0001.JPG"},
        {s.src + "/notes.txt", 4096, s.src + "/notes.txt"},
        {s.src + "/sub", 4096, ""},
        {s.src, 4096, ""},
        {"/", 4096, ""},
        {s.src + "/missing.txt", 4096, ""},
        {deep + "/deep_01-02.tif", 4096, deep + "/deep_01.tif"},
        {s.src + "/IMG_0001-0005.JPG", static_cast<int>((s.src + "/IMG_0001.JPG").size()), ""},  // no room for the zero
        {s.src + "/IMG_0001-0005.JPG", static_cast<int>((s.src + "/IMG_0001.JPG").size()) + 1, s.src + "/IMG_0001.JPG"},
    };
    for (const local_case& c : cases) {
        std::vector<char16_t> buffer(4096, u'#');
        const std::u16string remote = utf16(c.remote);
        std::copy(remote.begin(), remote.end(), buffer.begin());
        buffer[remote.size()] = 0;
        const std::vector<char16_t> before = buffer;
        const int answer = local_name(buffer.data(), c.max_length);
        if (c.expected.empty()) {
            EXPECT_EQ(answer, 0) << c.remote.substr(0, 80) << " (" << c.max_length << ")";
            EXPECT_TRUE(buffer == before) << "the buffer is unchanged: " << c.remote.substr(0, 80);
        } else {
            EXPECT_EQ(answer, 1) << c.remote.substr(0, 80);
            EXPECT_EQ(tallyrun::utf8_of(std::u16string(buffer.data())), c.expected);
            EXPECT_TRUE(std::equal(buffer.begin() + c.max_length, buffer.end(), before.begin() + c.max_length))
                << "nothing written beyond max_length";
        }
    }
}

TEST(wfx_real_folders, a_link_that_names_no_file_is_an_entry_of_its_own) {
    samples s;
    const std::string renders = s.t / "renders";
    for (int i : {1, 2, 3, 4, 6, 7, 8}) write_bytes(renders + "/f_0" + std::to_string(i) + ".exr", std::string(10, char('0' + i)));
    ASSERT_EQ(symlink("/nonexistent/frame", (renders + "/f_05.exr").c_str()), 0);
    ASSERT_EQ(symlink((renders + "/f_01.exr").c_str(), (renders + "/f_09.exr").c_str()), 0);
    the_plugin().start(s.ini, s.conf);
    std::vector<std::u16string> names;
    uint64_t tail_size = 0;
    for (const host_entry& e : the_plugin().list(renders)) {
        if (e.name == u"." || e.name == u"..") continue;
        names.push_back(e.name);
        if (e.name == u"f_06-09.exr") tail_size = e.size;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"f_01-04.exr", u"f_05.exr", u"f_06-09.exr"}));
    EXPECT_EQ(tail_size, 40u) << "a link to a file is a member of its target's size";
    EXPECT_EQ(the_plugin().get_file(utf16(renders + "/f_06-09.exr"), utf16(s.out + "/f_06-09.exr")), 0);
    EXPECT_EQ(read_bytes(s.out + "/f_09.exr"), std::string(10, '1')) << "with its target's content";
    EXPECT_EQ(the_plugin().get_file(utf16(renders + "/f_05.exr"), utf16(s.out + "/f_05.exr")), 2) << "not found";
    EXPECT_FALSE(exists(s.out + "/f_05.exr"));
}

TEST(wfx_background, only_a_host_whose_dialogs_work_from_any_thread_is_offered_background_copies) {
    samples s;
    auto flags = the_plugin().get<int (*)()>("FsGetBackgroundFlags");
    ASSERT_TRUE(flags);
    const struct {
        uintptr_t version_api;
        int expected;
        const char* host;
    } cases[] = {{0, 0, "Double Commander 1.0"}, {4, 0, "1.1, which builds forms on the calling thread"},
                 {5, 1, "1.2.0, which builds them on its main thread"}, {6, 1, "a later one"}};
    for (const auto& c : cases) {
        the_plugin().start(s.ini, s.conf);
        the_plugin().extension_initialize(s.conf, c.version_api);
        EXPECT_EQ(flags(), c.expected) << c.host;
    }
    the_plugin().start(s.ini, s.conf);
    EXPECT_EQ(flags(), 0) << "back to a 1.0 host";
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyrun_wfx_tests PLUGIN.wfx\n");
        return 2;
    }
    plugin_file = argv[1];
    return RUN_ALL_TESTS();
}
