// Path splitting, strings in host memory, the module's own identity, drives, keys and number halves.
#include "support/paths.h"

#include <algorithm>
#include <vector>

namespace tallyrun {

template <typename C>
std::basic_string_view<C> real_path(std::basic_string_view<C> host_path) {
    if (!drives_at_root) return host_path;
    return host_path.empty() || host_path[0] != C(path_separator) ? host_path : host_path.substr(1);
}

template <typename C>
std::basic_string<C> drive_of(std::basic_string_view<C> host_path) {
    std::basic_string_view<C> drive = real_path(host_path);
    while (!drive.empty() && drive.back() == C(path_separator)) drive.remove_suffix(1);
    if (!drives_at_root || drive.size() != 2 || drive[1] != C(':') || host_path.empty() || host_path[0] != C(path_separator))
        return {};
    return std::basic_string<C>(drive);
}

template <typename C>
std::basic_string<C> search_pattern(std::basic_string_view<C> folder) {
    while (!folder.empty() && folder.back() == C(path_separator)) folder.remove_suffix(1);
    std::basic_string<C> pattern(folder);
    for (char c : std::string_view(drives_at_root ? "\\*.*" : "/*")) pattern += C(c);
    return pattern;
}

template <typename C>
size_t last_separator(std::basic_string_view<C> path, C separator) {
    size_t p = path.rfind(separator);
    if (p != path.npos) return p + 1;
    p = path.find(C(':'));
    return p == path.npos ? 0 : p + 1;
}

template <typename C>
std::basic_string<C> file_path(std::basic_string_view<C> path, C separator) {
    size_t p = last_separator(path, separator);
    if (p == path.size()) return std::basic_string<C>(path);
    if (path[p] != C('.')) return std::basic_string<C>(path.substr(0, p));
    std::basic_string<C> folder(path);
    folder += separator;
    return folder;
}

template <typename C>
split_path<C>::split_path(std::basic_string_view<C> path, C separator) {
    const size_t cut = path.rfind(separator);
    if (cut == path.npos) {
        name = path;
    } else {
        folder = path.substr(0, cut + 1);
        name = path.substr(cut + 1);
    }
}

template <typename C>
std::basic_string<C> peek_string(const C* address) {
    return address ? std::basic_string<C>(address) : std::basic_string<C>();
}

template <typename C>
void poke_string(C* address, std::basic_string_view<C> text, size_t size) {
    if (!address || size < 1) return;
    const size_t n = std::min(text.size(), size - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), address);
    address[n] = C(0);
}

template <typename C>
std::basic_string<C> system_path(std::basic_string_view<C> path) {
    std::basic_string<C> out(path);
    if constexpr (sizeof(C) == 2 && drives_at_root) {
        constexpr size_t max_path = 260;
        auto starts = [&](const char* prefix) {
            for (size_t i = 0; prefix[i]; ++i)
                if (i >= path.size() || path[i] != C(prefix[i])) return false;
            return true;
        };
        if (path.size() >= max_path && !starts("\\\\?\\")) {
            if (starts("\\\\"))
                out = std::basic_string<C>(u"\\\\?\\UNC\\") + std::basic_string<C>(path.substr(2));
            else
                out = std::basic_string<C>(u"\\\\?\\") + out;
        }
    }
    return out;
}

win_handle dll_instance() { return win.module; }
void set_dll_instance(win_handle instance) { win.module = instance; }

std::u16string module_filename() {
    if (!win.GetModuleFileNameW) return std::u16string();
    // A module path may exceed MAX_PATH; Windows says so by filling the buffer.
    for (uint32_t size = 260; size <= 32768; size *= 2) {
        std::vector<char16_t> buffer(size);
        uint32_t n = win.GetModuleFileNameW(dll_instance(), buffer.data(), size);
        if (n == 0) return std::u16string();
        if (n < size) return std::u16string(buffer.data(), n);
    }
    return std::u16string();
}

uint32_t drive_type(std::string_view root) {
    std::string path(root);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return win.GetDriveTypeA ? win.GetDriveTypeA(path.c_str()) : 1;
}

int ctrl_down() {
    if (!win.GetKeyState) return 0;
    uint16_t state = static_cast<uint16_t>(win.GetKeyState(0x11));
    return (state & 0x8000u) ? 1 : 0;
}

#define TALLYRUN_PATHS(C)                                                                \
    template std::basic_string_view<C> real_path<C>(std::basic_string_view<C>);         \
    template std::basic_string<C> drive_of<C>(std::basic_string_view<C>);               \
    template std::basic_string<C> search_pattern<C>(std::basic_string_view<C>);         \
    template size_t last_separator<C>(std::basic_string_view<C>, C);                     \
    template std::basic_string<C> file_path<C>(std::basic_string_view<C>, C);            \
    template struct split_path<C>;                                                       \
    template std::basic_string<C> peek_string<C>(const C*);                              \
    template void poke_string<C>(C*, std::basic_string_view<C>, size_t);                 \
    template std::basic_string<C> system_path<C>(std::basic_string_view<C>);
TALLYRUN_PATHS(char)
TALLYRUN_PATHS(char16_t)

win_handle owner_window() {
    win_handle active = win.GetActiveWindow ? win.GetActiveWindow() : nullptr;
    if (active) return active;
    // A thread with no window of its own (a background copy): the host's
    // window the user works in, so that the dialog comes up in front of it.
    if (!win.GetForegroundWindow || !win.GetWindowThreadProcessId || !win.GetCurrentProcessId) return nullptr;
    win_handle front = win.GetForegroundWindow();
    uint32_t process = 0;
    if (front && win.GetWindowThreadProcessId(front, &process) && process == win.GetCurrentProcessId()) return front;
    return nullptr;
}

}  // namespace tallyrun
