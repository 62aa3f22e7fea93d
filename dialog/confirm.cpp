// The overwrite confirmation: which members of a copy may replace existing files, asked one prompt at a time.
#include "dialog/confirm.h"

#include "dialog/templates.h"
#include "support/paths.h"

namespace tallyrun {

int confirm_dialog = 0;

namespace {

dialog_proc confirm_proc = nullptr;

constexpr uint32_t wm_close = 0x0010;
constexpr uint32_t wm_command = 0x0111;

// WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT
constexpr uint32_t dialog_style = 0x10C808C0u;
// WS_CHILD | WS_VISIBLE | WS_TABSTOP, a plain push button (none is the default one)
constexpr uint32_t button_style = 0x50010000u;
// WS_CHILD | WS_VISIBLE | WS_GROUP, left-aligned static text
constexpr uint32_t message_style = 0x50020000u;

struct button {
    int id;
    const char* label;
    int x, y;
};
// In template order, which is also the tab order; columns at x = 6 + 93 * c.
const button buttons[] = {
    {3, "&Overwrite", 6, 55},
    {4, "Overwrite &all", 99, 55},
    {5, "&Skip", 192, 55},
    {6, "&Cancel", 6, 72},
    {7, "Overwrite all ol&der", 99, 72},
    {8, "S&kip all", 192, 72},
};

enum answer : intptr_t {
    answer_overwrite = 3,
    answer_overwrite_all = 4,
    answer_skip = 5,
    answer_older = 7,
    answer_skip_all = 8,
};

std::string zero2(int n) {
    std::string s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

// One half of the message: "%d Byte, %02d.%02d.%d %02d:%02d:%02d" after ten spaces.
// The size is printed in full: it is 64 bits wide and never cut to an int.
std::string size_and_time(const real_entry& e) {
    const date_time& t = e.time;
    return "          " + std::to_string(e.size) + " Byte, " + zero2(t.day) + "." +
           zero2(t.month) + "." + std::to_string(t.year) + " " + zero2(t.hour) + ":" +
           zero2(t.minute) + ":" + zero2(t.second);
}

bool later(const date_time& a, const date_time& b) {
    const int left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const int right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 6; ++i)
        if (left[i] != right[i]) return left[i] > right[i];
    return false;
}

}  // namespace

void confirm_dialog_setup() {
    if (confirm_dialog) return;
    confirm_dialog = dialog("Tallyrun", 0, 0, 290, 91, dialog_style, 0, {"MS SANS SERIF", 8, 0, 0});
    for (const button& b : buttons)
        control(confirm_dialog, "Button", b.label, b.id, b.x, b.y, 90, 15, button_style, 0);
    confirm_proc = mainDialogProc;
}

std::string overwrite_message(const real_entry& source, const real_entry& target) {
    return "Overwrite: " + target.name + "\n" + size_and_time(target) + "\n\n" +
           "With file: " + source.name + " ?\n" + size_and_time(source);
}

intptr_t ask_overwrite(const real_entry& source, const real_entry& target) {
    if (confirm_dialog < 1 || static_cast<size_t>(confirm_dialog) > dialog_templates.size())
        return -1;
    // The message belongs to this prompt only: it goes on a copy, and the kept
    // template stays the six buttons alone.
    std::string prompt = dialog_templates[static_cast<size_t>(confirm_dialog) - 1];
    append_control(prompt, "Static", overwrite_message(source, target), -1, 5, 4, 285, 50,
                   message_style, 0);
    return open_template(prompt, invalid_handle, confirm_proc);
}

bool confirm_files(const std::vector<real_entry>& entries, const std::string& target_folder,
                   int mode, std::vector<real_entry>& keep) {
    keep.clear();
    std::vector<real_entry> kept;
    for (const real_entry& entry : entries) {
        real_entry target;
        if (!find_entry(target_folder + entry.name, target)) {
            kept.push_back(entry);
            continue;
        }
        if (mode == 3) continue;
        if (mode == 0) {
            kept.push_back(entry);
            continue;
        }
        if (mode != 2) {
            switch (ask_overwrite(entry, target)) {
                case answer_overwrite:
                    kept.push_back(entry);
                    continue;
                case answer_overwrite_all:
                    kept.push_back(entry);
                    mode = 0;
                    continue;
                case answer_skip:
                    continue;
                case answer_older:
                    mode = 2;
                    break;  // this entry is judged by the age test below
                case answer_skip_all:
                    mode = 3;
                    continue;
                default:
                    // Cancel (6), Escape and the close box (0), and also a
                    // dialog that could not be shown (-1): without an answer a
                    // user's file is never overwritten.
                    return false;
            }
        }
        if (later(entry.time, target.time)) kept.push_back(entry);
    }
    keep = std::move(kept);
    return true;
}

intptr_t TR_WINAPI mainDialogProc(win_handle window, uint32_t message, uintptr_t wparam,
                                  intptr_t) {
    if (message == wm_command) {
        uint32_t w = static_cast<uint32_t>(wparam);
        if (hi_word(w) != 0) return 0;
        intptr_t id = lo_word(w);
        if (id == 1) id = answer_overwrite;  // IDOK: the Enter key
        else if (id == 2) id = 0;            // IDCANCEL: the Escape key
        end_dialog(window, id);
        return 1;
    }
    if (message == wm_close) {
        end_dialog(window, 0);
        return 1;
    }
    return 0;
}

}  // namespace tallyrun
