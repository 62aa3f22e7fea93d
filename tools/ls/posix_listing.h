// Real folders and files behind the binding table on Linux, for the native lister.
#pragma once

namespace tallyrun {

// Points the listing, time and file-reading slots of the binding table at
// readdir, stat, localtime and stdio. Paths arrive in the plugin's form
// ("/tmp/shots\*.*"): backslashes become slashes.
void bind_posix();

}  // namespace tallyrun
