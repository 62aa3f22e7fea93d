// Path splitting, strings in host memory, the module's own identity, drives, keys and number halves.
#include "support/paths.h"

#include <cstring>
#include <vector>

namespace tallyrun {
namespace {
win_handle module_handle = nullptr;
}

size_t last_separator(std::string_view path, char separator) {
    size_t p = path.rfind(separator);
    if (p != std::string_view::npos) return p + 1;
    p = path.find(':');
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string file_path(std::string_view path, char separator) {
    size_t p = last_separator(path, separator);
    if (p == path.size()) return std::string(path);
    if (path[p] != '.') return std::string(path.substr(0, p));
    std::string folder(path);
    folder += separator;
    return folder;
}

std::string file_name(std::string_view path, char separator) {
    size_t p = last_separator(path, separator);
    if (p < path.size() && path[p] != '.') return std::string(path.substr(p));
    return std::string();
}

std::string peek_string(const char* address) { return address ? std::string(address) : std::string(); }

void poke_string(char* address, std::string_view text, size_t size) {
    if (!address || size < 1) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(address, text.data(), n);
    address[n] = 0;
}

win_handle dll_instance() { return module_handle; }
void set_dll_instance(win_handle instance) { module_handle = instance; }

std::string module_filename() {
    if (!win.GetModuleFileNameA) return std::string();
    std::vector<char> buffer(260);
    uint32_t n = win.GetModuleFileNameA(dll_instance(), buffer.data(), 260);
    if (n > 260) n = 260;
    return std::string(buffer.data(), n);
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

}  // namespace tallyrun
