// Real confirmation prompts on real files, answered from a second thread as a user would answer them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/confirm.h"
#include "plugin/retrieval.h"
#include "sequence/shown_listing.h"

using namespace tallyrun;

namespace {

// The prompt these tests show.
confirm_prompt prompt;

// How the answering thread ends one prompt.
enum class act { click, enter, escape, close_box };
struct step {
    act how;
    int button = 0;  // for click
};
step click(int button) { return {act::click, button}; }
const step enter{act::enter};
const step escape{act::escape};
const step close_box{act::close_box};

struct seen_prompt {
    std::string title, message;
    std::vector<std::string> labels;  // buttons 3 to 8
    bool ended = false;
};

std::string item_text(HWND dialog, int id) {
    char buffer[1024] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

// The visible "Tallyrun" dialog of one thread; only that thread's windows are
// looked at, so no other program's dialog is ever answered.
struct finder {
    HWND found = nullptr;
};
BOOL CALLBACK find_prompt(HWND w, LPARAM p) {
    finder* f = reinterpret_cast<finder*>(p);
    char title[64] = {}, cls[64] = {};
    GetWindowTextA(w, title, sizeof title);
    GetClassNameA(w, cls, sizeof cls);
    if (IsWindowVisible(w) && std::string(title) == "Tallyrun" &&
        std::string(cls) == "#32770") {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

// Answers the prompts of thread `owner` by the script; gives up on a prompt
// after about 20 seconds (so a failure cannot hang the test program).
void answer(DWORD owner, std::vector<step> script, std::vector<seen_prompt>* seen) {
    for (const step& s : script) {
        finder f;
        for (int i = 0; i < 1000 && !f.found; ++i) {
            EnumThreadWindows(owner, find_prompt, reinterpret_cast<LPARAM>(&f));
            if (!f.found) Sleep(20);
        }
        if (!f.found) return;
        HWND w = f.found;
        seen_prompt p;
        char title[64] = {};
        GetWindowTextA(w, title, sizeof title);
        p.title = title;
        p.message = item_text(w, 65535);
        for (int id = 3; id <= 8; ++id) p.labels.push_back(item_text(w, id));
        switch (s.how) {
            case act::click:
                SendMessageA(GetDlgItem(w, s.button), BM_CLICK, 0, 0);
                break;
            case act::enter:
                PostMessageA(w, WM_KEYDOWN, VK_RETURN, 0);
                break;
            case act::escape:
                PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
                break;
            case act::close_box:
                PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
        }
        for (int i = 0; i < 1000 && IsWindow(w); ++i) Sleep(20);
        p.ended = !IsWindow(w);
        seen->push_back(p);
        if (!p.ended) {
            PostMessageA(w, WM_COMMAND, 6, 0);  // unstick the test; it fails on `ended`
            return;
        }
    }
}

struct answering {
    DWORD owner;
    std::vector<step> script;
    std::vector<seen_prompt>* seen;
};
DWORD WINAPI answer_thread(void* p) {
    answering* a = static_cast<answering*>(p);
    answer(a->owner, a->script, a->seen);
    return 0;
}

void set_time(const std::string& path, int year, int month, int day, int hour, int minute,
              int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    SetFileTime(h, nullptr, nullptr, &utc);
    CloseHandle(h);
}

void write_file(const std::string& path, const std::string& content) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD done = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    CloseHandle(h);
}

using strings = std::vector<std::string>;

using real_entry = member<char>;

struct confirm_win : testing::Test {
    std::string folder;
    std::vector<real_entry> sources;
    std::vector<std::string> source_names;

    // Sources from 2024-05-17 12:00:00 (local time); in the target folder
    // IMG_0001.JPG is older than its source, img_0002.jpg (spelt in lower
    // case) newer, IMG_0003.JPG is absent.
    void SetUp() override {
        confirm_dialog_setup(prompt);
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "tallyrun_confirm_" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        write_file(folder + "IMG_0001.JPG", "old one");
        set_time(folder + "IMG_0001.JPG", 2023, 1, 2, 3, 4, 6);
        write_file(folder + "img_0002.jpg", "newer");
        set_time(folder + "img_0002.jpg", 2024, 5, 17, 12, 0, 2);
        source_names = {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"};
        for (int i = 1; i <= 3; ++i) {
            listed_file f{};
            f.attributes = 32;
            f.time = step_of({2024, 5, 17, 12, 0, 0});
            f.size_low = 100u * i;
            sources.push_back(real_entry{source_names[i - 1], f});
        }
    }
    void TearDown() override {
        DeleteFileA((folder + "IMG_0001.JPG").c_str());
        DeleteFileA((folder + "img_0002.jpg").c_str());
        RemoveDirectoryA(folder.c_str());
    }

    // confirm_files in mode 1 with the script answering; the names kept, or
    // "cancelled".
    strings run(std::vector<step> script, std::vector<seen_prompt>& seen) {
        answering a{GetCurrentThreadId(), std::move(script), &seen};
        HANDLE t = CreateThread(nullptr, 0, answer_thread, &a, 0, nullptr);
        std::vector<real_entry> keep;
        bool ok = confirm_files<char>(prompt, sources, folder, overwrite_mode::ask, keep);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        if (!ok) return {"cancelled"};
        strings names;
        for (const real_entry& e : keep) names.emplace_back(e.name);
        return names;
    }
};

}  // namespace

TEST_F(confirm_win, each_answer_settles_the_members_as_the_user_chose) {
    struct row {
        const char* answer;
        std::vector<step> script;
        strings kept;
    };
    const std::vector<row> rows = {
        {"overwrite, then skip", {click(3), click(5)}, {"IMG_0001.JPG", "IMG_0003.JPG"}},
        {"overwrite all", {click(4)}, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}},
        {"skip, then overwrite", {click(5), click(3)}, {"IMG_0002.JPG", "IMG_0003.JPG"}},
        {"cancel at the second", {click(3), click(6)}, {"cancelled"}},
        {"overwrite all older", {click(7)}, {"IMG_0001.JPG", "IMG_0003.JPG"}},
        {"skip all", {click(8)}, {"IMG_0003.JPG"}},
        {"Enter twice", {enter, enter}, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}},
        {"Escape", {escape}, {"cancelled"}},
        {"close box", {close_box}, {"cancelled"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.answer);
        std::vector<seen_prompt> seen;
        EXPECT_EQ(run(r.script, seen), r.kept);
        ASSERT_EQ(seen.size(), r.script.size()) << "prompts shown and answered";
        for (const seen_prompt& p : seen) EXPECT_TRUE(p.ended) << "the prompt did not close";
    }
}

TEST_F(confirm_win, the_prompt_shows_the_six_buttons_and_its_own_message) {
    std::vector<seen_prompt> seen;
    EXPECT_EQ(run({click(3), click(3)}, seen),
              (strings{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, "Tallyrun");
    EXPECT_EQ(seen[0].labels, (strings{"&Overwrite", "Overwrite &all", "&Skip", "&Cancel",
                                       "Overwrite all ol&der", "S&kip all"}));
    EXPECT_EQ(seen[0].message,
              "Overwrite: IMG_0001.JPG\n          7 Byte, 02.01.2023 03:04:06\n\n"
              "With file: IMG_0001.JPG ?\n          100 Byte, 17.05.2024 12:00:00");
    EXPECT_EQ(seen[1].message,
              "Overwrite: img_0002.jpg\n          5 Byte, 17.05.2024 12:00:02\n\n"
              "With file: IMG_0002.JPG ?\n          200 Byte, 17.05.2024 12:00:00")
        << "the target's name as the folder spells it";
}
