// The X11 backend: one X window per top-level window, shaped by its window region, showing
// the window's surface; X input becomes injected input.
#include "platform/wnd/backend.h"

#ifndef KESTREL_HAVE_X11
DisplayBackend* CreateX11Backend() { return nullptr; }
#else
DisplayBackend* CreateX11Backend() { return nullptr; }
#endif
