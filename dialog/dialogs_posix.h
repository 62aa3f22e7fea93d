// The Linux build's message boxes and dialogs, shown through the host's forms.
#pragma once

#include <cstdint>

#include "support/bindings.h"
#include "support/host_calls.h"

namespace tallyrun {

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

// Puts the four functions above into the binding table, showing their forms
// through `forms` (which must outlive every later call of them; the plugin's
// context keeps it). Until forms->calls holds the host's calls, message boxes
// go to standard error and dialogs cannot be shown.
void bind_host_forms(host_forms* forms);

}  // namespace tallyrun
