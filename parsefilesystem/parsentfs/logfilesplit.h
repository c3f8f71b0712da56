// The $LogFile of an NTFS volume as log records: its "RCRD" pages repaired, split into records
// (a record that runs on into the next page is joined to its continuation), and the records
// whose redo operation can tell something about files kept, sorted by LSN.
//
// The log comes from the disk: every offset, length and count in a page or record is checked
// against the bytes at hand before it is used, and the walk over a page always moves forward.
#pragma once

#include <cstdint>
#include <vector>

#include "parsefilesystem/parsentfs/ntfsrecord.h"

constexpr uint32_t kLogPageBytes = 4096;
// Bytes of a log record up to its client data, and of the client header that follows.
constexpr uint32_t kLogRecordHead = 0x30;
constexpr uint32_t kLogClientHeadEnd = 0x58;
// Redo operations kept: 2, 3, 7, 8, 9, 11, 12, 13, 14, 15, 21, 22.
constexpr uint32_t kAcceptedRedoMask = 0x60FB8C;
// A LSN above this is taken for damage and read as 0.
constexpr uint64_t kMaxPlausibleLsn = 0xFFEEEE11112222ull;

// One log record found in the file: its byte position in the $LogFile, its LSN and a copy of
// its bytes (at most the record itself).
struct LogRecordItem {
  int32_t position = 0;
  uint64_t lsn = 0;
  std::vector<uint8_t> copy;
};

// A UTF-16 name of chars units at p (any alignment, chars units readable) as a guarded-heap
// copy with the characters a file name cannot hold replaced.
char16_t* CopyUtf16Name(const uint8_t* p, uint32_t chars);

inline bool IsAcceptedRedoOp(uint32_t op) { return op <= 22 && ((kAcceptedRedoMask >> op) & 1); }

// Repairs the RCRD pages of the file (when it holds at least 16 KiB), splits them and sorts
// the items. bytes is changed by the repair. True when an item remains.
bool ScanLogFilePages(uint8_t* bytes, uint64_t count, std::vector<LogRecordItem>& items);
// Splits one page, joining the bytes carried from the page before; sets the carry for the next.
void SplitRcrdPage(uint32_t pageIndex, const uint8_t* page, uint8_t* carry, uint32_t& carryLength,
                   std::vector<LogRecordItem>& items);
// Splits the records of a page (or of a joined buffer of n valid bytes whose first record is
// the carried one of carried bytes).
void SplitRcrdRecords(uint32_t pageIndex, const uint8_t* buffer, uint32_t n, uint32_t carried,
                      std::vector<LogRecordItem>& items);
// True when a record at position lies within n, has a plausible client header and continues
// the transaction of the record before (its previous LSN is 0 or that LSN).
bool CheckFollowingLogRecords(const uint8_t* buffer, uint32_t n, uint64_t position, uint64_t lsnBefore);
// Sorts by LSN and drops repeated LSNs and LSN 0.
void SortLogRecordItems(std::vector<LogRecordItem>& items);
// The copy is fit to decode: long enough for its own client data; implausible LSNs become 0
// and redo or undo data that does not lie inside the copy is dropped (its length set to 0).
bool ValidateLogRecord(uint8_t* copy, uint32_t length);
