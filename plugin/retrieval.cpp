// Copying an entry out of the plugin: its members into the target folder, or a list file of them.
#include "plugin/retrieval.h"

#include "config/text.h"
#include "dialog/confirm.h"
#include "plugin/enumeration.h"
#include "plugin/startup.h"
#include "support/paths.h"

namespace tallyrun {
namespace {

// Outcomes of the two workers, before they become the host's codes.
enum class outcome { done, copy_failed, cancelled, not_found, write_failed };

// Splits at the last backslash. Unlike file_path/file_name this keeps a name
// that starts with a dot a name (".profile" is a file of its folder).
void split_path(const std::string& path, std::string& folder, std::string& name) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, cut + 1);
        name = path.substr(cut + 1);
    }
}

int32_t report(const char* remote_name, const char* local_name, int32_t percent) {
    if (!plugin.progress) return 0;
    return plugin.progress(plugin.plugin_number, remote_name, local_name, percent);
}

uint32_t last_error() { return win.GetLastError ? win.GetLastError() : 0; }

outcome copy_members(const std::string& remote_path, const std::string& local_name) {
    std::string source_folder, entry_name, target_folder, ignored;
    split_path(remote_path, source_folder, entry_name);
    split_path(local_name, target_folder, ignored);
    std::vector<real_entry> members;
    if (!get_orig_files(source_folder, entry_name, members)) return outcome::not_found;
    std::vector<real_entry> keep;
    if (!confirm_files(members, target_folder, 1, keep)) return outcome::cancelled;
    if (!win.CopyFileA) return outcome::copy_failed;
    for (const real_entry& m : keep) {
        std::string source = source_folder + m.name;
        std::string target = target_folder + m.name;
        // The caller reads the Windows error next, before any other Windows call.
        if (!win.CopyFileA(source.c_str(), target.c_str(), 0)) return outcome::copy_failed;
    }
    return outcome::done;
}

bool write_all(win_handle file, const std::string& text) {
    uint32_t done = 0;
    return win.WriteFile(file, text.data(), static_cast<uint32_t>(text.size()), &done, nullptr) &&
           done == text.size();
}

outcome write_file_list(const std::string& remote_path, const std::string& local_name) {
    std::string source_folder, entry_name;
    split_path(remote_path, source_folder, entry_name);
    std::vector<real_entry> members;
    if (!get_orig_files(source_folder, entry_name, members)) return outcome::not_found;
    if (!win.CreateFileA || !win.WriteFile || !win.CloseHandle) return outcome::write_failed;
    std::string list_name = local_name + ".lst";
    win_handle file = win.CreateFileA(list_name.c_str(), generic_write, 0, nullptr, create_always,
                                      file_attribute_normal, nullptr);
    if (file == invalid_handle) return outcome::write_failed;
    std::string text = source_folder + "\r\n";
    for (const real_entry& m : members) text += list_line(m) + "\r\n";
    bool written = write_all(file, text);
    bool closed = win.CloseHandle(file) != 0;
    return written && closed ? outcome::done : outcome::write_failed;
}

}  // namespace

std::string list_line(const real_entry& m) {
    const date_time& t = m.time;
    return m.name + "\t" + std::to_string(m.size) + "\t" + std::to_string(t.year) + "." +
           std::to_string(t.month) + "." + std::to_string(t.day) + "\t" + std::to_string(t.hour) +
           ":" + std::to_string(t.minute) + "." + std::to_string(t.second);
}

bool get_orig_files(const std::string& source_folder, const std::string& entry_name,
                    std::vector<real_entry>& members) {
    members.clear();
    if (entry_name.empty()) return false;
    const listing* l = folder_listing(source_folder);
    if (!l) return false;
    std::string wanted = win_lower(entry_name);
    for (const virtual_entry& e : l->entries) {
        if (win_lower(e.name) != wanted) continue;
        for (size_t position : e.members)
            if (position >= 1 && position <= l->real_entries.size())
                members.push_back(l->real_entries[position - 1]);
        return true;
    }
    return false;
}

int32_t FsGetFile(const char* remote_name, const char* local_name, int32_t copy_flags) {
    if (copy_flags & copy_resume) return fs_not_supported;
    std::string remote = remote_name ? peek_string(remote_name) : std::string();
    if (remote.size() < 3 || !local_name) return fs_not_found;
    if (report(remote_name, local_name, 0) != 0) return fs_aborted;

    std::string remote_path = remote.substr(1);
    std::string local = peek_string(local_name);
    outcome result;
    if (ctrl_down()) {
        result = write_file_list(remote_path, local);
    } else if (copy_flags & copy_move) {
        // Nothing here may ever be deleted, so a move cannot be done; saying
        // "done" would make the host believe the files arrived.
        return fs_not_supported;
    } else {
        result = copy_members(remote_path, local);
    }

    switch (result) {
        case outcome::cancelled: return fs_aborted;
        case outcome::write_failed: return fs_write_error;
        case outcome::not_found: return fs_not_found;
        case outcome::copy_failed: {
            uint32_t error = last_error();
            if (error == 2 || error == 3 || error == 4 || error == 5) return fs_not_found;
            if (error == error_file_exists) return fs_exists;
            return fs_read_error;
        }
        case outcome::done: break;
    }
    report(remote_name, local_name, 100);
    return fs_ok;
}

}  // namespace tallyrun
