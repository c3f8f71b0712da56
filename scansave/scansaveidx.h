// The list of saved scans: "ScanSave.idx" in the folder "ScanSave" beside the program, the
// header "QZIDX5" and two zero bytes, then one 2180-byte ScanSaveEntry per saved scan in the
// order they were saved. The data files live in the same folder.
//
// The index is rewritten whole under a temporary name and renamed into place, so a failed
// write leaves the previous index as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/volumecontext.h"
#include "platform/cstring.h"

#pragma pack(push, 1)
struct ScanSaveEntry {
  uint32_t operation;        // the target's recovery mode
  uint32_t zero;
  uint64_t regionStart;      // LBA
  uint64_t regionLength;     // sectors
  uint64_t deviceSectors;
  char16_t readPercent[10];  // "%u%%" of block reads that succeeded
  char16_t donePercent[10];  // "%u%%" of the region's blocks handled
  char16_t savedAt[20];      // "%04u-%02u-%02u %02u:%02u:%02u", local time
  char16_t name[128];
  char16_t model[128];
  char16_t volumePath[128];
  char16_t devicePath[128];
  uint32_t targetKind;
  char16_t sourcePath[260];
  char16_t dataPath[260];
};
#pragma pack(pop)
static_assert(sizeof(ScanSaveEntry) == 2180);
static_assert(offsetof(ScanSaveEntry, name) == 112);
static_assert(offsetof(ScanSaveEntry, targetKind) == 1136);
static_assert(offsetof(ScanSaveEntry, dataPath) == 1660);

constexpr uint32_t kScanSaveIndexHeader = 8;

// The folder, the index path and a new data-file path ("Save_YYYYMMDD_hhmmss.dat" by the local
// time; a name already taken gets "_2", "_3" … before the extension).
CString GetScanSaveFolder();
CString GetScanSaveIndexPath();
bool MakeScanSaveFileName(CString& path);
// Longer than 7 characters, "SAVE_" in the upper-cased text and the extension "dat".
bool IsScanSaveFileName(const CString& path);

// What an entry is filled from: the scan's target, region and block map, and the block-read
// counters of the sector reader.
struct ScanSaveSource {
  VolumeContext target;
  uint64_t regionStart = 0;
  uint64_t regionEnd = 0;
  const uint8_t* blockMap = nullptr;
  uint64_t blockMapBytes = 0;
  uint32_t blockReads = 0;
  uint32_t blockReadFailures = 0;
};

// The handled share of the region's blocks ("%u%%" value): map bytes of 2 over the blocks from
// regionStart / 16384 up to regionEnd / 16384; 0 for a region without blocks, 100 (and a log
// line) without a map.
uint32_t ComputeDonePercent(const uint8_t* map, uint64_t mapBytes, uint64_t regionStart, uint64_t regionEnd);
// 100 when nothing was read (or the counters disagree), else the successful share.
uint32_t ComputeReadPercent(uint32_t reads, uint32_t failures);
// False when a path the entry must hold whole (device, volume, source or data-file path) does
// not fit its field: such an entry would point elsewhere. Name and model are cut to their fields.
bool FillScanSaveEntry(ScanSaveEntry& e, const CString& dataPath, const ScanSaveSource& src);

// True for an index whose first 7 bytes are "QZIDX5" and 0.
bool CheckScanSaveIndexHeader(const CString& path);
// The whole index (a guarded-heap block); false when it cannot be read or its size is not 8 plus
// whole entries.
bool ReadScanSaveIndexFile(uint8_t*& buffer, uint32_t& length);
// Every entry whose data file exists, in file order; true when there is one. A missing or
// invalid index leaves the list as it was.
bool LoadScanSaveIndex(std::vector<ScanSaveEntry>& list);
// Rewrites the index from the list.
bool WriteScanSaveIndex(const std::vector<ScanSaveEntry>& list);
// Appends the entry of a new data file. A missing index or one with a bad header starts anew;
// a damaged one (good header, a size that is not whole entries) keeps its whole entries.
bool AppendScanSaveEntry(const CString& dataPath, const ScanSaveSource& src);
// Removes the entry at the position among the listed entries (those whose data file exists)
// with its data file; false when the position is outside the list, the entry's path is not a
// data-file name, or the file cannot be deleted.
bool DeleteScanSave(uint32_t index);
// As LoadScanSaveIndex, with each listed entry's position among all entries of the index.
bool LoadScanSaveIndex(std::vector<ScanSaveEntry>& list, std::vector<uint32_t>& positions);
// Removes the entry at that position of the index with its data file, but only when it is still
// the listed entry (same data file and saving time): a list that no longer matches the index
// never deletes another saved scan. False as DeleteScanSave, and for such a mismatch.
bool DeleteScanSaveAt(uint32_t position, const ScanSaveEntry& listed);

// Newest first by the saving time.
void SortScanSaveEntries(std::vector<ScanSaveEntry>& list);
// The first entry whose name, model and device path equal the target's, ignoring case.
bool FindSaveForTarget(const std::vector<ScanSaveEntry>& list, const VolumeContext& target, uint32_t& index);
// An entry's text field as a CString (up to its terminator or the field's end).
template <size_t N>
CString EntryText(const char16_t (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return CString(std::u16string_view(field, n));
}
