// The last results of a costly conversion, up to 16 kept by their key.
#pragma once

#include <cstddef>

namespace tallyrun {

// Each conversion calls into Windows, and a folder's files share a few values,
// met in any order. Key is an integer type.
template <typename Key, typename Value>
struct recent_conversions {
    struct slot {
        bool valid = false;
        Key key{};
        Value value{};
    } slots[16];

    template <typename Convert>
    Value get(Key key, Convert convert) {
        slot& s = slots[static_cast<size_t>(key) % 16];
        if (!s.valid || s.key != key) s = slot{true, key, convert(key)};
        return s.value;
    }
};

}  // namespace tallyrun
