// The case mappings of Windows' CharLowerBuffW and CharUpperBuffW as ranges of code points (generated data).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallyrun {

// count code points first, first + stride, ... each map to itself + delta.
struct case_range {
    uint32_t first;
    uint16_t count;
    uint8_t stride;
    int32_t delta;
};

extern const case_range utf16_lower_ranges[];
extern const size_t utf16_lower_range_count;
extern const case_range utf16_upper_ranges[];
extern const size_t utf16_upper_range_count;

}  // namespace tallyrun
