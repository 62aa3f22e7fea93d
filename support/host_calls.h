// The file manager's own message box and forms, as its ExtensionInitialize hands them to the plugin.
#pragma once

#include <cstdint>
#include <mutex>

namespace tallyrun {

// The host's form call-back: the form, the name of the control that the event
// concerns (the form's own name for DN_INITDIALOG), the message and its two
// values. Double Commander calls it with the C convention on every platform.
using host_dialog_proc = intptr_t (*)(uintptr_t dialog, char* item_name, intptr_t message, intptr_t wparam,
                                      intptr_t lparam);

// The calls the plugin uses, by the host's names; null until the host gave
// them. Texts are UTF-8; a host BOOL is an int whose true may be -1.
struct host_calls {
    int32_t (*MessageBox)(char* text, char* caption, long flags) = nullptr;
    int32_t (*DialogBoxLFM)(intptr_t lfm_text, unsigned long size, host_dialog_proc proc) = nullptr;
    intptr_t (*SendDlgMsg)(uintptr_t dialog, char* item_name, intptr_t message, intptr_t wparam,
                           intptr_t lparam) = nullptr;
};

// Host messages and values of the form calls.
inline constexpr intptr_t dm_close = 1;        // ends the form; wParam becomes its modal result
inline constexpr intptr_t dn_click = 0x1001;   // a button was clicked
inline constexpr intptr_t dn_initdialog = 0x1005;  // the form is being shown
inline constexpr intptr_t host_modal_ok = 1;   // mrOK: DialogBoxLFM answers true

// What the Linux build's forms go through: the host's calls, the dialog on
// screen (the host's call-back names none) and the turn that lets one form
// show at a time, whichever thread asks.
struct host_forms {
    host_calls calls;
    void* shown = nullptr;
    std::recursive_mutex turn;
};

}  // namespace tallyrun
