// Enter and thumbnails on the plugin's entries: the real files opened in place, and their paths for previews.
#include "plugin/execution.h"

#include <string>
#include <string_view>

#include "plugin/context.h"
#include "plugin/folder.h"
#include "plugin/sample_ini.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/unit.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

constexpr size_t preview_capacity = 260;

template <typename C>
bool starts_with(std::basic_string_view<C> text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (text[i] != C(prefix[i])) return false;
    return true;
}

std::u16string wide_of(std::string_view ansi) { return to_wide(ansi); }
std::u16string wide_of(std::u16string_view wide) { return std::u16string(wide); }

// The shell's verb on a real file or folder; false when it fails or is missing.
bool shell(win_handle window, const char16_t* verb, const std::u16string& path) {
    if (!win.ShellExecuteExW) return false;
    win_shell_execute_info info{};
    info.size = sizeof info;
    info.mask = see_mask_flag_no_ui;
    // The property sheet is a verb of the item's context menu, not of its file type.
    if (std::u16string_view(verb) == u"properties") info.mask |= see_mask_invokeidlist;
    info.window = window;
    info.verb = verb;
    info.file = path.c_str();
    info.show = sw_shownormal;
    return win.ShellExecuteExW(&info) != 0;
}

// The tallyrun.ini the listings read, else a new one from the release's
// sample in the host's INI folder (beside the plugin when the host named none).
bool settings_file(const plugin_state& plugin, std::u16string& path) {
    const ini_place place = ini_place_of(plugin);
    for (const std::u16string& folder : place.folders) {
        listed_file f;
        std::u16string name;
        if (find_entry<char16_t>(folder + place.name, f, name)) {
            path = folder + place.name;
            return true;
        }
    }
    const std::u16string folder = !plugin.ini_folder.empty() ? plugin.ini_folder : place.folders.back();
    path = folder + place.name;
    file_handle file(unit<char16_t>::create_file(system_path<char16_t>(path).c_str(), generic_write, create_always));
    if (!file.ok() || !win.WriteFile) return false;
    const std::string_view text(sample_ini);
    uint32_t done = 0;
    const bool written = win.WriteFile(file.get(), text.data(), static_cast<uint32_t>(text.size()), &done, nullptr) &&
                         done == text.size();
    return file.close() && written;
}

template <typename C>
int32_t execute_file(plugin_context& context, win_handle main_window, const C* remote_name, const C* verb_text) {
    if (!remote_name || !verb_text) return fs_exec_error;
    const std::basic_string<C> host_path = peek_string(remote_name), verb = peek_string(verb_text);
    const std::basic_string_view<C> v(verb);
    if (starts_with(v, "MODE")) return fs_exec_ok;
    const bool open = v == side_text<C>("open"), properties = v == side_text<C>("properties");
    if (!open && !properties) return fs_exec_error;

    const std::basic_string_view<C> path(host_path);
    if (path.find_first_not_of(C(path_separator)) == path.npos) {  // the root
        if (!properties) return fs_exec_yourself;
        std::u16string ini;
        return settings_file(context.settings, ini) && shell(main_window, u"open", ini) ? fs_exec_ok : fs_exec_error;
    }
    found_entry<C> found;
    if (!find_host_entry(context, path, found)) {
        // A drive ("\C:") is a folder of no listing.
        const std::basic_string<C> drive = drive_of(path);
        if (drive.empty()) return fs_exec_error;
        if (open) return fs_exec_yourself;
        return shell(main_window, u"properties", wide_of(drive + C(path_separator))) ? fs_exec_ok : fs_exec_error;
    }
    const entry_view<C> e = found.view();
    const bool folder = e.count == 0;
    if (open && folder) return fs_exec_yourself;
    const std::u16string real = wide_of(folder ? found.folder + std::basic_string<C>(e.name) : found.real_path_of(0));
    return shell(main_window, open ? u"open" : u"properties", real) ? fs_exec_ok : fs_exec_error;
}

template <typename C>
int32_t preview_bitmap(plugin_context& context, C* remote_name) {
    if (!remote_name) return fs_bitmap_none;
    found_entry<C> found;
    if (!find_host_entry<C>(context, peek_string(remote_name), found) || found.view().count == 0) return fs_bitmap_none;
    const std::basic_string<C> real = found.real_path_of(0);
    if (real.size() >= preview_capacity) return fs_bitmap_none;
    poke_string<C>(remote_name, real, preview_capacity);
    return fs_bitmap_extract_yourself + fs_bitmap_cache;
}

template <typename C>
bool local_name(plugin_context& context, C* remote_name, int32_t max_length) {
    if (!remote_name || max_length < 1) return false;
    found_entry<C> found;
    if (!find_host_entry<C>(context, peek_string(remote_name), found) || found.view().count == 0) return false;
    const std::basic_string<C> real = found.real_path_of(0);
    if (real.size() >= static_cast<size_t>(max_length)) return false;
    poke_string<C>(remote_name, real, static_cast<size_t>(max_length));
    return true;
}

}  // namespace

bool FsGetLocalName(char* remote_name, int32_t max_length) { return local_name(context(), remote_name, max_length); }
bool FsGetLocalNameW(char16_t* remote_name, int32_t max_length) { return local_name(context(), remote_name, max_length); }

int32_t FsExecuteFile(win_handle main_window, char* remote_name, const char* verb) {
    return execute_file<char>(context(), main_window, remote_name, verb);
}

int32_t FsExecuteFileW(win_handle main_window, char16_t* remote_name, const char16_t* verb) {
    return execute_file<char16_t>(context(), main_window, remote_name, verb);
}

int32_t FsGetPreviewBitmap(char* remote_name, int32_t, int32_t, win_handle*) { return preview_bitmap(context(), remote_name); }

int32_t FsGetPreviewBitmapW(char16_t* remote_name, int32_t, int32_t, win_handle*) {
    return preview_bitmap(context(), remote_name);
}

}  // namespace tallyrun
