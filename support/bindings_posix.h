// What the two halves of the Linux binding table share: names as bytes, error numbers, and the host's dialogs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/bindings.h"

namespace tallyrun {

// A name as the system stores it (bytes, normally UTF-8) in UTF-16. Each byte
// that is no part of a valid UTF-8 character becomes the lone low surrogate
// U+DC00 + byte (U+DC80..U+DCFF: surrogate escape), so every name is shown
// and found again by its own bytes.
std::u16string wide_of_name(std::string_view bytes);
// The bytes of a wide name: the inverse of wide_of_name. A lone surrogate
// outside U+DC80..U+DCFF has no byte form: it becomes '?' and *lost is set.
std::string name_of_wide(std::u16string_view wide, bool* lost);

// The Windows error number that stands for an errno value; 31
// (ERROR_GEN_FAILURE) for one without a closer match.
uint32_t windows_error_of(int error);

// MessageBoxA/W through the host's MessageBox (UTF-8), or on standard error
// before the host gave one (then the answer is IDOK).
int32_t TR_WINAPI message_box_a(win_handle owner, const char* text, const char* caption, uint32_t type);
int32_t TR_WINAPI message_box_w(win_handle owner, const char16_t* text, const char16_t* caption, uint32_t type);

// DialogBoxIndirectParamW through the host's DialogBoxLFM: the extended
// template's title, buttons and static texts become a form built at run time;
// the procedure gets WM_INITDIALOG when the form shows, WM_COMMAND with a
// button's id when it is clicked, and WM_CLOSE when the form was closed
// otherwise (close box, Escape). Answers what the procedure passed to
// EndDialog, or -1 when the template has what a form cannot show or the host
// gave no dialogs.
intptr_t TR_WINAPI dialog_box_indirect_param_w(win_handle instance, const void* dialog_template, win_handle owner,
                                               dialog_proc proc, intptr_t init_param);
// EndDialog for such a form: ends it (DM_CLOSE) and keeps the result; 0 for a
// window that is no form being shown.
int32_t TR_WINAPI end_dialog_posix(win_handle window, intptr_t result);

}  // namespace tallyrun
