// What the two halves of the Linux binding table share: names as bytes and error numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/bindings.h"

namespace tallyrun {

// A name as the system stores it (bytes, normally UTF-8) in UTF-16. Each byte
// that is no part of a valid UTF-8 character becomes the lone low surrogate
// U+DC00 + byte (U+DC80..U+DCFF: surrogate escape), so every name is shown
// and found again by its own bytes.
std::u16string wide_of_name(std::string_view bytes);
// The bytes of a wide name: the inverse of wide_of_name. A lone surrogate
// outside U+DC80..U+DCFF has no byte form: it becomes '?' and *lost is set.
std::string name_of_wide(std::u16string_view wide, bool* lost);

// The Windows error number that stands for an errno value; 31
// (ERROR_GEN_FAILURE) for one without a closer match.
uint32_t windows_error_of(int error);

}  // namespace tallyrun
