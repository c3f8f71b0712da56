// Deleted files of an NTFS volume brought back from its journals: the $LogFile history
// (LogFileEntry items) replayed per MFT record number, merged with the file-delete records of
// the USN journal. Deleted MFT records get back the size, run list and parent directory the
// log still knows; files and directories the MFT no longer describes are added as new records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsentfs/logfileentry.h"

// Record numbers from this one up are replayed but not indexed.
constexpr uint32_t kReplayIndexSize = 0x100000;
// Entries and USN items beyond these counts are not looked at.
constexpr uint32_t kMaxReplayEntries = 0x3C0000;
constexpr uint64_t kUsnPieceBytes = 0x4000000;

struct UsnDeleteItem {
  uint32_t record = 0;
  uint32_t parent = 0;
  uint64_t usn = 0;
  uint32_t isDirectory = 0;  // guessed
  std::u16string name;       // made legal
};

// Where the items of each record number begin in the replayed-record list.
struct ReplayWorkArea {
  std::vector<uint32_t> index = std::vector<uint32_t>(kReplayIndexSize, 0);
  std::vector<uint8_t> present = std::vector<uint8_t>(kReplayIndexSize, 0);
  bool Has(uint32_t record) const { return record < kReplayIndexSize && present[record]; }
};

void RecoverFilesFromLogFile(VolumeContext& vol, LogEntryList& entries);

bool LoadUsnDeleteRecords(VolumeContext& vol, std::vector<UsnDeleteItem>& items);
bool ScanUsnRecords(const uint8_t* buffer, uint32_t length, std::vector<UsnDeleteItem>& items);
void MarkUsnDirectories(std::vector<UsnDeleteItem>& items);
void MergeUsnWithLogEntries(std::vector<UsnDeleteItem>& items, LogEntryList& entries);

void SortLogEntries(LogEntryList& entries);
void ReplayLogEntries(VolumeContext& vol, LogEntryList& entries, LogEntryList& list, ReplayWorkArea& work);
// One record number's entries [begin, end) in LSN order.
void ReplayRecordEntries(VolumeContext& vol, LogFileEntry* begin, LogFileEntry* end, LogEntryList& list);
void EmitReplayedRecord(VolumeContext& vol, LogEntryList& list, LogFileEntry& state);

void RestoreRunsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work);
void RepairParentsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work);
void AddRecordsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work);

uint32_t FindLogParent(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t parent, size_t item);
uint32_t ResolveLogDirectory(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t record,
                             size_t item, uint32_t depth = 0);
uint32_t FindLogDirectoryEntry(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t record,
                               uint64_t lsn, uint32_t depth = 0);

bool IsInDollarFolder(const VolumeContext& vol, const FileRecord& rec);
bool HasSameNamedSibling(const VolumeContext& vol, const FileRecord& rec);
void GuessDataLocationFromNeighbours(VolumeContext& vol, FileRecord& rec, uint32_t recordNumber);
bool SetSingleRunFromLba(const VolumeContext& vol, FileRecord& rec);
