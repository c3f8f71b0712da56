// What one log record of an NTFS $LogFile says about a file, decoded: a whole MFT record, an
// index entry added or deleted, times, a size, a run list, a USN record, or a cluster run or
// MFT record allocated or freed. The journal recovery replays these per record number.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"

enum LogEntryKind : uint32_t {
  kLogMftRecord = 2,        // an MFT record written whole
  kLogMftDeallocated = 3,
  kLogIndexAdded = 4,
  kLogIndexDeleted = 5,
  kLogTimes = 6,            // standard-information times
  kLogSize = 7,             // new attribute sizes
  kLogRunList = 8,
  kLogUsnRecord = 9,
  kLogClustersSet = 10,     // a cluster run allocated
  kLogClustersCleared = 11, // a cluster run freed
  kLogRecordAllocated = 12, // one MFT record allocated
  kLogRecordFreed = 13,
  kLogUsnDeleted = 14,      // deleted according to the USN journal
};

// One decoded entry. It owns the name and blob of its embedded record (guarded heap); it can be
// moved, and copied only through Clone.
struct LogFileEntry {
  int32_t position = 0;      // byte position of the log record in the $LogFile
  uint32_t kind = 0;
  uint32_t recordNumber = 0;
  uint32_t parent = 0;
  uint32_t secondParent = 0;  // replay: a second parent directory
  uint32_t createdDirId = 0;  // replay: id of the directory record made from this entry
  uint64_t lsn = 0;
  uint64_t previousLsn = 0;
  uint16_t attrOffset = 0;
  uint32_t bitCount = 0;      // kinds 10 and 11
  uint8_t nameSpace = 0;      // kinds 4 and 5
  uint64_t usn = 0;           // kind 9
  uint32_t usnMark = 0;       // 1 on entries taken from USN delete records
  // Aligned so that the record's pointer members can be bound by reference like those of a
  // record on its own.
  alignas(8) FileRecord rec{};

  LogFileEntry() = default;
  LogFileEntry(const LogFileEntry&) = delete;
  LogFileEntry& operator=(const LogFileEntry&) = delete;
  LogFileEntry(LogFileEntry&& other) noexcept;
  LogFileEntry& operator=(LogFileEntry&& other) noexcept;
  ~LogFileEntry();

  // A copy with a name and blob of its own.
  LogFileEntry Clone() const;
  // Frees the name and blob and zeroes the embedded record.
  void ReleaseRecord();
};

using LogEntryList = std::vector<LogFileEntry>;
