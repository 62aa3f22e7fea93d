// The names the plugin lists for a host path, read as the host reads them, for the plugin's tests.
#pragma once

#include <string>
#include <vector>

#include "plugin/enumeration.h"

namespace tallyrun {

// FsFindFirst, then FsFindNext to the end, then FsFindClose; nothing when the path lists nothing.
inline std::vector<std::string> names_of(const std::string& path) {
    std::vector<std::string> names;
    win_find_data d;
    win_handle h = FsFindFirst(path.c_str(), &d);
    if (h == invalid_handle) return names;
    do names.push_back(d.name);
    while (FsFindNext(h, &d));
    FsFindClose(h);
    return names;
}

}  // namespace tallyrun
