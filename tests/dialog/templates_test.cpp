// Template bytes against hand-written golden arrays, and how open_dialog hands a template to Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/templates.h"

using namespace tallyrun;

namespace {

// The templates these tests make.
template_list dialog_templates;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

std::string hex(const std::string& s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (i) out += (i % 16 == 0) ? '\n' : ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

#define EXPECT_BYTES(got, expected) \
    EXPECT_EQ(hex(got), hex(expected)) << "got " << (got).size() << " bytes, expected " << (expected).size()

const std::string& registered_template(int id) {
    return dialog_templates.at(static_cast<size_t>(id) - 1);
}

const dialog_font no_font{"", 0, 0, 0};

}  // namespace

TEST(dialog_template, empty_title_without_font_is_exactly_32_bytes) {
    int id = dialog(dialog_templates, "", 0, 0, 0, 0, 0, 0, {"Ignored", 9, 700, 1});
    EXPECT_EQ(static_cast<size_t>(id), dialog_templates.size()) << "the new identifier is the list's length";
    EXPECT_BYTES(registered_template(id), bytes({
        0x01, 0x00,              // dlgVer 1
        0xFF, 0xFF,              // signature
        0x00, 0x00, 0x00, 0x00,  // helpID
        0x00, 0x00, 0x00, 0x00,  // exStyle
        0x00, 0x00, 0x00, 0x00,  // style (no DS_SETFONT: the font is not written)
        0x00, 0x00,              // cDlgItems
        0x00, 0x00,              // x
        0x00, 0x00,              // y
        0x00, 0x00,              // cx
        0x00, 0x00,              // cy
        0x00, 0x00,              // menu
        0x00, 0x00,              // windowClass
        0x00, 0x00,              // title: the zero unit alone; 32 is aligned, no fill
    }));
}

TEST(dialog_template, title_and_font_give_46_bytes_padded_to_48) {
    int id = dialog(dialog_templates, "AB", 10, 20, 300, 400, 0x40, 0x8, {"X", 8, 0, 0});
    EXPECT_BYTES(registered_template(id), bytes({
        0x01, 0x00,              // dlgVer
        0xFF, 0xFF,              // signature
        0x00, 0x00, 0x00, 0x00,  // helpID
        0x08, 0x00, 0x00, 0x00,  // exStyle 8
        0x40, 0x00, 0x00, 0x00,  // style DS_SETFONT
        0x00, 0x00,              // cDlgItems
        0x0A, 0x00,              // x 10
        0x14, 0x00,              // y 20
        0x2C, 0x01,              // cx 300
        0x90, 0x01,              // cy 400
        0x00, 0x00,              // menu
        0x00, 0x00,              // windowClass
        'A', 0x00, 'B', 0x00,    // title "AB"
        0x00, 0x00,              // title terminator
        0x08, 0x00,              // pointsize 8
        0x00, 0x00,              // weight 0
        0x00,                    // italic
        0x00,                    // charset
        'X', 0x00, 0x00, 0x00,   // typeface "X" and its terminator (46 bytes so far)
        0x00, 0x00,              // fill to 48
    }));
}

TEST(dialog_template, italic_value_carries_the_charset_in_its_high_byte) {
    int id = dialog(dialog_templates, "", 0, 0, 0, 0, 0x40, 0, {"", 9, 700, 0x0201});
    // 30 fixed + 2 title + 6 numbers + 2 typeface = 40, already aligned.
    EXPECT_BYTES(registered_template(id).substr(32), bytes({
        0x09, 0x00,  // pointsize 9
        0xBC, 0x02,  // weight 700
        0x01,        // italic
        0x02,        // charset
        0x00, 0x00,  // empty typeface: the zero unit alone
    }));
}

TEST(dialog_template, numbers_are_written_modulo_their_field_width) {
    // Bit 31 set and a negative value (two's complement); 16-bit fields keep the low bits.
    int id = dialog(dialog_templates, "", -1, 65537, -32768, 0x12345, 0x80000001u, static_cast<uint32_t>(-2), no_font);
    EXPECT_BYTES(registered_template(id).substr(8, 18), bytes({
        0xFE, 0xFF, 0xFF, 0xFF,  // exStyle -2
        0x01, 0x00, 0x00, 0x80,  // style 0x80000001
        0x00, 0x00,              // cDlgItems
        0xFF, 0xFF,              // x -1
        0x01, 0x00,              // y 65537
        0x00, 0x80,              // cx -32768
        0x45, 0x23,              // cy 0x12345
    }));
}

TEST(dialog_template, control_with_one_letter_class_and_text_is_34_bytes_padded_to_36) {
    int id = dialog(dialog_templates, "", 0, 0, 0, 0, 0, 0, no_font);
    control(dialog_templates, id, "B", "t", -1, 6, 55, 90, 15, 0x50010000u, 0x4);
    const std::string& t = registered_template(id);
    ASSERT_EQ(t.size(), 32u + 36u);
    EXPECT_BYTES(t.substr(16, 2), bytes({0x01, 0x00})) << "cDlgItems goes from 0 to 1";
    EXPECT_BYTES(t.substr(32), bytes({
        0x00, 0x00, 0x00, 0x00,  // helpID
        0x04, 0x00, 0x00, 0x00,  // exStyle 4
        0x00, 0x00, 0x01, 0x50,  // style 0x50010000
        0x06, 0x00,              // x 6
        0x37, 0x00,              // y 55
        0x5A, 0x00,              // cx 90
        0x0F, 0x00,              // cy 15
        0xFF, 0xFF, 0x00, 0x00,  // id -1 stored as 65535
        'B', 0x00, 0x00, 0x00,   // windowClass "B" by name, terminator
        't', 0x00, 0x00, 0x00,   // title "t", terminator
        0x00, 0x00,              // extraCount (34 bytes so far)
        0x00, 0x00,              // fill to 36
    }));
}

TEST(dialog_template, controls_append_in_order_each_starting_aligned) {
    int id = dialog(dialog_templates, "A", 0, 0, 0, 0, 0, 0, no_font);  // 30 + 4 = 34, padded to 36
    ASSERT_EQ(registered_template(id).size(), 36u);
    control(dialog_templates, id, "Static", "", 0x12345, 1, 2, 3, 4, 0, 0);  // 24 + 14 + 2 + 2 = 42 -> 44
    control(dialog_templates, id, "Button", "OK", 7, 1, 2, 3, 4, 0, 0);      // 24 + 14 + 6 + 2 = 46 -> 48
    const std::string& t = registered_template(id);
    ASSERT_EQ(t.size(), 36u + 44u + 48u);
    EXPECT_BYTES(t.substr(16, 2), bytes({0x02, 0x00})) << "two controls";
    EXPECT_BYTES(t.substr(36 + 20, 4), bytes({0x45, 0x23, 0x00, 0x00})) << "only the id's low 16 bits";
    EXPECT_BYTES(t.substr(36 + 24, 20), bytes({
        'S', 0, 't', 0, 'a', 0, 't', 0, 'i', 0, 'c', 0, 0, 0,  // windowClass "Static"
        0x00, 0x00,                                            // empty title: the zero unit
        0x00, 0x00,                                            // extraCount
        0x00, 0x00,                                            // fill to 44
    }));
    EXPECT_BYTES(t.substr(80 + 20, 4), bytes({0x07, 0x00, 0x00, 0x00}));
    EXPECT_BYTES(t.substr(80 + 38, 10), bytes({
        'O', 0, 'K', 0, 0, 0,  // title "OK"
        0x00, 0x00,            // extraCount
        0x00, 0x00,            // fill to 48
    }));
}

TEST(dialog_template, item_count_keeps_only_its_low_16_bits) {
    int id = dialog(dialog_templates, "", 0, 0, 0, 0, 0, 0, no_font);
    dialog_templates[static_cast<size_t>(id) - 1][16] = static_cast<char>(0xFF);
    dialog_templates[static_cast<size_t>(id) - 1][17] = static_cast<char>(0xFF);
    control(dialog_templates, id, "B", "t", 1, 0, 0, 0, 0, 0, 0);
    EXPECT_BYTES(registered_template(id).substr(16, 2), bytes({0x00, 0x00}));
}

TEST(dialog_template, control_on_an_unregistered_identifier_changes_nothing) {
    dialog(dialog_templates, "", 0, 0, 0, 0, 0, 0, no_font);
    std::vector<std::string> before = dialog_templates;
    control(dialog_templates, 0, "B", "t", 1, 0, 0, 0, 0, 0, 0);
    control(dialog_templates, static_cast<int>(dialog_templates.size()) + 1, "B", "t", 1, 0, 0, 0, 0, 0, 0);
    control(dialog_templates, -1, "B", "t", 1, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(dialog_templates, before);
}

// ---- text conversion ----

namespace {
struct conversion_call {
    uint32_t code_page, flags;
    std::string text;
    bool terminated;
    int32_t length, capacity;
};
std::vector<conversion_call> conversions;

int32_t TR_WINAPI recording_conversion(uint32_t code_page, uint32_t flags, const char* text,
                                       int32_t length, char16_t* wide, int32_t capacity) {
    conversions.push_back({code_page, flags, std::string(text, static_cast<size_t>(length)),
                           text[length] == '\0', length, capacity});
    for (int32_t i = 0; i < length; ++i) wide[i] = static_cast<char16_t>(0x0400 + i);
    return length;
}

int32_t TR_WINAPI failing_conversion(uint32_t, uint32_t, const char*, int32_t, char16_t*, int32_t) {
    return 0;
}
}  // namespace

TEST(to_utf16, passes_the_ansi_code_page_and_explicit_lengths) {
    conversions.clear();
    binding_override o(win.MultiByteToWideChar, recording_conversion);
    EXPECT_BYTES(to_utf16("abc"), bytes({0x00, 0x04, 0x01, 0x04, 0x02, 0x04}));
    ASSERT_EQ(conversions.size(), 1u);
    EXPECT_EQ(conversions[0].code_page, 0u) << "CP_ACP";
    EXPECT_EQ(conversions[0].flags, 1u) << "MB_PRECOMPOSED";
    EXPECT_EQ(conversions[0].text, "abc");
    EXPECT_TRUE(conversions[0].terminated) << "the copy handed over is NUL-terminated";
    EXPECT_EQ(conversions[0].length, 3);
    EXPECT_EQ(conversions[0].capacity, 5);
}

TEST(to_utf16, maps_through_the_code_page) {
    EXPECT_BYTES(to_utf16("A\x80\xE9"), bytes({'A', 0x00, 0xAC, 0x20, 0xE9, 0x00}));
    EXPECT_EQ(to_utf16(""), "");
    EXPECT_BYTES(to_utf16(std::string("a\0b", 3)), bytes({'a', 0, 0, 0, 'b', 0}));
}

TEST(to_utf16, a_failed_conversion_writes_an_empty_text_array) {
    binding_override o(win.MultiByteToWideChar, failing_conversion);
    EXPECT_EQ(to_utf16("abc"), "");
    int id = dialog(dialog_templates, "Title", 0, 0, 0, 0, 0, 0, no_font);
    EXPECT_EQ(registered_template(id).size(), 32u) << "the title is the zero unit alone";
}

TEST(template_helpers, align4_and_word_bytes) {
    EXPECT_EQ(align4(0), 0u);
    EXPECT_EQ(align4(1), 4u);
    EXPECT_EQ(align4(4), 4u);
    EXPECT_EQ(align4(46), 48u);
    EXPECT_EQ(align4(47), 48u);
    EXPECT_BYTES(word_bytes(0x1234), bytes({0x34, 0x12}));
    EXPECT_BYTES(word_bytes(-1), bytes({0xFF, 0xFF}));
    EXPECT_BYTES(word_bytes(0x10002), bytes({0x02, 0x00}));
}

// ---- showing ----

namespace {
struct shown_call {
    win_handle instance;
    bool aligned;
    std::string bytes;  // as many bytes as the registered template holds
    win_handle owner;
    dialog_proc proc;
    intptr_t init_param;
};
std::vector<shown_call> shown;
size_t expected_length = 0;
intptr_t dialog_answer = 0;

intptr_t TR_WINAPI recording_dialog_box(win_handle instance, const void* tmpl, win_handle owner,
                                        dialog_proc proc, intptr_t init_param) {
    shown.push_back({instance, reinterpret_cast<uintptr_t>(tmpl) % 4 == 0,
                     std::string(static_cast<const char*>(tmpl), expected_length), owner, proc,
                     init_param});
    return dialog_answer;
}

win_handle const active = reinterpret_cast<win_handle>(uintptr_t{0x5A5A0});
int active_calls = 0;
win_handle TR_WINAPI fake_active_window() {
    ++active_calls;
    return active;
}

intptr_t TR_WINAPI some_proc(win_handle, uint32_t, uintptr_t, intptr_t) { return 0; }

std::vector<std::pair<win_handle, intptr_t>> ended;
int32_t TR_WINAPI recording_end_dialog(win_handle window, intptr_t result) {
    ended.emplace_back(window, result);
    return 7;
}
}  // namespace

TEST(open_dialog, hands_an_aligned_copy_to_windows_and_returns_its_answer) {
    int id = dialog(dialog_templates, "Hi", 1, 2, 3, 4, 0x40, 0, {"F", 8, 0, 0});
    control(dialog_templates, id, "Button", "Go", 3, 0, 0, 10, 10, 0, 0);
    const std::string before = registered_template(id);
    binding_override d(win.DialogBoxIndirectParamA, recording_dialog_box);
    binding_override a(win.GetActiveWindow, fake_active_window);
    shown.clear();
    active_calls = 0;
    expected_length = before.size();
    win_handle owner = reinterpret_cast<win_handle>(uintptr_t{0x1230});

    dialog_answer = 42;
    EXPECT_EQ(open_template(registered_template(id), owner, some_proc), 42);
    dialog_answer = -1;
    EXPECT_EQ(open_template(registered_template(id), invalid_handle, some_proc), -1)
        << "Windows' failure comes back unchanged";

    ASSERT_EQ(shown.size(), 2u);
    for (const shown_call& c : shown) {
        EXPECT_EQ(c.instance, nullptr) << "the module handle passed is null";
        EXPECT_TRUE(c.aligned);
        EXPECT_BYTES(c.bytes, before);
        EXPECT_EQ(c.proc, &some_proc);
        EXPECT_EQ(c.init_param, 0);
    }
    EXPECT_EQ(shown[0].owner, owner) << "an explicit owner is passed on";
    EXPECT_EQ(shown[1].owner, active) << "-1 stands for the active window";
    EXPECT_EQ(active_calls, 1);
    EXPECT_EQ(registered_template(id), before) << "showing does not change the template";
}

TEST(open_dialog, the_wide_side_shows_the_same_template_through_the_wide_function) {
    int id = dialog(dialog_templates, "T", 0, 0, 10, 10, 0, 0, no_font);
    append_control(dialog_templates[static_cast<size_t>(id) - 1], "Static", u"\u0416\u0436", -1, 0, 0, 1, 1, 0, 0);
    binding_override a(win.DialogBoxIndirectParamA, static_cast<decltype(win.DialogBoxIndirectParamA)>(nullptr));
    binding_override w(win.DialogBoxIndirectParamW, recording_dialog_box);
    shown.clear();
    expected_length = registered_template(id).size();
    dialog_answer = 7;
    EXPECT_EQ(open_template(registered_template(id), nullptr, some_proc, true), 7);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_BYTES(shown[0].bytes, registered_template(id));
    EXPECT_EQ(open_template(registered_template(id), nullptr, some_proc), -1) << "no 8-bit function: no dialog";
    EXPECT_NE(registered_template(id).find(std::string("\x16\x04\x36\x04\0\0", 6)), std::string::npos)
        << "a UTF-16 text goes in unchanged";
}

#ifndef _WIN32
TEST(open_dialog, native_stand_in_cannot_show_a_dialog) {
    int id = dialog(dialog_templates, "", 0, 0, 0, 0, 0, 0, no_font);
    EXPECT_EQ(open_template(registered_template(id), nullptr, some_proc), -1);
}
#endif

TEST(end_dialog, passes_window_and_result_and_returns_windows_answer) {
    binding_override e(win.EndDialog, recording_end_dialog);
    ended.clear();
    win_handle w = reinterpret_cast<win_handle>(uintptr_t{0x777});
    EXPECT_EQ(end_dialog(w, 8), 7);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].first, w);
    EXPECT_EQ(ended[0].second, 8);
}
