// The overwrite prompt: six buttons and a message about one existing target, and what the user answered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/templates.h"
#include "sequence/listing.h"
#include "support/bindings.h"

namespace tallyrun {

// The prompt's template (six buttons, no message), registered once in its own
// list, and its dialog procedure; id is 0 before confirm_dialog_setup ran.
struct confirm_prompt {
    template_list templates;
    int id = 0;
    dialog_proc proc = nullptr;
};

// Builds the prompt's template; a prompt already built stays as it is.
void confirm_dialog_setup(confirm_prompt& prompt);

// What the user answered a prompt: a button, or cancel for Cancel, Escape, the
// close box, a prompt that could not be shown and an answer that is no button's.
enum class overwrite_answer { overwrite, overwrite_all, skip, cancel, older, skip_all };

// The prompt's text about replacing target (as the folder listing spells it)
// with source: names, full sizes, day.month.year hour:minute:second.
template <typename C>
std::basic_string<C> overwrite_message(const member<C>& source, const member<C>& target);

// Shows one prompt (the six buttons and this pair's message) owned by
// owner_window() and returns the dialog's result: 3 to 8 for the buttons, 0 for
// Escape or the close box, -1 when the dialog could not be shown. The 8-bit
// side shows it with DialogBoxIndirectParamA, the wide one with ...W.
template <typename C>
intptr_t show_overwrite_prompt(const confirm_prompt& prompt, const member<C>& source, const member<C>& target);

// The same prompt, its result as the user's answer.
template <typename C>
overwrite_answer ask_overwrite(const confirm_prompt& prompt, const member<C>& source, const member<C>& target);

// Dialog procedure: Enter gives 3 (overwrite), Escape and the close box 0.
intptr_t TR_WINAPI mainDialogProc(win_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

}  // namespace tallyrun
