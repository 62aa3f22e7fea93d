// Dialogs without resources: extended dialog templates built as bytes at run time and shown modally.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/bindings.h"

namespace tallyrun {

// Face name, point size, weight, italic flag (the italic value's high byte is
// written as the character set).
struct dialog_font {
    std::string face;
    int point_size;
    int weight;
    int italic;
};

// The templates made by `dialog` into one list; a template's identifier is its
// 1-based position. Nothing is ever removed, so identifiers are never reused.
using template_list = std::vector<std::string>;

// Registers a new template (header, title, font block when style has
// DS_SETFONT 0x40, zero fill to a multiple of 4) with no controls and returns
// its identifier, from 1 up. 32-bit values are written as their unsigned
// pattern, 16-bit fields as the low 16 bits.
int dialog(template_list& list, std::string_view title, int x, int y, int cx, int cy, uint32_t style,
           uint32_t ex_style, const dialog_font& font);

// Appends one control (class by name, never the ordinal form; only the low 16
// bits of control_id) to template dialog_id of list and raises its item count by one.
// An unregistered dialog_id is ignored.
void control(template_list& list, int dialog_id, std::string_view class_name, std::string_view text, int control_id,
             int x, int y, int cx, int cy, uint32_t style, uint32_t ex_style);

// The same, on a template held by the caller (for a one-off copy of a
// registered template); the text in ANSI or already in UTF-16.
void append_control(std::string& dialog_template, std::string_view class_name,
                    std::string_view text, int control_id, int x, int y, int cx, int cy,
                    uint32_t style, uint32_t ex_style);
void append_control(std::string& dialog_template, std::string_view class_name,
                    std::u16string_view text, int control_id, int x, int y, int cx, int cy,
                    uint32_t style, uint32_t ex_style);

// Shows template bytes modally and returns what the procedure passed to
// end_dialog; -1 when Windows cannot create the dialog. owner ==
// invalid_handle (-1) stands for owner_window() at the time of the call.
// wide: through DialogBoxIndirectParamW, else ...A (the template is UTF-16 either way).
intptr_t open_template(const std::string& dialog_template, win_handle owner, dialog_proc proc, bool wide = false);

// Ends the modal dialog `window`, making its open_dialog return result.
// Returns EndDialog's answer (0 on failure or when the function is missing).
int32_t end_dialog(win_handle window, intptr_t result);

// The UTF-16LE bytes of an ANSI text, no terminator; empty when the text is
// empty or cannot be converted.
std::string to_utf16(std::string_view text);
// The little-endian bytes of UTF-16 units.
std::string utf16_bytes(std::u16string_view text);
// n rounded up to a multiple of 4.
size_t align4(size_t n);
// The low 16 bits of n as two little-endian bytes.
std::string word_bytes(int64_t n);

}  // namespace tallyrun
