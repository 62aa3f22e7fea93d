// Copying an entry out of the plugin, on both sides: its members into the target folder, or a list file of them.
#include "plugin/retrieval.h"

#include <algorithm>

#include "plugin/context.h"
#include "plugin/folder.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/unit.h"
#include "support/wide.h"

namespace tallyrun {
namespace {

// Outcomes of the two workers, before they become the host's codes.
enum class outcome { done, copy_failed, cancelled, not_found, write_failed };

int32_t report(const plugin_state& plugin, const char* remote_name, const char* local_name, int32_t percent) {
    if (plugin.progress) return plugin.progress(plugin.plugin_number, remote_name, local_name, percent);
    if (!plugin.progress_w) return 0;
    return plugin.progress_w(plugin.plugin_number, to_wide(remote_name).c_str(), to_wide(local_name).c_str(), percent);
}

int32_t report(const plugin_state& plugin, const char16_t* remote_name, const char16_t* local_name, int32_t percent) {
    if (plugin.progress_w) return plugin.progress_w(plugin.plugin_number, remote_name, local_name, percent);
    if (!plugin.progress) return 0;
    std::string remote, local;
    to_ansi(remote_name, remote);
    to_ansi(local_name, local);
    return plugin.progress(plugin.plugin_number, remote.c_str(), local.c_str(), percent);
}

uint32_t last_error() { return win.GetLastError ? win.GetLastError() : 0; }

// The entry's progress as the host hears of it: the bytes of the members
// copied so far over the total of those to copy, told whenever it rises by a
// whole percent or 200 ms have passed, with the host's own names. The 0 and
// 100 of the whole entry are told by get_file.
template <typename C>
struct copy_progress {
    const plugin_state& settings;
    const C* remote_name;
    const C* local_name;
    uint64_t total = 0;
    uint64_t done = 0;  // bytes of the members finished before this one
    int32_t shown = 0;
    uint32_t shown_at = 0;  // GetTickCount of the last report
    bool aborted = false;

    static uint32_t now() { return win.GetTickCount ? win.GetTickCount() : 0; }

    // CopyFileEx's progress routine for one member.
    static uint32_t TR_WINAPI on_chunk(int64_t, int64_t transferred, int64_t, int64_t, uint32_t, uint32_t, win_handle,
                                       win_handle, void* data) {
        auto* self = static_cast<copy_progress*>(data);
        if (self->total == 0) return progress_continue;
        const uint64_t bytes = self->done + static_cast<uint64_t>(transferred);
        // 100 is told once the whole entry is done (a member grown since the listing tells no more).
        if (bytes >= self->total) return progress_continue;
        const int32_t percent = static_cast<int32_t>(bytes * 100 / self->total);
        const uint32_t at = now();
        if (percent <= self->shown && at - self->shown_at < 200) return progress_continue;
        self->shown = std::max(percent, self->shown);
        self->shown_at = at;
        if (report(self->settings, self->remote_name, self->local_name, self->shown) == 0) return progress_continue;
        self->aborted = true;
        return progress_cancel;
    }
};

bool later(local_step a, local_step b) {
    // Steps count forward in time; no time compares as the earliest.
    const uint64_t x = a == no_step ? 0 : uint64_t{a} + 1, y = b == no_step ? 0 : uint64_t{b} + 1;
    return x > y;
}

template <typename C>
outcome copy_members(plugin_context& context, std::basic_string_view<C> remote_path,
                     std::basic_string_view<C> local_name, copy_progress<C>& progress) {
    const split_path<C> source(remote_path, C(path_separator)), target(local_name, C(path_separator));
    std::vector<member<C>> members;
    listing_ref<C> kept;
    if (!get_orig_files<C>(context, source.folder, source.name, members, kept)) return outcome::not_found;
    std::vector<member<C>> keep;
    if (!confirm_files<C>(context.prompt, members, target.folder, overwrite_mode::ask, keep)) return outcome::cancelled;
    for (const member<C>& m : keep) progress.total += m.file.size();
    progress.shown_at = progress.now();
    for (const member<C>& m : keep) {
        const std::basic_string<C> from = system_path<C>(source.folder + std::basic_string<C>(m.name));
        const std::basic_string<C> to = system_path<C>(target.folder + std::basic_string<C>(m.name));
        // The caller reads the Windows error next, before any other Windows call.
        if (!unit<C>::copy_file(from.c_str(), to.c_str(), copy_progress<C>::on_chunk, &progress))
            return progress.aborted ? outcome::cancelled : outcome::copy_failed;
        progress.done += m.file.size();
    }
    return outcome::done;
}

template <typename C>
outcome write_file_list(plugin_context& context, std::basic_string_view<C> remote_path,
                        std::basic_string_view<C> local_name) {
    const split_path<C> source(remote_path, C(path_separator));
    std::vector<member<C>> members;
    listing_ref<C> kept;
    if (!get_orig_files<C>(context, source.folder, source.name, members, kept)) return outcome::not_found;
    if (!win.WriteFile || !win.CloseHandle) return outcome::write_failed;
    std::basic_string<C> list_name(local_name);
    for (char c : std::string_view(".lst")) list_name += C(c);
    file_handle file(unit<C>::create_file(system_path<C>(list_name).c_str(), generic_write, create_always));
    if (!file.ok()) return outcome::write_failed;
    std::basic_string<C> text = source.folder + C('\r') + C('\n');
    for (const member<C>& m : members) text += list_line(m) + C('\r') + C('\n');
    const std::string bytes = list_file_bytes(text);
    uint32_t done = 0;
    const bool written = win.WriteFile(file.get(), bytes.data(), static_cast<uint32_t>(bytes.size()), &done, nullptr) &&
                         done == bytes.size();
    const bool closed = file.close();
    return written && closed ? outcome::done : outcome::write_failed;
}

template <typename C>
int32_t get_file(plugin_context& context, const C* remote_name, const C* local_name, int32_t copy_flags) {
    if (copy_flags & copy_resume) return fs_not_supported;
    const std::basic_string<C> remote = remote_name ? peek_string(remote_name) : std::basic_string<C>();
    if (remote.size() < shortest_host_file_path || !local_name) return fs_not_found;
    const plugin_state& settings = context.settings;
    if (report(settings, remote_name, local_name, 0) != 0) return fs_aborted;

    const std::basic_string_view<C> remote_path = real_path<C>(remote);
    const std::basic_string<C> local = peek_string(local_name);
    outcome result;
    if (ctrl_down()) {
        result = write_file_list<C>(context, remote_path, local);
    } else if (copy_flags & copy_move) {
        // Nothing here may ever be deleted, so a move cannot be done; saying
        // "done" would make the host believe the files arrived.
        return fs_not_supported;
    } else {
        copy_progress<C> progress{settings, remote_name, local_name};
        result = copy_members<C>(context, remote_path, local, progress);
    }

    switch (result) {
        case outcome::cancelled: return fs_aborted;
        case outcome::write_failed: return fs_write_error;
        case outcome::not_found: return fs_not_found;
        case outcome::copy_failed: {
            const uint32_t error = last_error();
            if (error == error_file_not_found || error == error_path_not_found || error == error_too_many_open_files ||
                error == error_access_denied)
                return fs_not_found;
            if (error == error_file_exists) return fs_exists;
            return fs_read_error;
        }
        case outcome::done: break;
    }
    report(settings, remote_name, local_name, 100);
    return fs_ok;
}

template <typename C>
std::basic_string<C> decimal(uint64_t n) {
    std::basic_string<C> out;
    for (char c : std::to_string(n)) out += C(c);
    return out;
}

}  // namespace

std::string list_file_bytes(const std::string& text) { return text; }

std::string list_file_bytes(const std::u16string& text) {
    std::string ansi;
    if (to_ansi(text, ansi)) return ansi;
    return "\xEF\xBB\xBF" + utf8_of(text);
}

template <typename C>
std::basic_string<C> list_line(const member<C>& m) {
    const date_time t = date_time_of_step(m.file.time);
    std::basic_string<C> line(m.name);
    line += C('\t');
    line += decimal<C>(m.file.size()) + C('\t');
    line += decimal<C>(t.year) + C('.') + decimal<C>(t.month) + C('.') + decimal<C>(t.day) + C('\t');
    line += decimal<C>(t.hour) + C(':') + decimal<C>(t.minute) + C('.') + decimal<C>(t.second);
    return line;
}

template <typename C>
bool confirm_files(const confirm_prompt& prompt, const std::vector<member<C>>& members,
                   std::basic_string_view<C> target_folder, overwrite_mode mode, std::vector<member<C>>& keep) {
    keep.clear();
    std::vector<member<C>> kept;
    for (const member<C>& entry : members) {
        member<C> target{};
        std::basic_string<C> target_name;
        if (!find_entry<C>(std::basic_string<C>(target_folder) + std::basic_string<C>(entry.name), target.file,
                           target_name)) {
            kept.push_back(entry);
            continue;
        }
        target.name = target_name;
        if (mode == overwrite_mode::skip_all) continue;
        if (mode == overwrite_mode::overwrite_all) {
            kept.push_back(entry);
            continue;
        }
        if (mode != overwrite_mode::older) {
            switch (ask_overwrite(prompt, entry, target)) {
                case overwrite_answer::overwrite:
                    kept.push_back(entry);
                    continue;
                case overwrite_answer::overwrite_all:
                    kept.push_back(entry);
                    mode = overwrite_mode::overwrite_all;
                    continue;
                case overwrite_answer::skip:
                    continue;
                case overwrite_answer::older:
                    mode = overwrite_mode::older;
                    break;  // this entry is judged by the age test below
                case overwrite_answer::skip_all:
                    mode = overwrite_mode::skip_all;
                    continue;
                case overwrite_answer::cancel:
                    return false;
            }
        }
        if (later(entry.file.time, target.file.time)) kept.push_back(entry);
    }
    keep = std::move(kept);
    return true;
}

template <typename C>
bool get_orig_files(plugin_context& context, std::basic_string_view<C> source_folder,
                    std::basic_string_view<C> entry_name, std::vector<member<C>>& members, listing_ref<C>& kept) {
    members.clear();
    found_entry<C> found;
    if (!find_entry_in(context, source_folder, entry_name, found)) return false;
    kept = found.kept;
    const listing<C>& l = found.kept->data;
    const entry_view<C> e = found.view();
    members.reserve(e.count);
    for (uint32_t i = e.first; i < e.first + e.count; ++i) members.push_back(member<C>{l.name_of(l.files[i]), l.files[i]});
    return true;
}

int32_t FsGetBackgroundFlags() {
    const bool prompts_anywhere = !host_has_dialog_api || context().settings.host_version_api >= dialogs_on_any_thread_version;
    return prompts_anywhere ? bg_download : 0;
}

int32_t FsGetFile(const char* remote_name, const char* local_name, int32_t copy_flags) {
    return get_file<char>(context(), remote_name, local_name, copy_flags);
}

int32_t FsGetFileW(const char16_t* remote_name, const char16_t* local_name, int32_t copy_flags) {
    return get_file<char16_t>(context(), remote_name, local_name, copy_flags);
}

#define TALLYRUN_RETRIEVAL(C)                                                                                 \
    template bool confirm_files<C>(const confirm_prompt&, const std::vector<member<C>>&, std::basic_string_view<C>, \
                                   overwrite_mode, std::vector<member<C>>&);                                       \
    template bool get_orig_files<C>(plugin_context&, std::basic_string_view<C>, std::basic_string_view<C>,         \
                                    std::vector<member<C>>&, listing_ref<C>&);
TALLYRUN_RETRIEVAL(char)
TALLYRUN_RETRIEVAL(char16_t)
template std::string list_line<char>(const member<char>&);
template std::u16string list_line<char16_t>(const member<char16_t>&);

}  // namespace tallyrun
