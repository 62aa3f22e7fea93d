// FNV-1a over the units of a text, the one hash the engine keys names by.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace tallyrun {

inline constexpr uint64_t fnv1a_seed = 14695981039346656037ull;

// The 64-bit FNV-1a of s's units (each as unsigned), continued from h: a
// text's hash is that of its parts one after the other.
template <typename C>
uint64_t fnv1a(std::basic_string_view<C> s, uint64_t h = fnv1a_seed) {
    for (C c : s) h = (h ^ static_cast<std::make_unsigned_t<C>>(c)) * 1099511628211ull;
    return h;
}

}  // namespace tallyrun
