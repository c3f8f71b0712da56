// Key translation of the x11 backend: X key symbols to virtual keys, and the text a key
// event types, by the input method when there is one.
#pragma once

#include "platform/wnd/wnddefs.h"

// The virtual key of an X key symbol, 0 when it has none.
UINT VkFromKeysym(unsigned long keysym);
// The character a key symbol stands for (Latin-1 symbols are their code, Unicode symbols are
// 0x01000000 plus the code point, a few others by table); 0 for none.
char32_t CharFromKeysym(unsigned long keysym);
