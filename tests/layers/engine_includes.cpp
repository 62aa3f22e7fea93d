// A file of the engine's layer: it builds with the headers of the layers below it, and not when it reaches up.
#include "config/options.h"
#include "sequence/seq_dir.h"
#include "support/paths.h"
#ifdef REACH_UP
#include "dialog/confirm.h"
#endif

int engine_includes() { return 0; }
