// The scan-state data file: everything a deep scan needs to resume later. Little-endian:
//
//   "QZD4", u32 L, L bytes of identity (the target's disk model, UTF-16, no terminator, <= 512)
//   u32 M, M bytes of block map (one byte per 16384-sector block of the device: 0, 1 or 2)
//   u64 next sequential read LBA, u64 region start LBA, u64 region end LBA
//   u32 N, N found items: kind, end status, u64 LBA, u64 size, then a payload by kind
//   u32 K, K stored records: the 83-byte FileRecord, u32 name bytes (2 … 518, else 0), the name
//
// Payload by kind: file types 0 … 176 a flag byte and, when it is 1, the 280-byte document
// metadata; 200 the size once more; 201 (end found) the 60-byte MoovInfo and its chunk-table
// list; 202 (end found) 16 bytes; 203 … 206 (end found) a chunk-table list; 207, 208 68 bytes;
// 221, 222, 223, 226, 227, 230 the 512 saved sector bytes; 224 the 53-byte MftHitInfo, its name
// and its run list; 225 the u32 parent record number; 229 the 28-byte FatDirHitInfo; 231 the
// 352-byte ExfatDirHitInfo; every other kind nothing.
//
// A saved file is hostile input like a disk: every count and length is checked against the
// bytes the file still holds before anything is allocated, and every pointer-sized field read
// back is cleared or replaced by what was read after it.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filerecord.h"
#include "core/sectorhit.h"
#include "platform/cstring.h"
#include "scansave/bufferedscanfile.h"

constexpr uint32_t kScanStateIdentityMax = 512;  // bytes
constexpr uint32_t kScanStateItemHead = 18;      // kind, status, LBA, size
constexpr uint32_t kScanStateRecordHead = 87;    // FileRecord and the name length
constexpr uint32_t kScanStateNameMax = 518;      // bytes written (259 characters)
constexpr uint32_t kScanStateNameReadMax = 519;  // bytes accepted when reading
constexpr uint32_t kFileHitMetadataBytes = 280;
constexpr uint32_t kMtsDetailBytes = 68;
constexpr uint32_t kSavedSectorBytes = 512;
constexpr uint32_t kFatDirHitInfoBytes = 28;
constexpr uint32_t kExfatDirHitInfoBytes = 352;
constexpr uint32_t kExfatDirHitEntryCountAt = 348;  // u32 entries used, at most 24
constexpr uint32_t kExfatDirHitEntriesMax = 24;

struct ScanStateHeader {
  std::u16string identity;
  std::vector<uint8_t> blockMap;
  uint64_t nextLba = 0;
  uint64_t regionStart = 0;
  uint64_t regionEnd = 0;
};

// Progress of a save or a load: items or records done and their total.
using ScanStateProgressFn = void (*)(uint32_t done, uint32_t total);

// What a load gives back. The hits own their details and the records their names until
// Release (or the caller takes them over and clears the vectors).
struct LoadedScanState {
  ScanStateHeader header;
  std::vector<SectorHit> hits;
  std::vector<FileRecord> records;
  bool hitsComplete = false;     // every item was read
  bool recordsComplete = false;  // every record was read
  void Release();
  ~LoadedScanState() { Release(); }
};

enum class ScanStateResult : uint8_t {
  kOk,
  kCannotOpen,  // the file cannot be opened or created
  kBadHeader,   // not a scan-state file, or a header that does not fit the file or the device
  kDamaged,     // an item or record that does not fit the file
  kStopped,     // the run state became 2 while loading
  kWriteFailed, // a write failed (full disk, read-only folder) or a path that cannot be used
};

// The parts of the file, for the writer and reader below and for tests.
bool WriteScanStateHeader(BufferedScanFile& f, const ScanStateHeader& h);
bool WriteFoundItem(BufferedScanFile& f, const SectorHit& hit);
bool WriteStoredRecord(BufferedScanFile& f, const FileRecord& rec);
// maxBlocks bounds the block map: the device's block count + 1 (0: no bound but the file).
ScanStateResult ReadScanStateHeader(BufferedScanFile& f, uint64_t maxBlocks, ScanStateHeader& h);
// The item with its detail in new guarded-heap blocks; false (nothing allocated) when it does
// not fit the file.
bool ReadFoundItem(BufferedScanFile& f, SectorHit& hit);
// The record with its own name (or none) and every other pointer field cleared.
bool ReadStoredRecord(BufferedScanFile& f, FileRecord& rec);

// Writes the whole file under a temporary name beside it and renames it into place only when
// every byte was written, so a failed save never leaves a file that looks whole (the temporary
// file is removed).
ScanStateResult WriteScanStateFile(const CString& path, const ScanStateHeader& h, std::span<const SectorHit> hits,
                                   std::span<const FileRecord> records, ScanStateProgressFn progress = nullptr);

// Reads a whole file. state (may be null) is looked at before each item and record: at 2 the
// load ends as kStopped with what was read so far. Items that cannot be read end the load as
// kDamaged (the hits read so far are kept, hitsComplete false).
ScanStateResult LoadScanStateFile(const CString& path, uint64_t maxBlocks, const std::atomic<uint32_t>* state,
                                  LoadedScanState& out, ScanStateProgressFn progress = nullptr);

// Copies a data file for another device: "QZD4", the new identity, then the rest of the source
// from its block map on, in 8 MiB pieces, under a temporary name renamed into place. False when
// the source is shorter than 512 bytes, its magic is not exactly "QZD4", its identity does not
// fit it or the new identity is longer than 512 bytes, or any read or write failed.
bool RetargetScanSaveFile(const CString& source, const CString& target, const std::u16string& identity);
