// The plugin-wide state, the start-up that gives it its first values, and the host's settings calls.
#include "plugin/startup.h"

#include <cstring>

#include "dialog/confirm.h"
#include "plugin/enumeration.h"
#include "support/paths.h"

namespace tallyrun {

plugin_state plugin;

void start_up() {
    bind_windows();
    reset_listings();
    confirm_dialog_setup();
    plugin = plugin_state{};
    plugin.root_name = "Tallyrun";
    plugin.ini_name = "tallyrun.ini";
}

int32_t dll_main(win_handle instance, uint32_t reason) {
    set_dll_instance(instance);
    if (reason == 1) start_up();
    return 1;
}

int32_t FsInit(int32_t plugin_number, progress_proc progress) {
    plugin.plugin_number = plugin_number;
    plugin.progress = progress;
    return 0;
}

int32_t FsGetDefRootName(char* name, int32_t size) {
    if (name && size >= 1) poke_string(name, plugin.root_name, static_cast<size_t>(size));
    return 0;
}

int32_t FsSetDefaultParams(const void* record) {
    if (!record) return 0;
    // The name field is MAX_PATH bytes: never read beyond it, even unterminated.
    const char* name = static_cast<const char*>(record) + 12;
    size_t length = 0;
    while (length < 259 && name[length]) ++length;
    plugin.ini_folder = file_path(std::string(name, length), '\\');
    return 0;
}

}  // namespace tallyrun
