// A stand-in for Double Commander's message box and form calls that records what it is shown and answers by script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/host_calls.h"

namespace tallyrun::testing {

struct sent_message {
    std::string item;
    intptr_t message, wparam;
};

// What the host was shown and sent, and how it answers the next forms.
struct scripted_host {
    std::vector<std::string> boxes;   // "caption|text|flags" of each message box
    std::vector<std::string> forms;   // the LFM text of each form
    std::vector<sent_message> sent;   // every SendDlgMsg
    std::vector<std::string> clicks;  // the control each next form is answered with; "" closes it as the close box does
    bool shows = true;                // false: the host never shows a form
};
inline scripted_host script;

inline const uintptr_t scripted_form = 0x5150;

inline int32_t scripted_message_box(char* text, char* caption, long flags) {
    script.boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(flags));
    return 1;
}

// Shows the form as the host does: DN_INITDIALOG, then the scripted click;
// true (-1, the host's true) when the plugin ended it with DM_CLOSE and mrOK.
inline int32_t scripted_dialog_box_lfm(intptr_t lfm, unsigned long size, host_dialog_proc proc) {
    script.forms.emplace_back(reinterpret_cast<const char*>(lfm), size);
    if (!script.shows) return 0;
    const size_t sent_before = script.sent.size();
    char form_name[] = "DialogBox";
    proc(scripted_form, form_name, dn_initdialog, 0, 0);
    std::string click = script.clicks.empty() ? "" : script.clicks.front();
    if (!script.clicks.empty()) script.clicks.erase(script.clicks.begin());
    if (!click.empty()) proc(scripted_form, click.data(), dn_click, 0, 0);
    for (size_t i = sent_before; i < script.sent.size(); ++i)
        if (script.sent[i].message == dm_close) return script.sent[i].wparam == host_modal_ok ? -1 : 0;
    return 0;
}

inline intptr_t scripted_send_dlg_msg(uintptr_t form, char* item, intptr_t message, intptr_t wparam, intptr_t) {
    if (form == scripted_form) script.sent.push_back({item ? item : "", message, wparam});
    return 0;
}

// The three calls, as ExtensionInitialize hands them over.
inline host_calls scripted_calls() {
    host_calls calls;
    calls.MessageBox = scripted_message_box;
    calls.DialogBoxLFM = scripted_dialog_box_lfm;
    calls.SendDlgMsg = scripted_send_dlg_msg;
    return calls;
}

}  // namespace tallyrun::testing
