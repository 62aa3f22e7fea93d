// The Linux build's message boxes and dialogs, shown through the host's forms.
#pragma once

#include <cstdint>

#include "support/bindings.h"
#include "support/host_calls.h"

namespace tallyrun {

// Puts MessageBoxA/W, DialogBoxIndirectParamW and EndDialog into the binding
// table, shown through `forms` (which must outlive every later call of them;
// the plugin's context keeps it). Until forms->calls holds the host's calls, message boxes
// go to standard error (answered IDOK) and dialogs cannot be shown (-1).
// A dialog's template becomes a form built at run time from its title,
// buttons and static texts; its procedure gets WM_INITDIALOG when the form
// shows, WM_COMMAND with a button's id when one is clicked, and WM_CLOSE when
// the form was closed otherwise (close box, Escape); EndDialog ends it
// (DM_CLOSE), and answers 0 for a window that is no form being shown.
void bind_host_forms(host_forms* forms);

}  // namespace tallyrun
