// One file copied in chunks, telling a progress routine after each and stopping when it says so: CopyFileEx by hand.
#include "support/file_copy.h"

#include <memory>

#include "support/handles.h"
#include "support/unit.h"

namespace tallyrun {
namespace {

uint32_t last_error() { return win.GetLastError ? win.GetLastError() : 0; }

void set_error(uint32_t error) {
    if (win.SetLastError) win.SetLastError(error);
}

}  // namespace

template <typename C>
int32_t TR_WINAPI copy_in_chunks(const C* source, const C* target, copy_progress_routine progress, void* data,
                                 int32_t* cancel, uint32_t flags) {
    if (!source || !target || !win.ReadFile || !win.WriteFile) {
        set_error(error_invalid_parameter);
        return 0;
    }
    const uint32_t attributes = unit<C>::attributes_of(source);
    file_handle from(unit<C>::create_file(source, generic_read, open_existing,
                                          file_share_read | file_share_write | file_share_delete,
                                          file_flag_sequential_scan));
    if (!from.ok()) return 0;
    int64_t total = 0;
    win_filetime written{};
    if ((win.GetFileSizeEx && !win.GetFileSizeEx(from.get(), &total)) ||
        (win.GetFileTime && !win.GetFileTime(from.get(), nullptr, nullptr, &written)))
        return 0;
    file_handle to(unit<C>::create_file(target, generic_write,
                                        (flags & copy_file_fail_if_exists) ? create_new : create_always));
    if (!to.ok()) return 0;

    // Ends the copy without a target: the error is the one that stopped it.
    auto fail = [&](uint32_t error) {
        to.close();
        unit<C>::delete_file(target);
        set_error(error);
        return 0;
    };
    auto told = [&](int64_t done, uint32_t reason) {
        return tell_progress(progress, total, done, reason, from.get(), to.get(), data);
    };
    if (!told(0, callback_stream_switch)) return fail(error_request_aborted);
    std::unique_ptr<char[]> buffer(new char[copy_chunk_bytes]);
    for (int64_t done = 0;;) {
        if (cancel && *cancel) return fail(error_request_aborted);
        uint32_t got = 0, put = 0;
        if (!win.ReadFile(from.get(), buffer.get(), copy_chunk_bytes, &got, nullptr)) return fail(last_error());
        if (got == 0) break;
        if (!win.WriteFile(to.get(), buffer.get(), got, &put, nullptr)) return fail(last_error());
        if (put != got) return fail(error_disk_full);
        done += got;
        if (!told(done, callback_chunk_finished)) return fail(error_request_aborted);
    }
    if (win.SetFileTime && !win.SetFileTime(to.get(), nullptr, nullptr, &written)) return fail(last_error());
    if (!to.close()) {
        const uint32_t error = last_error();
        unit<C>::delete_file(target);
        set_error(error);
        return 0;
    }
    // Read-only goes on last: the target could not be written after it.
    if (attributes != invalid_file_attributes) unit<C>::set_attributes(target, attributes);
    return 1;
}

void choose_copy_file_ex(win_bindings& table, function_lookup lookup) {
    const bool wine = lookup("ntdll.dll", "wine_get_version") != nullptr;
    auto system_a = reinterpret_cast<decltype(table.CopyFileExA)>(lookup("kernel32.dll", "CopyFileExA"));
    auto system_w = reinterpret_cast<decltype(table.CopyFileExW)>(lookup("kernel32.dll", "CopyFileExW"));
    table.CopyFileExA = system_a && !wine ? system_a : copy_in_chunks<char>;
    table.CopyFileExW = system_w && !wine ? system_w : copy_in_chunks<char16_t>;
}

template int32_t TR_WINAPI copy_in_chunks<char>(const char*, const char*, copy_progress_routine, void*, int32_t*,
                                                uint32_t);
template int32_t TR_WINAPI copy_in_chunks<char16_t>(const char16_t*, const char16_t*, copy_progress_routine, void*,
                                                    int32_t*, uint32_t);

}  // namespace tallyrun
