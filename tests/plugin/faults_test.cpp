// Windows calls failing under the host entry points, and host memory written only where it may be.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/context.h"
#include "dialog/confirm.h"
#include "fakes/fake_fs.h"
#include "plugin/enumeration.h"
#include "plugin/listed_names.h"
#include "plugin/retrieval.h"
#include "plugin/startup.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;

std::vector<int32_t> percents;
int32_t TR_WINAPI note_progress(int32_t, const char*, const char*, int32_t percent) {
    percents.push_back(percent);
    return 0;
}

// The host heard 0 first, then rising percents, and 100 only when the entry was done.
bool told_rising(const std::vector<int32_t>& p, bool done) {
    if (p.empty() || p.front() != 0 || !std::is_sorted(p.begin(), p.end())) return false;
    return done ? p.back() == 100 : std::count(p.begin(), p.end(), 100) == 0;
}

int16_t TR_WINAPI ctrl_free(int32_t) { return 0; }

int dialogs_shown = 0;
intptr_t dialog_answer = 6;
intptr_t TR_WINAPI answering_dialog(win_handle, const void*, win_handle, dialog_proc, intptr_t) {
    ++dialogs_shown;
    return dialog_answer;
}

int32_t TR_WINAPI failing_to_utc(const win_filetime*, win_filetime* utc) {
    utc->low = utc->high = 0x12345678u;  // whatever it leaves must not be taken
    return 0;
}

std::string joined(const std::vector<int32_t>& v) {
    std::string s;
    for (int32_t x : v) s += std::to_string(x) + " ";
    return s;
}

// A host name buffer of the text's own length with guard bytes on both sides.
struct guarded_name {
    explicit guarded_name(const std::string& text) : bytes(text.size() + 1 + 32, '\x3C') {
        std::memcpy(bytes.data() + 16, text.c_str(), text.size() + 1);
        saved = bytes;
    }
    char* get() { return bytes.data() + 16; }
    bool unchanged() const { return bytes == saved; }
    std::vector<char> bytes, saved;
};

// A find-data record with guard bytes, filled with one byte value.
struct guarded_record {
    explicit guarded_record(unsigned char fill) : bytes(16 + sizeof(win_find_data) + 16, fill) {}
    win_find_data* data() { return reinterpret_cast<win_find_data*>(bytes.data() + 16); }
    std::vector<unsigned char> bytes;
};

// Offsets (within the record) whose bytes differ between two snapshots.
std::string changed_offsets(const std::vector<unsigned char>& before,
                            const std::vector<unsigned char>& after) {
    std::string s;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i]) s += std::to_string(static_cast<long>(i) - 16) + " ";
    return s;
}

const win_filetime shot = utc_time(2006, 9, 19, 9, 34, 18);
const char run_name[] = "\\C:\\photos\\IMG_0001-0003.JPG";
const char run_target[] = "D:\\out\\IMG_0001-0003.JPG";

std::string member_path(int i) { return "C:\\photos\\IMG_000" + std::to_string(i) + ".JPG"; }
std::string target(int i) { return "D:\\out\\IMG_000" + std::to_string(i) + ".JPG"; }
std::string lowered_member(int i) { return "c:\\photos\\img_000" + std::to_string(i) + ".jpg"; }

struct faults : testing::Test {
    void SetUp() override {
        reset_listings(context().tables);
        percents.clear();
        dialogs_shown = 0;
        dialog_answer = 6;
        confirm_dialog_setup(context().prompt);
        FsInit(7, note_progress);
        plugin.ini_folder = u"C:\\nowhere\\";
        plugin.ini_name = u"tallyrun.ini";
        for (int i = 1; i <= 3; ++i)
            disk.add_file(member_path(i), ~0ull, shot, 32, "picture " + std::to_string(i));
        disk.add_folder("C:\\photos\\sub");
        disk.add_folder("D:\\out");
    }
    void TearDown() override {
        reset_listings(context().tables);
        FsInit(0, nullptr);
    }
    // FsGetFile through guarded host buffers, which must come back unchanged.
    int32_t get(const std::string& remote, const std::string& local) {
        guarded_name r(remote), l(local);
        int32_t result = FsGetFile(r.get(), l.get(), 0);
        EXPECT_TRUE(r.unchanged()) << "remote-name buffer or its guards written for " << remote;
        EXPECT_TRUE(l.unchanged()) << "local-name buffer or its guards written for " << local;
        return result;
    }
    void clear_targets() {
        for (int i = 1; i <= 3; ++i) disk.remove(target(i));
        disk.copied.clear();
        disk.copy_calls = 0;
        disk.copy_errors.clear();
        percents.clear();
    }
    fake_fs disk;
    binding_override<decltype(win.GetKeyState)> keys{win.GetKeyState, ctrl_free};
    binding_override<decltype(win.DialogBoxIndirectParamA)> dialog{win.DialogBoxIndirectParamA,
                                                                   answering_dialog};
};

}  // namespace

// The middle member is covered with the same errors by the retrieval tests.
TEST_F(faults, copy_error_at_first_or_last_member_gives_its_code_and_keeps_earlier_copies) {
    const struct {
        uint32_t error;
        int32_t result;
    } errors[] = {{2, fs_not_found}, {3, fs_not_found},   {4, fs_not_found},   {5, fs_not_found},
                  {80, fs_exists},   {112, fs_read_error}, {32, fs_read_error}, {0, fs_read_error}};
    for (int failing : {1, 3}) {
        for (const auto& e : errors) {
            clear_targets();
            disk.copy_errors[lowered_member(failing)] = e.error;
            std::string label = "error " + std::to_string(e.error) + " at member " +
                                std::to_string(failing);
            EXPECT_EQ(get(run_name, run_target), e.result) << label;
            EXPECT_EQ(disk.copy_calls, failing) << label << ": later members must not be tried";
            ASSERT_EQ(disk.copied.size(), static_cast<size_t>(failing - 1)) << label;
            for (int i = 1; i < failing; ++i)
                EXPECT_EQ(disk.content(target(i)), "picture " + std::to_string(i)) << label;
            for (int i = failing; i <= 3; ++i)
                EXPECT_FALSE(disk.exists(target(i))) << label << ": " << target(i) << " appeared";
            EXPECT_TRUE(told_rising(percents, false)) << label << ": no report at 100 after a failure, got "
                                                       << joined(percents);
            for (int i = 1; i <= 3; ++i)
                EXPECT_EQ(disk.content(member_path(i)), "picture " + std::to_string(i)) << label;
        }
    }
}

TEST_F(faults, single_file_entry_copy_errors_and_missing_copy_function) {
    disk.add_file("C:\\photos\\notes.txt", ~0ull, shot, 32, "notes");
    disk.copy_errors["c:\\photos\\notes.txt"] = 112;
    EXPECT_EQ(get("\\C:\\photos\\notes.txt", "D:\\out\\notes.txt"), fs_read_error) << "disk full";
    EXPECT_FALSE(disk.exists("D:\\out\\notes.txt"));
    clear_targets();
    {
        binding_override<decltype(win.CopyFileExA)> none(win.CopyFileExA, nullptr);
        disk.copy_errors.clear();
        win.SetLastError(0);
        int32_t result = get(run_name, run_target);
        EXPECT_NE(result, fs_ok) << "nothing can be copied without a copy function, yet 'done' was answered";
        EXPECT_EQ(joined(percents), "0 ");
    }
    EXPECT_TRUE(disk.copied.empty());
}

TEST_F(faults, find_next_failing_mid_listing_lists_nothing_and_keeps_the_last_good_listing) {
    const struct {
        int fails_after;
        uint32_t error;
    } cases[] = {{0, 59}, {1, 5}, {3, 21}, {4, 59}};
    for (const auto& c : cases) {
        reset_listings(context().tables);
        disk.find_next_fails_after = c.fails_after;
        disk.find_next_error = c.error;
        std::string label = "FindNextFileA fails after " + std::to_string(c.fails_after) +
                            " calls with error " + std::to_string(c.error);
        guarded_record r(0xA5);
        EXPECT_EQ(FsFindFirst("\\C:\\photos", r.data()), invalid_handle) << label;
        EXPECT_EQ(win.GetLastError(), error_path_not_found) << label;
        EXPECT_EQ(kept_listing_count(context().tables), 0u) << label << ": a half-read folder was kept";
        EXPECT_EQ(r.data()->name[0], 0) << label << ": an entry reached the record: " << r.data()->name;
        for (size_t i = 0; i < 16; ++i) EXPECT_EQ(r.bytes[i], 0xA5) << label << ": before the record";
        for (size_t i = 16 + 318; i < r.bytes.size(); ++i)
            EXPECT_EQ(r.bytes[i], 0xA5) << label << ": byte " << i - 16 << " past 318";
        // Retrieval lists the folder afresh and meets the same failure.
        disk.copy_calls = 0;
        EXPECT_EQ(get(run_name, run_target), fs_not_found) << label;
        EXPECT_EQ(disk.copy_calls, 0) << label << ": copied from a half-read folder";
    }

    // A good listing, then a failing one of the same folder: the good one still maps entries.
    reset_listings(context().tables);
    disk.find_next_fails_after = -1;
    ASSERT_EQ(names_of("\\C:\\photos").size(), 4u);  // ".", "..", "sub", the run
    disk.add_file("C:\\photos\\IMG_0004.JPG", ~0ull, shot, 32, "picture 4");
    disk.find_next_fails_after = 2;
    disk.find_next_error = 59;
    win_find_data d;
    EXPECT_EQ(FsFindFirst("\\C:\\photos", &d), invalid_handle);
    clear_targets();
    EXPECT_EQ(get(run_name, run_target), fs_ok) << "the earlier listing should still map the run";
    EXPECT_EQ(disk.copied.size(), 3u);
    EXPECT_EQ(get("\\C:\\photos\\IMG_0001-0004.JPG", run_target), fs_not_found)
        << "an entry of the failed listing must not be found";
    disk.find_next_fails_after = -1;
}

TEST_F(faults, local_time_conversion_missing_or_failing_gives_every_entry_no_time) {
    disk.add_file("C:\\photos\\notes.txt", ~0ull, shot, 32, "notes");
    for (bool missing : {true, false}) {
        binding_override<decltype(win.LocalFileTimeToFileTime)> conversion(
            win.LocalFileTimeToFileTime, missing ? nullptr : failing_to_utc);
        const char* label = missing ? "conversion missing" : "conversion failing";
        reset_listings(context().tables);
        win_find_data d;
        win_handle h = FsFindFirst("\\C:\\photos", &d);
        ASSERT_NE(h, invalid_handle) << label;
        std::vector<std::string> seen;
        do {
            seen.push_back(d.name);
            EXPECT_EQ(d.last_write_time.low, 0xFFFFFFFEu) << label << ", entry " << d.name;
            EXPECT_EQ(d.last_write_time.high, 0xFFFFFFFFu) << label << ", entry " << d.name;
        } while (FsFindNext(h, &d));
        FsFindClose(h);
        EXPECT_EQ(seen.size(), 5u) << label << ": sub, the run and notes.txt besides . and ..";
        // Copying does not need the converted time.
        clear_targets();
        EXPECT_EQ(get(run_name, run_target), fs_ok) << label;
        EXPECT_EQ(disk.copied.size(), 3u) << label;
    }
}

TEST_F(faults, a_prompt_that_cannot_be_shown_cancels_the_entry_before_any_copy) {
    disk.add_file(target(2), ~0ull, shot, 32, "old 2");
    for (bool missing : {false, true}) {
        binding_override<decltype(win.DialogBoxIndirectParamA)> box(
            win.DialogBoxIndirectParamA, missing ? nullptr : answering_dialog);
        const char* label = missing ? "dialog function missing" : "dialog answering -1";
        dialog_answer = -1;
        dialogs_shown = 0;
        disk.copied.clear();
        disk.copy_calls = 0;
        percents.clear();
        EXPECT_EQ(get(run_name, run_target), fs_aborted) << label;
        EXPECT_EQ(dialogs_shown, missing ? 0 : 1) << label;
        EXPECT_EQ(disk.copy_calls, 0) << label << ": not even the member before the prompt";
        EXPECT_FALSE(disk.exists(target(1))) << label;
        EXPECT_EQ(disk.content(target(2)), "old 2") << label << ": the existing target was replaced";
        EXPECT_EQ(joined(percents), "0 ") << label;
    }
}

TEST(faults_host_buffers, root_name_with_no_room_writes_nothing) {
    start_up();
    for (int32_t size : {0, -1, -260}) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(FsGetDefRootName(buffer + 16, size), 0);
        for (size_t i = 0; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '#') << "size " << size << " wrote byte " << i;
    }
}

TEST_F(faults, every_later_record_changes_only_name_time_attributes_and_size) {
    disk.add_file("C:\\photos\\" + std::string(300, 'n') + ".txt", 0x123456789ull, shot, 0x21);
    disk.add_file("C:\\photos\\z.txt", 0, shot, 1);
    guarded_record first(0xEE);
    win_handle h = FsFindFirst("\\C:\\photos", first.data());
    ASSERT_NE(h, invalid_handle);
    for (size_t i = 16 + 318; i < first.bytes.size(); ++i)
        EXPECT_EQ(first.bytes[i], 0xEE) << "first call wrote byte " << i - 16;

    // Bytes that FsFindNext may write: attributes 0-3, last write time 20-27,
    // size 28-35, and the name with its zero byte from 44.
    for (int n = 0;; ++n) {
        guarded_record later(0xEE);
        std::vector<unsigned char> before = later.bytes;
        int32_t more = FsFindNext(h, later.data());
        if (!more) {
            EXPECT_EQ(changed_offsets(before, later.bytes), "") << "the answer 0 wrote bytes";
            EXPECT_GE(n, 5) << "the listing ended early";
            break;
        }
        size_t name_end = 44 + std::strlen(later.data()->name);  // offset of its zero byte
        EXPECT_LE(name_end, 303u) << "name longer than 259 characters";
        for (size_t i = 0; i < before.size(); ++i) {
            long offset = static_cast<long>(i) - 16;
            bool may = (offset >= 0 && offset < 4) || (offset >= 20 && offset < 36) ||
                       (offset >= 44 && offset <= static_cast<long>(name_end));
            if (!may && later.bytes[i] != 0xEE) {
                ADD_FAILURE() << "FsFindNext for " << later.data()->name << " wrote offset " << offset;
                break;
            }
        }
    }
    FsFindClose(h);
}
