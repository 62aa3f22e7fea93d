// The built template as the real DialogBoxIndirectParamA sees it: window, font and controls by identifier.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/templates.h"

using namespace tallyrun;

namespace {

// The templates these tests make.
template_list dialog_templates;

struct seen_control {
    bool found;
    std::string class_name, text;
    LONG_PTR style;
    RECT rect;
};
struct seen_dialog {
    int init_calls = 0;
    std::string title;
    LONG_PTR style = 0;
    seen_control go{}, hello{}, edit{};
    std::wstring accented;
};
seen_dialog seen;

std::string window_text(HWND w) {
    char buffer[512] = {};
    GetWindowTextA(w, buffer, sizeof buffer);
    return buffer;
}

seen_control look_up(HWND dialog, int id) {
    seen_control c{};
    HWND w = GetDlgItem(dialog, id);
    c.found = w != nullptr;
    if (!w) return c;
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    c.class_name = name;
    c.text = window_text(w);
    c.style = GetWindowLongPtrA(w, GWL_STYLE);
    GetWindowRect(w, &c.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
    return c;
}

INT_PTR CALLBACK probe_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    ++seen.init_calls;
    seen.title = window_text(dialog);
    seen.style = GetWindowLongPtrA(dialog, GWL_STYLE);
    seen.go = look_up(dialog, 101);
    seen.hello = look_up(dialog, 65535);
    seen.edit = look_up(dialog, 102);
    wchar_t wide[64] = {};
    GetWindowTextW(GetDlgItem(dialog, 103), wide, 64);
    seen.accented = wide;
    end_dialog(dialog, 77);
    return FALSE;
}

intptr_t TR_WINAPI as_dialog_proc(win_handle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    return probe_proc(static_cast<HWND>(w), m, wp, lp);
}

}  // namespace

TEST(templates_win, windows_builds_the_dialog_and_finds_each_control_by_identifier) {
    const uint32_t style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    int id = dialog(dialog_templates, "Probe title", 10, 10, 200, 100, style, 0, {"MS SANS SERIF", 8, 0, 0});
    control(dialog_templates, id, "Button", "&Go", 101, 6, 55, 90, 15, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0);
    control(dialog_templates, id, "Static", "Hello\nthere", -1, 5, 4, 150, 30, WS_CHILD | WS_VISIBLE | WS_GROUP, 0);
    control(dialog_templates, id, "Edit", "typed", 102, 5, 75, 60, 12, WS_CHILD | WS_VISIBLE | WS_BORDER, 0);
    control(dialog_templates, id, "Static", "caf\xE9", 103, 70, 75, 60, 12, WS_CHILD | WS_VISIBLE, 0);
    seen = {};

    EXPECT_EQ(open_template(dialog_templates[id - 1], nullptr, as_dialog_proc), 77) << "the value given to end_dialog";

    ASSERT_EQ(seen.init_calls, 1) << "Windows refused the template";
    EXPECT_EQ(seen.title, "Probe title");
    EXPECT_EQ(seen.style & WS_CAPTION, WS_CAPTION);
    struct expected {
        const seen_control& got;
        const char* class_name;
        const char* text;
    };
    for (const expected& e : {expected{seen.go, "Button", "&Go"},
                              expected{seen.hello, "Static", "Hello\nthere"},
                              expected{seen.edit, "Edit", "typed"}}) {
        SCOPED_TRACE(e.class_name);
        ASSERT_TRUE(e.got.found);
        EXPECT_STRCASEEQ(e.got.class_name.c_str(), e.class_name);
        EXPECT_EQ(e.got.text, e.text);
        EXPECT_TRUE(e.got.style & WS_CHILD);
    }
    // Dialog units become pixels; the controls keep their order on the page.
    EXPECT_LT(seen.hello.rect.top, seen.go.rect.top);
    EXPECT_LT(seen.go.rect.top, seen.edit.rect.top);
    EXPECT_GT(seen.go.rect.right - seen.go.rect.left, seen.go.rect.bottom - seen.go.rect.top);

    wchar_t expected_wide[8] = {};
    MultiByteToWideChar(CP_ACP, 0, "caf\xE9", 4, expected_wide, 8);
    EXPECT_EQ(seen.accented, std::wstring(expected_wide)) << "the text is converted from the ANSI code page";
}

TEST(templates_win, to_utf16_agrees_with_the_wide_text_windows_makes) {
    std::string ansi;
    for (int c = 1; c < 256; ++c) ansi += static_cast<char>(c);
    std::vector<wchar_t> wide(600);
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi.data(), static_cast<int>(ansi.size()),
                                wide.data(), static_cast<int>(wide.size()));
    ASSERT_GT(n, 0);
    std::string expected;
    for (int i = 0; i < n; ++i) {
        expected += static_cast<char>(wide[i] & 0xFF);
        expected += static_cast<char>(wide[i] >> 8);
    }
    EXPECT_EQ(to_utf16(ansi), expected);
}
