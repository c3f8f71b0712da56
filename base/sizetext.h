// Texts of byte sizes, in powers of 1024.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// "%u(B)" up to 1023 bytes, then "%.2f(KB)", "%.2f(MB)", "%.2f(GB)" or "%.2f(TB)".
CString FormatByteSize(uint64_t bytes);
