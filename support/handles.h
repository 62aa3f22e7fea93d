// Handles that close themselves however a scope ends: one owner, told by a kind how each sort of handle is closed.
#pragma once

#include "support/bindings.h"

namespace tallyrun {

// A handle that closes itself. Kind says what one is: its value_type, the
// value none() that holds nothing, valid(value), and close(value), the one
// call that gives it back (false when that failed). A move hands it on.
template <typename Kind>
class owned {
public:
    using value_type = typename Kind::value_type;

    explicit owned(value_type value = Kind::none()) : value_(value) {}
    ~owned() { close(); }
    owned(owned&& other) noexcept : value_(other.release()) {}
    owned& operator=(owned&& other) noexcept {
        if (this != &other) {
            close();
            value_ = other.release();
        }
        return *this;
    }
    owned(const owned&) = delete;
    owned& operator=(const owned&) = delete;

    bool ok() const { return Kind::valid(value_); }
    value_type get() const { return value_; }
    // The handle, no longer closed here.
    value_type release() {
        const value_type value = value_;
        value_ = Kind::none();
        return value;
    }
    // Closes it now; false when that failed (true when nothing was open).
    bool close() { return !ok() || Kind::close(release()); }

private:
    value_type value_;
};

// What FindFirstFile and CreateFile hand out.
struct win_handle_kind {
    using value_type = win_handle;
    static win_handle none() { return invalid_handle; }
    static bool valid(win_handle h) { return h != invalid_handle && h != nullptr; }
};
struct find_kind : win_handle_kind {
    static bool close(win_handle h) { return win.FindClose && win.FindClose(h); }
};
struct file_kind : win_handle_kind {
    static bool close(win_handle h) { return win.CloseHandle && win.CloseHandle(h); }
};

// A handle of FindFirstFile, closed by FindClose.
using find_handle = owned<find_kind>;
// A handle of CreateFile, closed by CloseHandle; close() says whether that worked.
using file_handle = owned<file_kind>;

}  // namespace tallyrun
