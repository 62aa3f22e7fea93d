// The Linux build's message boxes and dialogs: Windows dialog templates shown as forms of the host's dialog API.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/dialogs_posix.h"

#include "support/bindings_posix.h"
#include "support/utf16.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

constexpr uint32_t ds_setfont = 0x40, ds_shellfont = 0x48, ds_center = 0x800;
constexpr uint32_t ws_tabstop = 0x00010000u, ws_disabled = 0x08000000u, ws_visible = 0x10000000u;
constexpr uint32_t wm_initdialog = 0x0110, wm_command = 0x0111, wm_close = 0x0010;
constexpr uint32_t error_invalid_window_handle = 1400;
constexpr uintptr_t id_cancel = 2;

// Dialog units to pixels. Windows takes them from the dialog's font (MS Sans
// Serif 8 gives 6 x 13 pixels a character); the host's GTK font is larger, so
// the form is laid out for a character of 7 x 16.
constexpr int base_x = 7, base_y = 16;

// Text for the eye: a lone surrogate (an escaped byte of a name, say) shows as U+FFFD.
std::string display_text(std::u16string_view wide) {
    std::u16string shown(wide);
    for (size_t i = 0; i < shown.size(); ++i) {
        const char16_t u = shown[i];
        if (pair_at(shown.data(), shown.size(), i))
            ++i;
        else if (is_surrogate_unit(u))
            shown[i] = 0xFFFD;
    }
    return utf8_of(shown);
}

// --- Reading an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items)

struct template_item {
    std::u16string class_name;
    std::u16string text;
    int32_t id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
};

struct dialog_form {
    std::u16string title;
    uint32_t style = 0;
    int cx = 0, cy = 0;
    std::vector<template_item> items;
};

struct template_reader {
    const unsigned char* base;
    size_t at = 0;

    uint16_t word() {
        const uint16_t w = static_cast<uint16_t>(base[at] | base[at + 1] << 8);
        at += 2;
        return w;
    }
    uint32_t dword() {
        const uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    int16_t coordinate() { return static_cast<int16_t>(word()); }
    std::u16string text() {
        std::u16string s;
        for (char16_t u; (u = word()) != 0;) s += u;
        return s;
    }
    // A name or an ordinal; false for an ordinal, whose value goes to *ordinal.
    bool name_or_ordinal(std::u16string& name, uint16_t* ordinal) {
        if (base[at] == 0xFF && base[at + 1] == 0xFF) {
            at += 2;
            *ordinal = word();
            return false;
        }
        name = text();
        return true;
    }
    void align4() { at = (at + 3) / 4 * 4; }
};

// The standard control classes by their ordinals (0x0080 Button, 0x0082 Static).
std::u16string class_of_ordinal(uint16_t ordinal) {
    if (ordinal == 0x0080) return u"Button";
    if (ordinal == 0x0082) return u"Static";
    return u"";
}

bool read_template(const void* data, dialog_form& form) {
    template_reader r{static_cast<const unsigned char*>(data)};
    if (r.word() != 1 || r.word() != 0xFFFF) return false;  // only the extended form
    r.dword();                                              // help id
    r.dword();                                              // extended style
    form.style = r.dword();
    const uint16_t count = r.word();
    r.coordinate();
    r.coordinate();
    form.cx = r.coordinate();
    form.cy = r.coordinate();
    std::u16string ignored;
    uint16_t ordinal = 0;
    r.name_or_ordinal(ignored, &ordinal);  // menu
    if (!r.name_or_ordinal(ignored, &ordinal) || !ignored.empty()) return false;  // a window class of its own
    form.title = r.text();
    if ((form.style & ds_setfont) || (form.style & ds_shellfont) == ds_shellfont) {
        r.word();  // point size
        r.word();  // weight
        r.word();  // italic, character set
        r.text();  // face
    }
    for (uint16_t k = 0; k < count; ++k) {
        r.align4();
        template_item item;
        r.dword();  // help id
        r.dword();  // extended style
        item.style = r.dword();
        item.x = r.coordinate();
        item.y = r.coordinate();
        item.cx = r.coordinate();
        item.cy = r.coordinate();
        item.id = static_cast<int32_t>(r.dword());
        if (!r.name_or_ordinal(item.class_name, &ordinal)) item.class_name = class_of_ordinal(ordinal);
        if (!r.name_or_ordinal(item.text, &ordinal)) return false;  // a picture by resource number
        r.at += r.word();  // creation data
        form.items.push_back(std::move(item));
    }
    return true;
}

// --- Writing the form (LFM text)

// A text as an LFM string: printable ASCII in quotes, every other byte of its
// UTF-8 as #n, which is how the host's form files keep them. The host's labels
// drop an empty line: it gets a space, which keeps it.
std::string lfm_string(std::u16string_view text) {
    std::string bytes;
    for (char c : display_text(text)) {
        if (c == '\n' && !bytes.empty() && bytes.back() == '\n') bytes += ' ';
        bytes += c;
    }
    std::string out;
    bool quoted = false;
    for (unsigned char b : bytes) {
        const bool plain = b >= 0x20 && b < 0x7F;
        if (plain != quoted) {
            out += '\'';
            quoted = plain;
        }
        if (!plain) {
            out += '#' + std::to_string(b);
        } else {
            out += static_cast<char>(b);
            if (b == '\'') out += '\'';
        }
    }
    if (quoted) out += '\'';
    return out.empty() ? "''" : out;
}

std::string pixels_x(int units) { return std::to_string(units * base_x / 4); }
std::string pixels_y(int units) { return std::to_string(units * base_y / 8); }

bool is_class(const template_item& item, std::u16string_view name) {
    if (item.class_name.size() != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = item.class_name[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        char16_t d = name[i];
        if (d >= u'a' && d <= u'z') d = static_cast<char16_t>(d - 32);
        if (c != d) return false;
    }
    return true;
}

// Item k of the form is named Item<k+1>, so that a click names its control.
std::string item_name(size_t k) { return "Item" + std::to_string(k + 1); }

// The form of a template; false when it holds a control other than a button or a static text.
bool lfm_of(const dialog_form& form, std::string& lfm) {
    const std::string width = pixels_x(form.cx), height = pixels_y(form.cy);
    lfm = "object DialogBox: TDialogBox\n"
          "  Width = " + width + "\n  Height = " + height + "\n  ClientWidth = " + width +
          "\n  ClientHeight = " + height + "\n  BorderStyle = bsDialog\n  Caption = " + lfm_string(form.title) +
          "\n  Position = " + ((form.style & ds_center) ? "poScreenCenter" : "poOwnerFormCenter") +
          "\n  OnShow = DialogBoxShow\n";
    int tab_order = 0;
    for (size_t k = 0; k < form.items.size(); ++k) {
        const template_item& item = form.items[k];
        const bool button = is_class(item, u"Button");
        if (!button && !is_class(item, u"Static")) return false;
        lfm += "  object " + item_name(k) + (button ? ": TButton\n" : ": TLabel\n");
        lfm += "    Left = " + pixels_x(item.x) + "\n    Top = " + pixels_y(item.y) + "\n    Width = " + pixels_x(item.cx) +
               "\n    Height = " + pixels_y(item.cy) + "\n    Caption = " + lfm_string(item.text) + "\n";
        if (!(item.style & ws_visible)) lfm += "    Visible = False\n";
        if (item.style & ws_disabled) lfm += "    Enabled = False\n";
        if (button) {
            lfm += "    TabOrder = " + std::to_string(tab_order++) + "\n";
            lfm += (item.style & ws_tabstop) ? "    TabStop = True\n" : "    TabStop = False\n";
            lfm += "    OnClick = ButtonClick\n";
        } else {
            // A static text keeps its box and wraps its words, as Windows lays it out.
            lfm += "    AutoSize = False\n    WordWrap = True\n";
        }
        lfm += "  end\n";
    }
    // Windows turns Escape into IDCANCEL in every dialog; a form hears of
    // Escape only through a button marked Cancel, so it gets one, out of sight.
    lfm += "  object Escape: TButton\n    Left = -100\n    Top = 0\n    Width = 1\n    Height = 1\n"
           "    Cancel = True\n    TabStop = False\n    OnClick = ButtonClick\n  end\n";
    lfm += "end\n";
    return true;
}

// --- Showing it

// The dialog on screen. The host's call-back carries no data of the caller,
// so the one being shown is found through the table's forms; a dialog opened
// from inside another keeps the outer one and puts it back.
struct shown_dialog {
    dialog_proc proc;
    intptr_t init_param;
    std::vector<int32_t> ids;  // control id of each item
    uintptr_t form = 0;        // the host's form, from its first call-back
    bool showing = true;       // false once DialogBoxLFM returned
    bool ended = false;
    intptr_t result = 0;
};
// The host's calls, or null before the host gave them.
const host_calls* host_of() { return win.forms ? &win.forms->calls : nullptr; }
shown_dialog* shown_of() { return win.forms ? static_cast<shown_dialog*>(win.forms->shown) : nullptr; }

win_handle window_of(uintptr_t form) { return reinterpret_cast<win_handle>(form); }

intptr_t form_event(uintptr_t form, char* item, intptr_t message, intptr_t, intptr_t) {
    shown_dialog* d = shown_of();
    if (!d) return 0;
    d->form = form;
    if (message == dn_initdialog) {
        d->proc(window_of(form), wm_initdialog, 0, d->init_param);
    } else if (message == dn_click && item && !d->ended) {
        const std::string_view name(item);
        if (name == "Escape") {
            d->proc(window_of(form), wm_command, id_cancel, 0);
            return 0;
        }
        size_t k = 0;
        if (name.substr(0, 4) == "Item") {
            for (char c : name.substr(4)) {
                if (c < '0' || c > '9' || k > d->ids.size()) {
                    k = 0;
                    break;
                }
                k = k * 10 + static_cast<size_t>(c - '0');
            }
        }
        // The notification code (BN_CLICKED) is 0: wParam is the id alone.
        if (k >= 1 && k <= d->ids.size())
            d->proc(window_of(form), wm_command, static_cast<uint16_t>(d->ids[k - 1]), 0);
    }
    return 0;
}

int32_t TR_WINAPI message_box_a(win_handle, const char* text, const char* caption, uint32_t type) {
    const host_calls* host = host_of();
    if (host && host->MessageBox)
        return host->MessageBox(const_cast<char*>(text ? text : ""), const_cast<char*>(caption ? caption : ""),
                                static_cast<long>(type));
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return 1;
}

int32_t TR_WINAPI message_box_w(win_handle owner, const char16_t* text, const char16_t* caption, uint32_t type) {
    const std::string t = display_text(text ? text : u""), c = display_text(caption ? caption : u"");
    return message_box_a(owner, t.c_str(), c.c_str(), type);
}

intptr_t TR_WINAPI dialog_box_indirect_param_w(win_handle, const void* dialog_template, win_handle, dialog_proc proc,
                                               intptr_t init_param) {
    dialog_form form;
    std::string lfm;
    const host_calls* host = host_of();
    if (!dialog_template || !proc || !host || !host->DialogBoxLFM || !host->SendDlgMsg ||
        !read_template(dialog_template, form) || !lfm_of(form, lfm))
        return -1;
    // The host's call-back names no dialog, so one is shown at a time: two
    // background copies that both ask take turns. The same thread may nest one.
    std::lock_guard<std::recursive_mutex> turn(win.forms->turn);
    shown_dialog d{proc, init_param, {}};
    for (const template_item& item : form.items) d.ids.push_back(item.id);
    void* outer = win.forms->shown;
    win.forms->shown = &d;
    host->DialogBoxLFM(reinterpret_cast<intptr_t>(lfm.data()), static_cast<unsigned long>(lfm.size()), form_event);
    d.showing = false;
    // Closed without a button (the close box, Alt+F4): the procedure hears
    // of it as Windows tells it, with the form already gone.
    if (d.form && !d.ended) d.proc(window_of(d.form), wm_close, 0, 0);
    win.forms->shown = outer;
    if (!d.form) return -1;  // the host never showed it
    return d.ended ? d.result : 0;
}

int32_t TR_WINAPI end_dialog_posix(win_handle window, intptr_t result) {
    shown_dialog* d = shown_of();
    if (!d || !d->form || window != window_of(d->form) || d->ended) {
        if (win.SetLastError) win.SetLastError(error_invalid_window_handle);
        return 0;
    }
    d->ended = true;
    d->result = result;
    // Newer hosts act only on a control the form has: every form has Escape.
    if (d->showing) {
        char name[] = "Escape";
        host_of()->SendDlgMsg(d->form, name, dm_close, host_modal_ok, 0);
    }
    return 1;
}

}  // namespace

void bind_host_forms(host_forms* forms) {
    win.forms = forms;
    win.MessageBoxA = message_box_a;
    win.MessageBoxW = message_box_w;
    win.DialogBoxIndirectParamW = dialog_box_indirect_param_w;
    win.EndDialog = end_dialog_posix;
}

}  // namespace tallyrun
