// The progress record every long operation posts, the one-slot mailbox the windows poll, the
// progress set-up of a scan and its elapsed/rate/remaining-time text.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cstring.h"

enum ScanProgressKind : uint32_t {
  kProgressEmpty = 0,
  kProgressParse = 1,
  kProgressSectorScan = 2,
  kProgressCopy = 3,
  kProgressPrepare = 4,
  kProgressPartitions = 5,
  kProgressReadError = 6,
  kProgressReadState = 7,
  kProgressSaveState = 8,
  kProgressHandleState = 9,
  kProgressSorting = 10,
  kProgressText = 11,
  kProgressVideoRebuild = 12,
  kProgressMtsScan = 13,
  kProgressDiskImage = 14,
};

#pragma pack(push, 1)
struct ProgressParseCounts {  // kind 1
  uint32_t filesInUse;
  uint32_t dirsInUse;
  uint32_t deletedFiles;
  uint32_t deletedDirs;
};
struct ProgressSectorScan {  // kinds 2 and 13
  uint64_t sectorsTotal;
  uint64_t sectorsDone;
  uint32_t filesFound;
  // EBR, NTFS boot, FAT boot, exFAT boot, MFT record, FAT directory, index record, exFAT
  // directory sectors found.
  uint32_t metaCounts[8];
};
struct ProgressCopy {  // kinds 3 and 4
  uint32_t filesTotal;
  uint32_t filesDone;
  uint64_t bytesTotal;
  uint64_t bytesDone;
  uint64_t fileSize;
  uint64_t fileDone;
  char16_t heading[260];
};
struct ProgressPartitions {  // kind 5
  uint32_t drivesFound;
  char16_t letter;
  char16_t fsName[128];
  char16_t label[128];
};
struct ProgressReadError {  // kind 6
  uint32_t unused;
  uint32_t sector;
  uint32_t size;
  char16_t device[314];
};
struct ProgressCount {  // kinds 7, 8, 9, 10 and 12
  uint32_t done;
  uint32_t total;
};
struct ProgressTexts {  // kind 11
  char16_t heading[64];
  char16_t line1[128];
  char16_t line2[128];
};
struct ProgressImage {  // kind 14
  uint32_t blocksRead;
  uint32_t blocksFailed;
  uint32_t blocksExpected;
};

// Every kind has the size of the largest, kind 11; the kind's fields start at offset 8 and
// every byte a kind does not use is 0.
struct ScanProgress {
  uint32_t kind;
  uint32_t reserved;
  union {
    ProgressParseCounts parse;
    ProgressSectorScan scan;
    ProgressCopy copy;
    ProgressPartitions part;
    ProgressReadError readError;
    ProgressCount count;
    ProgressTexts text;
    ProgressImage image;
    uint8_t raw[640];
  };
};
#pragma pack(pop)
static_assert(sizeof(ScanProgress) == 648);
static_assert(offsetof(ScanProgress, scan) == 8);
static_assert(sizeof(ProgressCopy) == 568 - 8);

// A zero-filled record of the kind.
ScanProgress MakeScanProgress(uint32_t kind);
// Wide text fields of a packed record, by byte offset inside the record and field size in
// characters; the copy is cut so that its terminating zero fits.
void SetProgressText(ScanProgress& rec, size_t byteOffset, size_t units, std::u16string_view text);
std::u16string GetProgressText(const ScanProgress& rec, size_t byteOffset, size_t units);

// Offers a copy of the record to the mailbox; dropped at once when the mailbox is full. Never
// waits for the user interface.
void PostScanProgress(const ScanProgress& rec);
// Posts a kind-11 record: the first text cut to 64 characters (with its zero), the second and
// the third to 128; the third field stays zero when the third text is empty.
void PostProgressText(const CString& heading, const CString& line1, const CString& line2);
// Takes the mailbox's record: true and the record, emptying the mailbox; false with out
// untouched when it is empty.
bool TakeScanProgress(ScanProgress& out);
// Zero-fills the mailbox.
void EmptyScanProgressMailbox();
// How many records were offered to the mailbox since start-up, kept or dropped (diagnostics).
uint64_t ScanProgressPostsOffered();

// The process-wide record of kind 1 the file-system parsers count into.
ScanProgress& ParseProgress();
void ResetParseProgress();

// Values the timing texts read.
extern std::atomic<int64_t> ScanStartTime;       // seconds, on the scan clock
extern std::atomic<uint32_t> ScanPausedSeconds;
extern std::atomic<uint64_t> BaseDoneSectors;
struct RemainTimeState {
  uint32_t shownSeconds = 0;
  uint32_t tick = 0;  // ms, when the shown value last changed
};
extern RemainTimeState RemainTimeEstimate;  // user-interface thread only

// The clock of the scan timing: whole seconds (the default counts from the wall time at start-up
// on the monotonic clock, so clock jumps do not shift durations) and a millisecond tick.
struct ScanClock {
  int64_t (*nowSeconds)() = nullptr;
  uint32_t (*tickMs)() = nullptr;
};
void SetScanClock(const ScanClock& clock);  // null members restore the defaults
int64_t ScanClockNow();
uint32_t ScanClockTick();

// Appends the elapsed time, remaining time, rate and read success rate; false (nothing
// appended) while no net scan time has passed.
bool FormatScanRateText(uint64_t done, uint64_t total, CString& text);
void FormatRemainTimeText(uint64_t done, uint64_t total, uint32_t elapsed, CString& text);
// The smoothing step of the remaining time: holds the shown value while a new estimate lies
// less than 10 % above it (counting it down by one second every 2000 ms), else takes the
// estimate. Returns the value to show.
uint32_t SmoothRemainTime(uint32_t estimate);

// What the progress set-up of a scan reads from the scan state.
struct ProgressHit {
  uint8_t kind;
  uint64_t lba;
};
struct ScanProgressSource {
  uint32_t operation = 0;           // the ScanTarget's recovery mode
  uint64_t targetSectors = 0;       // the ScanTarget's sector count
  uint64_t rangeFirstBlock = 0;     // first block start LBA of the scan range
  uint64_t rangeLastBlock = 0;      // last block start LBA of the scan range
  const uint8_t* blockStates = nullptr;  // one byte per 16384-sector block: 2 = handled
  uint64_t blockCount = 0;
  std::vector<uint64_t> queuedBlocks;    // a copy of the priority queue (operations 2 and 5)
  std::vector<ProgressHit> hits;         // every stored hit, block by block
};
// Fills the totals, done count and found counts of a kind-2 or kind-13 record whose kind the
// caller set, sets BaseDoneSectors, and posts a recount text every 787 hits.
void InitScanProgress(const ScanProgressSource& src, ScanProgress& rec);
