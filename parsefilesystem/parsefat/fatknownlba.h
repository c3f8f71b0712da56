// KnownFatLbaList: the first sectors of every FAT copy loaded and every directory cluster (and
// FAT16 root region) read during one scan. A directory is read once per scan, a cluster loop
// ends at its first repeat, and the deep scan and the rebuilds pass over sectors a parse has
// already covered. The deep scan empties it at its start and end. No lock: one parse or
// rebuild runs at a time.
#pragma once

#include <cstdint>
#include <set>

std::set<uint64_t>& KnownFatLbaList();
void AddKnownFatLba(uint64_t lba);
// True when the LBA is known; with insert, an unknown LBA is added.
bool TestKnownFatLba(uint64_t lba, bool insert);
void ClearKnownFatLbaList();
