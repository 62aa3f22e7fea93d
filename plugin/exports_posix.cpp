// The Linux plugin's exported entry points: thin C shims over the engine, in the host's records (MAX_PATH 4096).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "plugin/boundary.h"
#include "plugin/content.h"
#include "plugin/enumeration.h"
#include "plugin/execution.h"
#include "plugin/retrieval.h"
#include "plugin/startup.h"
#include "support/paths.h"

#define TR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The host's records as Double Commander lays them out on Linux: packed, its
// MAX_PATH (host_max_path) 4096, WCHAR a UTF-16 unit, the C convention throughout.
using tallyrun::host_max_path;
constexpr size_t ext_max_path = 16384;

#pragma pack(push, 1)
struct FILETIME {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};
struct WIN32_FIND_DATAW {
    uint32_t dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    uint32_t nFileSizeHigh;
    uint32_t nFileSizeLow;
    uint32_t dwReserved0;
    uint32_t dwReserved1;
    char16_t cFileName[host_max_path];
    char16_t cAlternateFileName[14];
};
struct FsDefaultParamStruct {
    int32_t size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[host_max_path];
};
struct RemoteInfoStruct {
    uint32_t SizeLow;
    uint32_t SizeHigh;
    FILETIME LastWriteTime;
    int32_t Attr;
};
struct tExtensionStartupInfo {
    uint32_t StructSize;
    char PluginDir[ext_max_path];
    char PluginConfDir[ext_max_path];
    void* InputBox;
    void* MessageBox;
    void* DialogBoxLFM;
    void* DialogBoxLRS;
    void* DialogBoxLFMFile;
    void* SendDlgMsg;
    // From Double Commander 1.1.5 on; 1.0 leaves them zero.
    void* Translation;
    void* TranslateString;
    uintptr_t VersionAPI;
    unsigned char Reserved[4096 * sizeof(void*) - 3 * sizeof(void*)];
};
#pragma pack(pop)

// Sizes and offsets as the host's SDK units give them on Linux x86-64.
static_assert(sizeof(FILETIME) == 8, "FILETIME");
static_assert(sizeof(WIN32_FIND_DATAW) == 8264 && offsetof(WIN32_FIND_DATAW, ftLastWriteTime) == 20 &&
                  offsetof(WIN32_FIND_DATAW, nFileSizeHigh) == 28 && offsetof(WIN32_FIND_DATAW, nFileSizeLow) == 32 &&
                  offsetof(WIN32_FIND_DATAW, cFileName) == 44 && offsetof(WIN32_FIND_DATAW, cAlternateFileName) == 8236,
              "WIN32_FIND_DATAW");
static_assert(sizeof(FsDefaultParamStruct) == 4108 && offsetof(FsDefaultParamStruct, DefaultIniName) == 12,
              "FsDefaultParamStruct");
static_assert(sizeof(RemoteInfoStruct) == 20 && offsetof(RemoteInfoStruct, LastWriteTime) == 8 &&
                  offsetof(RemoteInfoStruct, Attr) == 16,
              "RemoteInfoStruct");
static_assert(sizeof(tExtensionStartupInfo) == 65588 && offsetof(tExtensionStartupInfo, PluginConfDir) == 16388 &&
                  offsetof(tExtensionStartupInfo, MessageBox) == 32780 &&
                  offsetof(tExtensionStartupInfo, DialogBoxLFM) == 32788 &&
                  offsetof(tExtensionStartupInfo, SendDlgMsg) == 32812 &&
                  offsetof(tExtensionStartupInfo, VersionAPI) == 32836,
              "tExtensionStartupInfo");
static_assert(host_max_path == 4096, "the host's MAX_PATH on Linux");

// The engine's entry into the host's record: every field written, for the
// host never clears the record it passes.
void to_host(const tallyrun::win_find_data_w& from, WIN32_FIND_DATAW* to) {
    std::memset(static_cast<void*>(to), 0, sizeof *to);
    to->dwFileAttributes = from.attributes;
    to->ftCreationTime = {from.creation_time.low, from.creation_time.high};
    to->ftLastAccessTime = {from.last_access_time.low, from.last_access_time.high};
    to->ftLastWriteTime = {from.last_write_time.low, from.last_write_time.high};
    to->nFileSizeHigh = from.size_high;
    to->nFileSizeLow = from.size_low;
    for (size_t i = 0; i < sizeof from.name / sizeof from.name[0] && from.name[i]; ++i) to->cFileName[i] = from.name[i];
}

// What DllMain's process attach does on Windows, once, at the host's first
// call: a constructor of the shared object could run before the engine's own
// static objects are made. May throw; every shim calls it inside its guard.
void start_once() {
    static const int32_t started = tallyrun::dll_main(reinterpret_cast<tallyrun::win_handle>(&start_once), 1);
    (void)started;
}

}  // namespace

using namespace tallyrun;

TR_EXPORT void ExtensionInitialize(tExtensionStartupInfo* info) {
    guarded([&] {
        start_once();
        if (!info || info->StructSize < offsetof(tExtensionStartupInfo, Translation)) return;
        // The record lives on the host's stack: what is needed is copied.
        const char* folder = info->PluginConfDir;
        host_calls calls;
        calls.MessageBox = reinterpret_cast<decltype(calls.MessageBox)>(info->MessageBox);
        calls.DialogBoxLFM = reinterpret_cast<decltype(calls.DialogBoxLFM)>(info->DialogBoxLFM);
        calls.SendDlgMsg = reinterpret_cast<decltype(calls.SendDlgMsg)>(info->SendDlgMsg);
        const uintptr_t version_api = info->StructSize >= offsetof(tExtensionStartupInfo, Reserved) ? info->VersionAPI : 0;
        tallyrun::ExtensionInitialize(std::string_view(folder, strnlen(folder, ext_max_path)), calls, version_api);
    });
}

TR_EXPORT int FsInitW(int plugin_number, void* progress, void*, void*) {
    return guarded(init_failed, [&] {
        start_once();
        return tallyrun::FsInitW(plugin_number, reinterpret_cast<progress_proc_w>(progress));
    });
}

TR_EXPORT int FsGetDefRootName(char* name, int size) {
    return guarded(settings_failed, [&] {
        start_once();
        return tallyrun::FsGetDefRootName(name, size);
    });
}

TR_EXPORT void FsSetDefaultParams(FsDefaultParamStruct* record) {
    guarded([&] {
        start_once();
        tallyrun::FsSetDefaultParams(record);
    });
}

TR_EXPORT void* FsFindFirstW(char16_t* path, WIN32_FIND_DATAW* data) {
    return guarded(find_first_failed, [&] {
        start_once();
        win_find_data_w found{};
        win_handle h = tallyrun::FsFindFirstW(path, data ? &found : nullptr);
        if (h != invalid_handle) to_host(found, data);
        return h;
    });
}

TR_EXPORT int FsFindNextW(void* handle, WIN32_FIND_DATAW* data) {
    return guarded(find_next_failed, [&] {
        start_once();
        win_find_data_w found{};
        if (!data || !tallyrun::FsFindNextW(handle, &found)) return 0;
        to_host(found, data);
        return 1;
    });
}

TR_EXPORT int FsFindClose(void* handle) {
    return guarded(find_close_failed, [&] {
        start_once();
        return tallyrun::FsFindClose(handle);
    });
}

TR_EXPORT int FsGetFileW(char16_t* remote_name, char16_t* local_name, int copy_flags, RemoteInfoStruct*) {
    return guarded(get_file_failed, [&] {
        start_once();
        return tallyrun::FsGetFileW(remote_name, local_name, copy_flags);
    });
}

TR_EXPORT int FsExecuteFileW(void* main_window, char16_t* remote_name, char16_t* verb) {
    return guarded(execute_failed, [&] {
        start_once();
        return tallyrun::FsExecuteFileW(main_window, remote_name, verb);
    });
}

// Double Commander then views (F3), edits (F4), quick-views and opens the
// real files where they are instead of copying them out first (FsGetLocalNameW);
// copies still come through FsGetFileW. The host reads a one-byte boolean.
TR_EXPORT int FsLinksToLocalFiles() { return 1; }

TR_EXPORT int FsGetLocalNameW(char16_t* remote_name, int max_length) {
    return guarded(local_name_failed, [&] {
        start_once();
        return tallyrun::FsGetLocalNameW(remote_name, max_length) ? 1 : 0;
    });
}

TR_EXPORT int FsGetBackgroundFlags() {
    return guarded(background_failed, [] {
        start_once();
        return tallyrun::FsGetBackgroundFlags();
    });
}

TR_EXPORT int FsContentGetSupportedField(int field_index, char* field_name, char* units, int max_length) {
    return guarded(field_failed, [&] {
        start_once();
        return tallyrun::FsContentGetSupportedField(field_index, field_name, units, max_length);
    });
}

TR_EXPORT int FsContentGetValueW(char16_t* file_name, int field_index, int unit_index, void* value, int max_length,
                                 int flags) {
    return guarded(value_failed, [&] {
        start_once();
        return tallyrun::FsContentGetValueW(file_name, field_index, unit_index, value, max_length, flags);
    });
}

TR_EXPORT int FsContentGetSupportedFieldFlags(int field_index) {
    return guarded(flags_failed, [&] {
        start_once();
        return tallyrun::FsContentGetSupportedFieldFlags(field_index);
    });
}

TR_EXPORT int FsContentGetDefaultView(char* contents, char* headers, char* widths, char* options, int max_length) {
    return guarded(view_failed, [&] {
        start_once();
        return tallyrun::FsContentGetDefaultView(contents, headers, widths, options, max_length);
    });
}

TR_EXPORT void FsContentPluginUnloading() {
    guarded([] {
        start_once();
        tallyrun::FsContentPluginUnloading();
    });
}
