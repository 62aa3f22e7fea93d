// Extended dialog templates (DLGTEMPLATEEX with DLGITEMTEMPLATEEX items) built as bytes and shown modally.
#include "dialog/templates.h"

#include <cstring>

#include "support/paths.h"
#include "support/wide.h"

namespace tallyrun {

namespace {

constexpr uint32_t ds_setfont = 0x40;

std::string dword_bytes(uint32_t n) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return b;
}

// A text array: the code units, then the zero unit.
std::string text_array(std::string_view text) { return to_utf16(text) + std::string(2, '\0'); }

void pad4(std::string& bytes) { bytes.resize(align4(bytes.size()), '\0'); }

bool registered(const template_list& list, int dialog_id) {
    return dialog_id >= 1 && static_cast<size_t>(dialog_id) <= list.size();
}

}  // namespace

std::string utf16_bytes(std::u16string_view text) {
    std::string out(2 * text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<char>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return out;
}

std::string to_utf16(std::string_view text) { return utf16_bytes(to_wide(text)); }

size_t align4(size_t n) { return (n + 3) / 4 * 4; }

std::string word_bytes(int64_t n) {
    uint64_t u = static_cast<uint64_t>(n);
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF)};
}

int dialog(template_list& list, std::string_view title, int x, int y, int cx, int cy, uint32_t style,
           uint32_t ex_style, const dialog_font& font) {
    std::string t;
    t += word_bytes(1);       // dlgVer
    t += word_bytes(0xFFFF);  // signature: the extended format
    t += dword_bytes(0);      // helpID
    t += dword_bytes(ex_style);
    t += dword_bytes(style);
    t += word_bytes(0);  // cDlgItems, raised by each control
    t += word_bytes(x);
    t += word_bytes(y);
    t += word_bytes(cx);
    t += word_bytes(cy);
    t += word_bytes(0);  // menu: none
    t += word_bytes(0);  // window class: the standard dialog class
    t += text_array(title);
    if (style & ds_setfont) {
        t += word_bytes(font.point_size);
        t += word_bytes(font.weight);
        t += word_bytes(font.italic);  // low byte italic, high byte character set
        t += text_array(font.face);
    }
    pad4(t);
    list.push_back(std::move(t));
    return static_cast<int>(list.size());
}

namespace {

void append_item(std::string& dialog_template, std::string_view class_name, const std::string& text_units,
                 int control_id, int x, int y, int cx, int cy, uint32_t style, uint32_t ex_style) {
    if (dialog_template.size() < 18) return;
    std::string item;
    item += dword_bytes(0);  // helpID
    item += dword_bytes(ex_style);
    item += dword_bytes(style);
    item += word_bytes(x);
    item += word_bytes(y);
    item += word_bytes(cx);
    item += word_bytes(cy);
    item += word_bytes(control_id);  // the id is a 32-bit field with a zero high word
    item += word_bytes(0);
    item += text_array(class_name);
    item += text_units + std::string(2, '\0');
    item += word_bytes(0);  // extraCount: no creation data
    pad4(item);
    // The header was padded to 4 and so is every item, so the new one starts aligned.
    dialog_template += item;
    unsigned count = static_cast<unsigned char>(dialog_template[16]) |
                     static_cast<unsigned>(static_cast<unsigned char>(dialog_template[17])) << 8;
    std::string c = word_bytes(count + 1);
    dialog_template[16] = c[0];
    dialog_template[17] = c[1];
}

}  // namespace

void append_control(std::string& dialog_template, std::string_view class_name, std::string_view text,
                    int control_id, int x, int y, int cx, int cy, uint32_t style, uint32_t ex_style) {
    append_item(dialog_template, class_name, to_utf16(text), control_id, x, y, cx, cy, style, ex_style);
}

void append_control(std::string& dialog_template, std::string_view class_name, std::u16string_view text,
                    int control_id, int x, int y, int cx, int cy, uint32_t style, uint32_t ex_style) {
    append_item(dialog_template, class_name, utf16_bytes(text), control_id, x, y, cx, cy, style, ex_style);
}

void control(template_list& list, int dialog_id, std::string_view class_name, std::string_view text, int control_id,
             int x, int y, int cx, int cy, uint32_t style, uint32_t ex_style) {
    if (!registered(list, dialog_id)) return;
    append_control(list[static_cast<size_t>(dialog_id) - 1], class_name, text,
                   control_id, x, y, cx, cy, style, ex_style);
}

intptr_t open_template(const std::string& dialog_template, win_handle owner, dialog_proc proc, bool wide) {
    auto show = wide ? win.DialogBoxIndirectParamW : win.DialogBoxIndirectParamA;
    if (!show) return -1;
    // Windows wants the template on a 4-byte boundary; a block of 32-bit words is one.
    std::vector<uint32_t> block(align4(dialog_template.size()) / 4 + 1, 0);
    std::memcpy(block.data(), dialog_template.data(), dialog_template.size());
    if (owner == invalid_handle) owner = owner_window();
    return show(nullptr, block.data(), owner, proc, 0);
}

int32_t end_dialog(win_handle window, intptr_t result) {
    return win.EndDialog ? win.EndDialog(window, result) : 0;
}

}  // namespace tallyrun
