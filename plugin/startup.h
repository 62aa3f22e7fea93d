// The host's settings, the start-up that gives them their first values, and the host's settings calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/options.h"
#include "support/bindings.h"
#include "support/host_calls.h"

namespace tallyrun {

// The host's progress call-backs, 8-bit and wide: a result other than 0 asks the plugin to abort.
using progress_proc = int32_t(TR_WINAPI*)(int32_t plugin_number, const char* source,
                                          const char* target, int32_t percent);
using progress_proc_w = int32_t(TR_WINAPI*)(int32_t plugin_number, const char16_t* source,
                                            const char16_t* target, int32_t percent);

struct plugin_state {
    std::string root_name;      // "Tallyrun"
    std::u16string ini_name;    // "tallyrun.ini"
    std::u16string ini_folder;  // ends with a separator, or empty until the host names one
    std::u16string config_folder;  // the host's plugin configuration folder (ExtensionInitialize), or empty
    uintptr_t host_version_api = 0;  // the host's dialog API version (ExtensionInitialize); 0 for none
    int32_t plugin_number = 0;
    progress_proc progress = nullptr;     // from FsInit
    progress_proc_w progress_w = nullptr;  // from FsInitW; the host may call both
};

// Where a listing looks for tallyrun.ini: the host's plugin configuration
// folder when it named one, the host's INI folder, then the plugin's own folder.
ini_place ini_place_of(const plugin_state& state);

// Binds Windows, builds the confirmation dialog and resets the context's
// settings and listing tables. Reads nothing from disk, shows nothing. False,
// with nothing but the binding table touched, when MessageBoxA or
// GetActiveWindow cannot be bound.
bool start_up();
#ifdef _WIN32
// The same with the functions that `lookup` finds (a test takes one away).
bool start_up(function_lookup lookup);
#endif

// The DLL entry: keeps the instance on every call, runs start_up on process
// attach (reason 1) and answers what it gave (0 refuses the load, so the host
// reports a plugin it could not load). Other reasons answer 1.
int32_t dll_main(win_handle instance, uint32_t reason);

// Keep the plugin number and the progress function (not checked); the wide
// form keeps the wide call-back beside the 8-bit one. Answer 0.
int32_t FsInit(int32_t plugin_number, progress_proc progress);
int32_t FsInitW(int32_t plugin_number, progress_proc_w progress);

// Writes the root name into name, at most size - 1 characters and a zero byte;
// writes nothing when name is null or size below 1. Answers 0.
int32_t FsGetDefRootName(char* name, int32_t size);

// Reads the suggested INI path at offset 12 of the host's record (at most
// host_max_path - 1 bytes) and keeps its folder as the INI folder. Answers 0;
// a null record changes nothing.
int32_t FsSetDefaultParams(const void* record);

// What the host's ExtensionInitialize gives: its plugin configuration folder
// (a separator is added when missing; empty names none), its calls, which
// the Linux build's message boxes and dialogs then go through, and the
// version of its dialog API (0 where the host's record has none). A second
// call replaces all three.
void ExtensionInitialize(std::string_view config_folder, const host_calls& calls, uintptr_t version_api = 0);

}  // namespace tallyrun
