// The one context, the start-up that gives it its first values, and the host's settings calls.
#include "plugin/startup.h"

#include "plugin/context.h"
#include "support/paths.h"
#include "support/wide.h"
#ifdef TALLYRUN_POSIX
#include "dialog/dialogs_posix.h"
#endif

namespace tallyrun {

plugin_context& context() {
    static plugin_context the_context;
    return the_context;
}

namespace {
bool start_up_bound(bool bound) {
    // Without a way to show a message the module cannot work; nothing more runs.
    if (!bound) return false;
    plugin_context& c = context();
#ifdef TALLYRUN_POSIX
    // The host's forms are given later, by ExtensionInitialize; until then messages go to standard error.
    c.forms.calls = host_calls{};
    bind_host_forms(&c.forms);
#endif
    reset_listings(c.tables);
    confirm_dialog_setup(c.prompt);
    c.settings = plugin_state{};
    c.settings.root_name = "Tallyrun";
    c.settings.ini_name = u"tallyrun.ini";
    return true;
}
}  // namespace

ini_place ini_place_of(const plugin_state& state) {
    ini_place place;
    place.name = state.ini_name;
    if (!state.config_folder.empty()) place.folders.push_back(state.config_folder);
    place.folders.push_back(state.ini_folder);
    place.folders.push_back(file_path<char16_t>(module_filename(), path_separator));
    return place;
}

bool start_up() { return start_up_bound(bind_windows()); }
#ifdef _WIN32
bool start_up(function_lookup lookup) { return start_up_bound(bind_windows(lookup)); }
#endif

int32_t dll_main(win_handle instance, uint32_t reason) {
    set_dll_instance(instance);
    if (reason == 1) return start_up() ? 1 : 0;
    return 1;
}

int32_t FsInit(int32_t plugin_number, progress_proc progress) {
    plugin_state& plugin = context().settings;
    plugin.plugin_number = plugin_number;
    plugin.progress = progress;
    return 0;
}

int32_t FsInitW(int32_t plugin_number, progress_proc_w progress) {
    plugin_state& plugin = context().settings;
    plugin.plugin_number = plugin_number;
    plugin.progress_w = progress;
    return 0;
}

int32_t FsGetDefRootName(char* name, int32_t size) {
    if (name && size >= 1) poke_string<char>(name, context().settings.root_name, static_cast<size_t>(size));
    return 0;
}

int32_t FsSetDefaultParams(const void* record) {
    if (!record) return 0;
    // The name field is MAX_PATH bytes: never read beyond it, even unterminated.
    const char* name = static_cast<const char*>(record) + 12;
    size_t length = 0;
    while (length < host_max_path - 1 && name[length]) ++length;
    context().settings.ini_folder = to_wide(file_path<char>(std::string_view(name, length), path_separator));
    return 0;
}

void ExtensionInitialize(std::string_view config_folder, const host_calls& calls, uintptr_t version_api) {
    plugin_context& c = context();
    plugin_state& plugin = c.settings;
    plugin.host_version_api = version_api;
    plugin.config_folder = to_wide(config_folder);
    if (!plugin.config_folder.empty() && plugin.config_folder.back() != char16_t(path_separator))
        plugin.config_folder += char16_t(path_separator);
#ifdef TALLYRUN_POSIX
    c.forms.calls = calls;
#else
    (void)calls;
#endif
}

}  // namespace tallyrun
