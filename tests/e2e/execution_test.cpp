// The real DLL under Wine: Enter and properties through the real shell, thumbnail paths, the columns.
#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "e2e/e2e.h"
#include "plugin/sample_ini.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);

bool read_default(HKEY root, const std::wstring& key, std::wstring& value) {
    WCHAR text[1024];
    DWORD size = sizeof text;
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return false;
    value = text;
    return true;
}

bool key_exists(HKEY root, const std::wstring& key) {
    HKEY h;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// A key's default value for the scope, put back as it was at its end: the
// keys made for it go whole, a value it replaced comes back.
struct registry_default {
    registry_default(HKEY root, const std::wstring& key, const std::wstring& value) : root_(root), key_(key) {
        for (size_t at = 0;; ++at) {
            at = key.find(L'\\', at);
            const std::wstring prefix = key.substr(0, at);
            if (!key_exists(root, prefix)) {
                made_ = prefix;
                break;
            }
            if (at == std::wstring::npos) break;
        }
        had_value_ = made_.empty() && read_default(root, key, old_);
        set(value);
    }
    ~registry_default() {
        if (!made_.empty())
            RegDeleteTreeW(root_, made_.c_str());
        else if (had_value_)
            set(old_);
        else
            RegDeleteKeyValueW(root_, key_.c_str(), nullptr);
    }
    void set(const std::wstring& value) {
        HKEY h;
        if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(h);
    }
    HKEY root_;
    std::wstring key_, made_, old_;
    bool had_value_ = false;
};

// The program the shell starts for the verbs of a file type, for the scope.
// Written where Windows reads a user's own types, HKCU\Software\Classes; Wine
// 8 does not show those in HKEY_CLASSES_ROOT, so where the type does not show
// there, it goes into HKLM\Software\Classes too.
struct shell_handler {
    shell_handler(const std::wstring& extension, const std::vector<std::pair<std::wstring, std::wstring>>& verbs) {
        const std::wstring type = L"tallyrun.e2e" + extension;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            keys_.emplace_back(new registry_default(root, L"Software\\Classes\\" + extension, type));
            for (const auto& v : verbs)
                keys_.emplace_back(new registry_default(
                    root, L"Software\\Classes\\" + type + L"\\shell\\" + v.first + L"\\command", v.second));
            std::wstring seen;
            if (read_default(HKEY_CLASSES_ROOT, extension, seen) && seen == type) break;
        }
    }
    ~shell_handler() {
        while (!keys_.empty()) keys_.pop_back();  // the last written goes first
    }
    std::vector<std::unique_ptr<registry_default>> keys_;
};

// File types belong to the whole Wine prefix: test processes that share it
// (both widths at once, say) take turns at changing them.
struct file_types_turn {
    file_types_turn() : mutex_(CreateMutexW(nullptr, FALSE, L"tallyrun-e2e-file-types")) {
        if (mutex_) WaitForSingleObject(mutex_, 60000);
    }
    ~file_types_turn() {
        if (!mutex_) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    HANDLE mutex_;
};

std::wstring full_path(const std::string& path) {
    WCHAR full[MAX_PATH];
    GetFullPathNameW(from_ansi(path).c_str(), MAX_PATH, full, nullptr);
    return full;
}

// The harness as a file type's handler: it writes "VERB PATH" into log.
std::wstring recorder(const std::string& log, const std::wstring& verb) {
    return L"\"" + full_path(host_exe) + L"\" --record \"" + from_ansi(log) + L"\" " + verb + L" \"%1\"";
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The programs the shell started run on their own: the log's lines once it
// holds count of them, or what it holds after 10 s.
std::vector<std::string> launched(const std::string& log, size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i) {
        std::string text = read_file(log);
        lines = text == "<missing>" ? std::vector<std::string>() : lines_of(text);
        if (lines.size() >= count) break;
        Sleep(50);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

struct execution_e2e : testing::Test {
    void SetUp() override {
        plugin& p = the_plugin();
        ASSERT_NE(p.module, nullptr) << "cannot load " << plugin_file;
        ASSERT_TRUE(p.FsExecuteFile && p.FsExecuteFileW && p.FsGetPreviewBitmap && p.FsGetPreviewBitmapW &&
                    p.FsContentGetSupportedField && p.FsContentGetValue && p.FsContentGetValueW &&
                    p.FsContentGetDefaultView)
            << "an entry point is missing";
        // The file manager calls the plugin on its main thread, where COM is started.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (const char* n : {"0001", "0002", "0003", "0004", "0005", "0007", "0008", "0009", "0010"})
            write_file(source.path + "shotA_" + n + ".trshot", std::string("frame ") + n, shot);
        for (const char* n : {"01", "02", "07"}) write_file(source.path + "shotC_" + n + ".trshot", n, shot);
        write_file(source.path + "notes.trnone", "no program opens this type", shot);
        CreateDirectoryA((source.path + "sub").c_str(), nullptr);
        before = snapshot(source.path);
    }
    void TearDown() override {
        handlers.clear();
        turn.reset();
        CoUninitialize();
        EXPECT_EQ(snapshot(source.path), before) << "the source folder changed";
    }
    // The recorder as the program of .trshot files ("open" and "properties") and of .ini files.
    void register_recorder() {
        turn.reset(new file_types_turn);
        handlers.emplace_back(new shell_handler(
            L".trshot", {{L"open", recorder(log, L"open")}, {L"properties", recorder(log, L"properties")}}));
        handlers.emplace_back(new shell_handler(L".ini", {{L"open", recorder(log, L"open")}}));
    }
    std::string entry(const std::string& name) const { return plugin_path(source.path) + "\\" + name; }
    int execute(const std::string& remote, const std::string& verb) {
        std::vector<char> r = host_buffer(remote), v = host_buffer(verb);
        const std::vector<char> was = r;
        int answer = the_plugin().FsExecuteFile(nullptr, r.data(), v.data());
        EXPECT_EQ(std::string(r.data()), std::string(was.data())) << "the name was changed";
        return answer;
    }
    int execute_w(const std::string& remote, const std::string& verb) {
        std::vector<WCHAR> r = host_buffer(from_ansi(remote)), v = host_buffer(from_ansi(verb));
        return the_plugin().FsExecuteFileW(nullptr, r.data(), v.data());
    }
    temp_folder source, logs;
    std::string log = logs.path + "launched.log";
    std::unique_ptr<file_types_turn> turn;
    std::vector<std::unique_ptr<shell_handler>> handlers;
    std::map<std::string, std::string> before;
};

// FsContentGetValue(W) of one field: the answer, and the value as text
// (a number in decimal, a string as it is).
struct field_value {
    int answer;
    std::string text;
};

template <typename C>
field_value value_of(const std::basic_string<C>& remote, int field) {
    alignas(8) char value[256];
    std::memset(value, 0x5A, sizeof value);
    std::vector<C> r = host_buffer(remote);
    int answer;
    if constexpr (sizeof(C) == 1)
        answer = the_plugin().FsContentGetValue(r.data(), field, 0, value, sizeof value, 0);
    else
        answer = the_plugin().FsContentGetValueW(r.data(), field, 0, value, sizeof value, 0);
    if (answer == 1) {
        int32_t n;
        std::memcpy(&n, value, sizeof n);
        return {answer, std::to_string(n)};
    }
    if (answer == 8) return {answer, std::string(value, strnlen(value, sizeof value))};
    return {answer, ""};
}

// The four columns of an entry: "answer:text" each, joined by " | ".
template <typename C>
std::string columns(const std::basic_string<C>& remote) {
    std::string s;
    for (int field = 0; field < 4; ++field) {
        field_value v = value_of(remote, field);
        s += (field ? " | " : "") + std::to_string(v.answer) + ":" + v.text;
    }
    return s;
}

}  // namespace

TEST_F(execution_e2e, enter_opens_a_runs_real_first_member_in_place) {
    register_recorder();
    EXPECT_EQ(execute_w(entry("shotA_0001-0005.trshot"), "open"), 0);
    EXPECT_EQ(execute(entry("shotA_0007-0010.trshot"), "open"), 0);
    EXPECT_EQ(execute(entry("SHOTC_01-02.TRSHOT"), "open"), 0) << "case ignored";
    const std::vector<std::string> got = launched(log, 3);
    EXPECT_EQ(joined(got), "open " + source.path + "shotA_0001.trshot\n" + "open " + source.path +
                               "shotA_0007.trshot\n" + "open " + source.path + "shotC_01.trshot\n");
    // Opened where it is: no copy of it anywhere in the temporary folder.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_FALSE(exists(std::string(temp) + "shotA_0001.trshot"));
    EXPECT_FALSE(exists(std::string(temp) + "shotA_0001-0005.trshot"));
}

TEST_F(execution_e2e, verbs_that_start_nothing) {
    register_recorder();
    const struct {
        std::string remote, verb;
        int answer;
    } cases[] = {
        {entry("sub"), "open", -1},
        {"\\", "open", -1},
        {"\\C:", "open", -1},
        {entry("shotA_0001-0009.trshot"), "open", 1},
        {entry("notes.trnone"), "open", 1},  // no program for the type: the shell fails
        {entry("shotA_0001-0005.trshot"), "chmod 755", 1},
        {entry("shotA_0001-0005.trshot"), "quote SITE x", 1},
        {entry("shotA_0001-0005.trshot"), "MODE I", 0},
        // Wine 8's ShellExecuteEx has no property sheet: "properties" with
        // SEE_MASK_INVOKEIDLIST fails (ERROR_INVALID_PARAMETER) even though
        // the type has a "properties" verb, which it rightly does not run.
        {entry("shotA_0001-0005.trshot"), "properties", 1},
        {entry("sub"), "properties", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execute(c.remote, c.verb), c.answer) << c.remote << " " << c.verb;
        EXPECT_EQ(execute_w(c.remote, c.verb), c.answer) << c.remote << " " << c.verb << " (wide)";
    }
    // One launch to wait for: everything before it started nothing.
    EXPECT_EQ(execute(entry("shotA_0007-0010.trshot"), "open"), 0);
    EXPECT_EQ(joined(launched(log, 1)), "open " + source.path + "shotA_0007.trshot\n");
    Sleep(300);
    EXPECT_EQ(joined(launched(log, 1)), "open " + source.path + "shotA_0007.trshot\n");
}

TEST_F(execution_e2e, properties_on_the_root_writes_the_sample_ini_once_and_opens_it) {
    register_recorder();
    temp_folder config;
    plugin& p = the_plugin();
    p.set_ini_folder(config.path);
    const std::string ini = config.path + "tallyrun.ini";
    EXPECT_EQ(execute_w("\\", "properties"), 0);
    EXPECT_EQ(joined(launched(log, 1)), "open " + ini + "\n");
    EXPECT_EQ(read_file(ini), tallyrun::sample_ini) << "the release's commented sample";
    // Every line of the sample is a comment or its section: the defaults apply, no message.
    std::vector<std::string> texts, names;
    {
        window_answerer answers({"ok"});
        names = p.names(plugin_path(source.path));
        texts = answers.texts();
    }
    EXPECT_TRUE(texts.empty()) << texts[0];
    EXPECT_NE(std::find(names.begin(), names.end(), "shotA_0001-0005.trshot"), names.end());
    // An existing file is opened as it is.
    write_file(ini, "[Options]\r\nseqpattern=%s..%s\r\n", shot);
    EXPECT_EQ(execute("\\", "properties"), 0);
    EXPECT_EQ(joined(launched(log, 2)), "open " + ini + "\n" + "open " + ini + "\n");
    EXPECT_EQ(read_file(ini), "[Options]\r\nseqpattern=%s..%s\r\n");
    static temp_folder clean;
    p.set_ini_folder(clean.path);
}

TEST_F(execution_e2e, thumbnail_names_the_real_file_and_stays_within_260_units) {
    // A member whose full path is length units long, in a folder of its own.
    auto member_of_length = [&](size_t length) {
        const std::wstring member = L"shotB_0001.trshot";
        const std::wstring folder = source.wpath + std::wstring(length - source.wpath.size() - member.size() - 1, L'p');
        make_folder(folder);
        write_file(folder + L"\\" + member, "b1", shot);
        write_file(folder + L"\\shotB_0002.trshot", "b2", shot);
        return folder;
    };
    const std::wstring fits = member_of_length(259), too_long = member_of_length(260);
    before = snapshot(source.path);
    // Wide side: the name in a buffer of its own length or 260 units, then guard units.
    auto preview_w = [](const std::wstring& remote, std::wstring& written, bool& beyond_kept) {
        std::vector<WCHAR> b(remote.begin(), remote.end());
        b.resize(std::max<size_t>(remote.size() + 1, 260), 0);
        b.resize(b.size() + 8, 0x5A5A);
        const std::vector<WCHAR> was = b;
        int answer = the_plugin().FsGetPreviewBitmapW(b.data(), 96, 96, nullptr);
        written = b.data();
        beyond_kept = std::equal(b.begin() + 260, b.end(), was.begin() + 260);
        return answer;
    };
    std::wstring written;
    bool kept = false;
    EXPECT_EQ(preview_w(plugin_path(fits) + L"\\shotB_0001-0002.trshot", written, kept), 258);
    EXPECT_EQ(utf8(written), utf8(fits + L"\\shotB_0001.trshot"));
    EXPECT_EQ(written.size(), 259u);
    EXPECT_TRUE(kept) << "a unit past the 260 was written";
    const std::wstring long_remote = plugin_path(too_long) + L"\\shotB_0001-0002.trshot";
    EXPECT_EQ(preview_w(long_remote, written, kept), 0) << "260 units and the zero do not fit";
    EXPECT_EQ(utf8(written), utf8(long_remote)) << "nothing written";
    EXPECT_TRUE(kept);
    EXPECT_EQ(preview_w(plugin_path(source.wpath) + L"\\notes.trnone", written, kept), 258);
    EXPECT_EQ(utf8(written), utf8(source.wpath + L"notes.trnone"));

    // 8-bit side: the host's MAX_PATH bytes, then guard bytes.
    auto preview = [](const std::string& remote, std::string& written) {
        std::vector<char> b = host_buffer(remote);
        b.resize(MAX_PATH + 8, 0x5A);
        const std::vector<char> was = b;
        int answer = the_plugin().FsGetPreviewBitmap(b.data(), 96, 96, nullptr);
        written = b.data();
        EXPECT_TRUE(std::equal(b.begin() + MAX_PATH, b.end(), was.begin() + MAX_PATH)) << remote;
        return answer;
    };
    std::string narrow;
    EXPECT_EQ(preview(entry("shotA_0001-0005.trshot"), narrow), 258);
    EXPECT_EQ(narrow, source.path + "shotA_0001.trshot");
    EXPECT_EQ(preview(entry("sub"), narrow), 0) << "a folder";
    EXPECT_EQ(narrow, entry("sub"));
    EXPECT_EQ(preview(entry("gone.trshot"), narrow), 0);
}

TEST_F(execution_e2e, columns_of_a_folder_with_gaps) {
    plugin& p = the_plugin();
    std::string fields;
    for (int i = 0;; ++i) {
        char name[64] = "", units[64] = "x";
        int type = p.FsContentGetSupportedField(i, name, units, sizeof name);
        if (type == 0 || i > 8) break;
        fields += std::string(name) + "/" + std::to_string(type) + "/" + units + " ";
    }
    EXPECT_EQ(fields, "Members/1/ First/8/ Last/8/ Missing/8/ ");
    EXPECT_EQ(columns(entry("shotA_0001-0005.trshot")), "1:5 | 8:0001 | 8:0005 | 8:0006");
    EXPECT_EQ(columns(entry("shotA_0007-0010.trshot")), "1:4 | 8:0007 | 8:0010 | -3:") << "nothing after it";
    EXPECT_EQ(columns(entry("shotC_01-02.trshot")), "1:2 | 8:01 | 8:02 | 8:03-06");
    EXPECT_EQ(columns(from_ansi(entry("shotC_07.trshot"))), "1:1 | -3: | -3: | -3:") << "a single file";
    EXPECT_EQ(columns(from_ansi(entry("shotA_0001-0005.trshot"))), "1:5 | 8:0001 | 8:0005 | 8:0006");
    EXPECT_EQ(columns(entry("sub")), "-3: | -3: | -3: | -3:") << "a folder";
    EXPECT_EQ(columns(entry("gone.trshot")), "-2: | -2: | -2: | -2:");
    EXPECT_EQ(value_of(entry("shotA_0001-0005.trshot"), 4).answer, -1) << "no fifth field";

    char contents[256], headers[256], widths[256], options[256];
    EXPECT_TRUE(p.FsContentGetDefaultView(contents, headers, widths, options, 256));
    EXPECT_STREQ(contents, "[=tc.size]\\n[=tc.writedate]\\n[=<fs>.Members]\\n[=<fs>.Missing]");
    EXPECT_STREQ(headers, "Size\\nDate\\nMembers\\nMissing");
}

// A drive is a folder of the root's listing: every field is empty, as for any folder.
TEST_F(execution_e2e, drives_in_the_roots_listing_have_empty_columns_like_folders) {
    EXPECT_EQ(columns(std::string("\\C:")), "-3: | -3: | -3: | -3:");
    EXPECT_EQ(columns(std::wstring(L"\\C:")), "-3: | -3: | -3: | -3:");
}

TEST_F(execution_e2e, every_run_of_a_large_folder_names_its_own_gap) {
    temp_folder many;
    // Frames 1 to 3000 without every third: 1000 runs of two, each missing one frame.
    for (int i = 1; i <= 3000; ++i)
        if (i % 3) {
            char name[32];
            std::snprintf(name, sizeof name, "f_%04d.exr", i);
            write_file(many.path + name, "", shot);
        }
    std::vector<std::string> names = the_plugin().names(plugin_path(many.path));
    std::string wrong;
    for (size_t i = 2; i < names.size(); ++i) {
        const std::string remote = plugin_path(many.path) + "\\" + names[i];
        for (int field = 0; field < 3; ++field) value_of(remote, field);
        const int gap = static_cast<int>((i - 1) * 3);
        char want[8] = "";
        if (gap < 3000) std::snprintf(want, sizeof want, "%04d", gap);
        field_value missing = value_of(remote, 3);
        if (missing.text != want) wrong += names[i] + " misses '" + missing.text + "', not '" + want + "'; ";
    }
    EXPECT_EQ(names.size(), 1002u);
    EXPECT_EQ(wrong, "");
}

TEST_F(execution_e2e, harness_opens_previews_and_prints_the_columns) {
    register_recorder();
    DWORD status = 1;
    std::string out = run_host("\"" + plugin_file + "\" open \"" + entry("shotA_0001-0005.trshot") + "\"", &status);
    EXPECT_EQ(status, 0u) << out;
    EXPECT_EQ(out, "open " + entry("shotA_0001-0005.trshot") + " (open): 0 FS_EXEC_OK\n");
    EXPECT_EQ(joined(launched(log, 1)), "open " + source.path + "shotA_0001.trshot\n");
    out = run_host("\"" + plugin_file + "\" open \"" + entry("sub") + "\"", &status);
    EXPECT_EQ(out, "open " + entry("sub") + " (open): -1 FS_EXEC_YOURSELF\n");
    out = run_host("--ansi \"" + plugin_file + "\" open \"" + entry("notes.trnone") + "\"", &status);
    EXPECT_EQ(status, 1u) << out;
    EXPECT_EQ(out, "open " + entry("notes.trnone") + " (open): 1 FS_EXEC_ERROR\n");

    out = run_host("\"" + plugin_file + "\" preview \"" + entry("shotA_0007-0010.trshot") + "\"", &status);
    EXPECT_EQ(status, 0u) << out;
    EXPECT_EQ(out, "preview " + entry("shotA_0007-0010.trshot") +
                       ": 258 FS_BITMAP_EXTRACT_YOURSELF+FS_BITMAP_CACHE, extract from " + source.path +
                       "shotA_0007.trshot\n");
    out = run_host("\"" + plugin_file + "\" preview \"" + entry("sub") + "\"", &status);
    EXPECT_EQ(status, 1u) << out;

    out = run_host("\"" + plugin_file + "\" fields --view \"" + plugin_path(source.path) + "\"", &status);
    EXPECT_EQ(status, 0u) << out;
    EXPECT_NE(out.find("Members  First  Last  Missing  Name\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n      5  0001   0005  0006     shotA_0001-0005.trshot\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n      4  0007   0010           shotA_0007-0010.trshot\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n      1                        notes.trnone\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  Missing    [=<fs>.Missing]\n"), std::string::npos) << out;
    out = run_host("\"" + plugin_file + "\" fields \"" + entry("gone.trshot") + "\"", &status);
    EXPECT_EQ(status, 1u) << out;
}
