// The FAT extent provider: FAT16, FAT32 and rebuilt FAT32 files (with their table) as sector
// runs through their cluster chains.
#pragma once

// Installs the provider for types 10, 11 and 15. The program and the test tools call it once at
// start; calling it again changes nothing.
void InitFatExtentProvider();
