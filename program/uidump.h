// A picture in words of what the program shows, for scripts that drive it on a desktop: when
// the environment variable KESTREL_UI_DUMP names a file, the user-interface thread rewrites it
// four times a second with every window (class, id, state, screen rectangle, text), the rows of
// list views, the visible items of tree views and the elements of the device panel. Without the
// variable nothing is written.
#pragma once

#include <string>

// The dump text of the windows shown now (called on the user-interface thread).
std::string DumpShownWindows();
// Starts the periodic dump when the variable is set; call on the user-interface thread.
void StartUiDump();
