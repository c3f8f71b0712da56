// Texts of byte sizes, in powers of 1024.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// "%u(B)" up to 1023 bytes, then "%.2f(KB)", "%.2f(MB)", "%.2f(GB)" or "%.2f(TB)".
CString FormatByteSize(uint64_t bytes);

// A sector count (512-byte sectors): "%0.2f(MB)" in whole megabytes below 0x200000 sectors,
// then "%0.2f(GB)" below 0x80000000, else "%0.2f(TB)".
CString FormatSectorSize(uint64_t sectors);
