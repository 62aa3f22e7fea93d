// The overwrite prompt: its template, its message and the answer it gives.
#include "dialog/confirm.h"

#include "support/paths.h"

namespace tallyrun {
namespace {

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
    overwrite_answer answer;
};
// In template order, which is also the tab order; columns at x = 6 + 93 * c.
const button buttons[] = {
    {3, "&Overwrite", 6, 55, overwrite_answer::overwrite},
    {4, "Overwrite &all", 99, 55, overwrite_answer::overwrite_all},
    {5, "&Skip", 192, 55, overwrite_answer::skip},
    {6, "&Cancel", 6, 72, overwrite_answer::cancel},
    {7, "Overwrite all ol&der", 99, 72, overwrite_answer::older},
    {8, "S&kip all", 192, 72, overwrite_answer::skip_all},
};
constexpr intptr_t overwrite_id = 3;  // what Enter answers

template <typename C>
std::basic_string<C> text_of(const std::string& ascii) {
    return std::basic_string<C>(ascii.begin(), ascii.end());
}

std::string zero2(int n) {
    std::string s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

// One half of the message: "%d Byte, %02d.%02d.%d %02d:%02d:%02d" after ten spaces.
// The size is printed in full: it is 64 bits wide and never cut to an int.
std::string size_and_time(const listed_file& f) {
    const date_time t = date_time_of_step(f.time);
    return "          " + std::to_string(f.size()) + " Byte, " + zero2(t.day) + "." + zero2(t.month) + "." +
           std::to_string(t.year) + " " + zero2(t.hour) + ":" + zero2(t.minute) + ":" + zero2(t.second);
}

}  // namespace

void confirm_dialog_setup(confirm_prompt& prompt) {
    if (prompt.id) return;
    prompt.id = dialog(prompt.templates, "Tallyrun", 0, 0, 290, 91, dialog_style, 0, {"MS SANS SERIF", 8, 0, 0});
    for (const button& b : buttons)
        control(prompt.templates, prompt.id, "Button", b.label, b.id, b.x, b.y, 90, 15, button_style, 0);
    prompt.proc = mainDialogProc;
}

template <typename C>
std::basic_string<C> overwrite_message(const member<C>& source, const member<C>& target) {
    return text_of<C>("Overwrite: ") + std::basic_string<C>(target.name) + C('\n') +
           text_of<C>(size_and_time(target.file) + "\n\n" + "With file: ") + std::basic_string<C>(source.name) +
           text_of<C>(" ?\n" + size_and_time(source.file));
}

template <typename C>
intptr_t show_overwrite_prompt(const confirm_prompt& prompt, const member<C>& source, const member<C>& target) {
    if (prompt.id < 1 || static_cast<size_t>(prompt.id) > prompt.templates.size()) return -1;
    // The message belongs to this prompt only: it goes on a copy, and the kept
    // template stays the six buttons alone.
    std::string bytes = prompt.templates[static_cast<size_t>(prompt.id) - 1];
    append_control(bytes, "Static", overwrite_message(source, target), -1, 5, 4, 285, 50, message_style, 0);
    return open_template(bytes, invalid_handle, prompt.proc, sizeof(C) == 2);
}

template <typename C>
overwrite_answer ask_overwrite(const confirm_prompt& prompt, const member<C>& source, const member<C>& target) {
    const intptr_t result = show_overwrite_prompt(prompt, source, target);
    for (const button& b : buttons)
        if (b.id == result) return b.answer;
    // Escape and the close box (0), and also a dialog that could not be shown
    // (-1) or an answer that is no button's: without an answer a user's file
    // is never overwritten.
    return overwrite_answer::cancel;
}

intptr_t TR_WINAPI mainDialogProc(win_handle window, uint32_t message, uintptr_t wparam,
                                  intptr_t) {
    if (message == wm_command) {
        uint32_t w = static_cast<uint32_t>(wparam);
        if (hi_word(w) != 0) return 0;
        intptr_t id = lo_word(w);
        if (id == 1) id = overwrite_id;  // IDOK: the Enter key
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

#define TALLYRUN_CONFIRM(C)                                                                              \
    template std::basic_string<C> overwrite_message<C>(const member<C>&, const member<C>&);                 \
    template intptr_t show_overwrite_prompt<C>(const confirm_prompt&, const member<C>&, const member<C>&);  \
    template overwrite_answer ask_overwrite<C>(const confirm_prompt&, const member<C>&, const member<C>&);
TALLYRUN_CONFIRM(char)
TALLYRUN_CONFIRM(char16_t)

}  // namespace tallyrun
