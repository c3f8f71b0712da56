// Directory sectors the file-system parsers have already read, so the deep scan can drop the
// index-record and exFAT directory hits a parsed volume explains.
//
// Each list is filled by one parsing thread at a time and emptied by the deep scan at its start
// and end; none takes a lock.
#pragma once

#include <cstdint>
#include <vector>

// Cluster LBAs of index allocations of parsed NTFS directories.
std::vector<uint64_t>& KnownIndxLbas();
void ClearKnownIndxLbas();

// The first-cluster LBAs of the exFAT directories read since the list was last emptied, in
// the order they were read.
std::vector<uint64_t>& KnownExfatDirLbas();
bool IsKnownExfatDirLba(uint64_t lba);
void AddKnownExfatDirLba(uint64_t lba);
void ClearKnownExfatDirLbas();
