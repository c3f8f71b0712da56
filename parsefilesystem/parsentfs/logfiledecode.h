// Log records of an NTFS $LogFile decoded into LogFileEntry items: whole MFT records, index
// entries, times, sizes, run lists, USN records and cluster or MFT-record allocations, with
// the cluster runs of the bitmap records assigned to the files they belong to.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dataextent.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsentfs/logfileentry.h"
#include "parsefilesystem/parsentfs/logfilesplit.h"

// The $LogFile is read whole only within these bounds.
constexpr uint64_t kMinLogFileBytes = 0x4000;
constexpr uint64_t kMaxLogFileBytes = 0x8000000;

struct LogDecodeContext {
  uint32_t clusterSize = 0;       // bytes
  DataExtentList bitmapExtents;   // the $Bitmap file, LBAs relative to the volume start
};

// The entries of an NTFS volume's $LogFile, handed to the journal recovery. Silent on failure.
void AnalyzeNtfsLogFile(VolumeContext& vol);
// True when at least one entry was decoded.
bool ReadLogFileEntries(VolumeContext& vol, LogEntryList& entries);
// bytes is repaired in place.
void SplitLogFileIntoEntries(uint8_t* bytes, uint64_t count, uint32_t clusterSize,
                             const DataExtentList& bitmapExtents, LogEntryList& entries);

// Drops items that fail ValidateLogRecord and joins set-bits (or clear-bits) records that
// continue each other across a bitmap cluster into one.
void MergeBitmapLogRecords(const LogDecodeContext& ctx, std::vector<LogRecordItem>& items);
void DecodeLogRecords(const LogDecodeContext& ctx, std::vector<LogRecordItem>& items, LogEntryList& entries);
bool DecodeLogRecord(const LogDecodeContext& ctx, const uint8_t* copy, uint32_t length, int32_t position,
                     LogEntryList& entries);
bool DecodeIndexEntryLogRecord(const uint8_t* indexEntry, uint32_t length, LogFileEntry& entry, uint32_t kind);
bool DecodeBitmapLogRecord(const LogDecodeContext& ctx, const uint8_t* copy, LogFileEntry& entry, uint32_t kind);
// Gives the cluster-run entries the record number of the file whose change they belong to.
void AssignRecordsToBitmapEntries(LogEntryList& entries);
// One run (start, byte length) as an NTFS run list of 8 or 16 bytes into out (zeroed here).
// False when the start lies before the volume or off a cluster, the length is 0, or the run
// needs more than 15 bytes.
bool EncodeSingleRun(uint64_t volumeStart, uint32_t sectorsPerCluster, uint64_t start, uint64_t bytes,
                     uint8_t* out, uint32_t& length);
void PostLogDecodeProgress(uint32_t i, uint32_t n);

// The MFT record number a log record concerns, from its cluster-block offset and target VCN.
uint32_t LogRecordNumber(const uint8_t* copy, uint32_t clusterSize);
