// The one guard of every exported function: what each entry point answers when its work fails inside.
#pragma once

#include <cstdint>

#include "plugin/content.h"
#include "plugin/execution.h"
#include "plugin/retrieval.h"
#include "support/bindings.h"

namespace tallyrun {

// An entry point's answer when its work throws (out of memory, say), and the
// Windows error it then sets (0: none). Both platforms' exports take theirs
// from here, so the two cannot drift apart.
template <typename R>
struct on_failure {
    R answer;
    uint32_t error = 0;
};

inline const on_failure<win_handle> find_first_failed{invalid_handle, error_path_not_found};
inline constexpr on_failure<int32_t> load_failed{0};            // DllMain: the load is refused
inline constexpr on_failure<int32_t> init_failed{-1};
inline constexpr on_failure<int32_t> settings_failed{0};        // FsGetDefRootName, FsSetDefaultParams
inline constexpr on_failure<int32_t> find_next_failed{0};       // FsFindNext: no more entries
inline constexpr on_failure<int32_t> find_close_failed{0};
inline constexpr on_failure<int32_t> get_file_failed{fs_read_error};
inline constexpr on_failure<int32_t> execute_failed{fs_exec_error};
inline constexpr on_failure<int32_t> preview_failed{fs_bitmap_none};
inline constexpr on_failure<int32_t> field_failed{ft_nomorefields};  // FsContentGetSupportedField
inline constexpr on_failure<int32_t> value_failed{ft_fileerror};
inline constexpr on_failure<int32_t> flags_failed{0};           // FsContentGetSupportedFieldFlags
inline constexpr on_failure<int32_t> view_failed{0};            // FsContentGetDefaultView: no view
inline constexpr on_failure<int32_t> local_name_failed{0};      // FsGetLocalName: the host keeps its path
inline constexpr on_failure<int32_t> background_failed{0};      // FsGetBackgroundFlags: copies in the foreground

// Runs body and answers what it answers; when it throws, answers failed.answer
// with failed.error set. No exception and no C++ type reaches the host.
template <typename R, typename F>
R guarded(const on_failure<R>& failed, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        if (failed.error && win.SetLastError) win.SetLastError(failed.error);
        return failed.answer;
    }
}

// The same for an entry point that answers nothing.
template <typename F>
void guarded(F&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace tallyrun
