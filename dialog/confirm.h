// The overwrite confirmation: a six-button prompt per existing target, and the members it lets through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/retrieval.h"
#include "support/bindings.h"

namespace tallyrun {

// The registered confirmation template (six buttons, no message), 0 before
// confirm_dialog_setup ran.
extern int confirm_dialog;

// Builds the confirmation template once, at start-up; later calls do nothing.
void confirm_dialog_setup();

// The members that may be copied into target_folder (ending in a backslash),
// in input order, into keep. A target that cannot be listed counts as absent.
// An existing target is asked about while mode is 1 (any mode but 0, 2, 3),
// overwritten by 0, overwritten only when older than its source by 2 (equal
// times keep the target), skipped by 3; the buttons "all", "older" and "skip
// all" change the mode for the rest of this call. False, with keep empty, when
// the user cancelled (Cancel, Escape, close box) or a prompt could not be
// shown or gave an answer that is no button's: then nothing may be copied.
template <typename C>
bool confirm_files(const std::vector<member<C>>& members, std::basic_string_view<C> target_folder, int mode,
                   std::vector<member<C>>& keep);

// The prompt's text about replacing target (as the folder listing spells it)
// with source: names, full sizes, day.month.year hour:minute:second.
template <typename C>
std::basic_string<C> overwrite_message(const member<C>& source, const member<C>& target);

// Shows one prompt (the six buttons and this pair's message) owned by the
// active window and returns the dialog result: 3 to 8 for the buttons, 0 for
// Escape or the close box, -1 when the dialog could not be shown. The 8-bit
// side shows it with DialogBoxIndirectParamA, the wide one with ...W.
template <typename C>
intptr_t ask_overwrite(const member<C>& source, const member<C>& target);

// Dialog procedure: Enter gives 3 (overwrite), Escape and the close box 0.
intptr_t TR_WINAPI mainDialogProc(win_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

}  // namespace tallyrun
