// The overwrite confirmation: a six-button prompt per existing target, and the members it lets through.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequence/seq_dir.h"
#include "support/bindings.h"

namespace tallyrun {

// Builds the confirmation template once, at start-up.
void confirm_dialog_setup();

// The entries that may be copied into target_folder (ending in a backslash),
// in input order, asking about each existing target while mode is 1 (0
// overwrite all, 2 overwrite older, 3 skip all). False when the user
// cancelled: then nothing may be copied.
bool confirm_files(const std::vector<real_entry>& entries, const std::string& target_folder,
                   int mode, std::vector<real_entry>& keep);

intptr_t TR_WINAPI mainDialogProc(win_handle window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam);

}  // namespace tallyrun
