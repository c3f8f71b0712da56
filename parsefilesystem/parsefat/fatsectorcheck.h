// Tests of single FAT sectors that need no volume around them: the deep scan asks them of
// every sector it reads, the FAT parser of the sectors it loads.
#pragma once

#include <cstdint>

// True when the 512 bytes look like the first sector of a FAT32 allocation table: entry 0
// holds the media mark 0x0FFFFFF8 (28 bits), entry 1 an end-of-chain mark (bits 3-27 set), and
// each of entries 2..127 is free (0), an end or reserved mark (0x0FFFFFF0..0x0FFFFFFF) or a
// cluster number 2..0x0FFFFFEF that no earlier entry of the sector holds. The value 1 and values
// with any of the top four bits set are refused.
bool IsFat32TableStart(const uint8_t* sector);
