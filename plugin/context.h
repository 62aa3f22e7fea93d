// The plugin's one context: what start-up makes and every entry point passes down to the code below it.
#pragma once

#include "dialog/confirm.h"
#include "plugin/enumeration.h"
#include "plugin/startup.h"
#include "support/host_calls.h"

namespace tallyrun {

// Everything the exported functions share, beside the binding table. Every
// exported function may be called from any thread and while others run:
// - settings and prompt are written only by the host's set-up calls
//   (FsInit, FsSetDefaultParams, ExtensionInitialize), which a host makes
//   before it lists or copies, and read afterwards;
// - tables are read and changed only under tables.lock, which is held for
//   look-ups alone, never while a folder is read, a prompt shown or a file
//   copied; a listing in them never changes once built, and whoever holds
//   one (a search handle, a copy, a column query, a local-name look-up)
//   keeps it alive;
// - forms (the Linux build's host dialogs) take turns under forms.turn.
// Nothing else is shared between calls: the rest is made per call and passed down.
struct plugin_context {
    plugin_state settings;
    listing_tables tables;
    confirm_prompt prompt;
#ifdef TALLYRUN_POSIX
    host_forms forms;
#endif
};

// The module's context, made at its first use and kept until the module goes.
plugin_context& context();

}  // namespace tallyrun
