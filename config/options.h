// The configuration schema: finding, checking and reporting tallyrun.ini, and the options it yields.
#pragma once

#include <string>

namespace tallyrun {

// The validated configuration; always meets the schema's constraints.
struct sequence_options {
    std::string seqpattern = "%s-%s";
    int first = 1;  // first position at which the number may begin (>= 1)
    int last = 0;   // last position at which it may end; 0 = the end of the name
};

// Reads folder + name (else the same name beside the module), shows each
// problem in a message box and returns valid options; never fails.
sequence_options read_ini(const std::string& folder, const std::string& name);

// Shows text in a message box captioned "Tallyrun", type 48, owned by the active window.
void show_error(const std::string& text);

}  // namespace tallyrun
