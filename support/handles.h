// One owner per kind of Windows handle: a search handle and a file handle, closed however a scope ends.
#pragma once

#include "support/bindings.h"

namespace tallyrun {

// A handle of FindFirstFile, closed by FindClose.
struct find_handle {
    win_handle h;
    explicit find_handle(win_handle handle) : h(handle) {}
    ~find_handle() {
        if (ok() && win.FindClose) win.FindClose(h);
    }
    find_handle(const find_handle&) = delete;
    find_handle& operator=(const find_handle&) = delete;
    bool ok() const { return h != invalid_handle && h != nullptr; }
};

// A handle of CreateFile, closed by CloseHandle; close() says whether that worked.
struct file_handle {
    win_handle h;
    explicit file_handle(win_handle handle) : h(handle) {}
    ~file_handle() { close(); }
    file_handle(const file_handle&) = delete;
    file_handle& operator=(const file_handle&) = delete;
    bool ok() const { return h != invalid_handle && h != nullptr; }
    bool close() {
        if (!ok()) return true;
        const bool closed = win.CloseHandle && win.CloseHandle(h);
        h = invalid_handle;
        return closed;
    }
};

}  // namespace tallyrun
