// The details that the video hits of a deep scan carry, and the stored form of their position
// tables in scan-state files.
//
// The MP4/MOV fragment mode records, per 8 MiB block, hits whose details the fragment rebuild
// reads after the scan (and which a saved scan stores and loads again):
//
//   kind  status  LBA                    detail
//   200   0       sector of an "ftyp"    none; the hit's size is the box size (1 … 510)
//   201   5       sector of a "moov"     MoovInfo: the box's device position and size, the movie's
//                                        creation time and duration, and one ChunkTable of the
//                                        file offsets of every sample of its first video track
//         3, 6    (waiting / not usable) none
//   202   5       sector of an "mdat"    MdatInfo: the box's device position and full size
//   203   5       the block's first LBA  ChunkTableList: one table per chain of length-prefixed
//                                        samples found; entries are byte positions from the hit's
//                                        LBA × 512, ascending within a table
//         6       (no chain / not yet)   none
//   204-206 5     the block's first LBA  ChunkTableList of one table: byte offsets inside the block
//                                        (from the hit's LBA × 512), ascending
//
// So every table entry turns into a device byte position as hit LBA × 512 + entry, except the
// moov's table, whose entries are offsets from the start of the video file (as its chunk offset
// boxes store them). Positions may repeat across hits (the chain search of one block looks into
// the next three); a consumer sorts and de-duplicates them.
//
// Tables and lists live in the guarded heap and are owned by the hit that carries them; the hit
// store frees them with everything they hold (FreeSectorInfo knows these kinds).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/sectorhit.h"

// u32 count n, then n u32 entries, then 5 tail bytes, in one guarded-heap block; its memory image
// is also its stored form (4n + 9 bytes). The tail holds the low bytes of the first five entries
// (moov and chain tables), or the low byte of the first entry and four zero bytes (tables of
// block offsets); it is only carried into and out of scan-state files.
struct ChunkTable {
  uint32_t count;
  // count entries and the tail follow
};
constexpr uint32_t kChunkTableTailBytes = 5;

inline uint32_t* ChunkTableEntries(ChunkTable* t) { return reinterpret_cast<uint32_t*>(t) + 1; }
inline const uint32_t* ChunkTableEntries(const ChunkTable* t) { return reinterpret_cast<const uint32_t*>(t) + 1; }
inline uint8_t* ChunkTableTail(ChunkTable* t) { return reinterpret_cast<uint8_t*>(ChunkTableEntries(t) + t->count); }
// Bytes of the table in memory and in a scan-state file.
inline uint64_t ChunkTableBytes(uint32_t count) { return 4 * uint64_t(count) + 4 + kChunkTableTailBytes; }

// u32 capacity, u32 count, then room for capacity pointers (a list read from a scan-state file
// has capacity 0 and room for exactly count pointers; it is never grown).
struct ChunkTableList {
  uint32_t capacity;
  uint32_t count;
  // room for the pointers follows
};
inline ChunkTable** ChunkTableSlots(ChunkTableList* l) {
  return reinterpret_cast<ChunkTable**>(reinterpret_cast<uint8_t*>(l) + 8);
}
inline ChunkTable* const* ChunkTableSlots(const ChunkTableList* l) {
  return reinterpret_cast<ChunkTable* const*>(reinterpret_cast<const uint8_t*>(l) + 8);
}
constexpr uint32_t kNewChunkTableListCapacity = 100;

#pragma pack(push, 1)
// The detail of a parsed "moov" (kind 201), 60 bytes, stored byte for byte; the list address is
// meaningless in a file and replaced by the list read back after it.
struct MoovInfo {
  uint64_t position;         // device byte position of the box: LBA × 512 + offset in its sector
  uint32_t boxSize;          // bytes
  uint32_t createTime;       // packed local time (base/packedtime.h)
  uint8_t zero[32];
  uint32_t durationSeconds;
  ChunkTableList* tables;    // one table: the sample offsets of the first video track
};
// The detail of an "mdat" (kind 202), 16 bytes, stored byte for byte.
struct MdatInfo {
  uint64_t position;  // device byte position of the box
  uint64_t size;      // the 32-bit size, or the 64-bit size that follows the type when that is 1
};
#pragma pack(pop)
static_assert(sizeof(MoovInfo) == 60);
static_assert(sizeof(MdatInfo) == 16);

// A table of the positions (null when there are fewer than minCount), its tail the low bytes of
// the first five.
ChunkTable* MakeChunkTable(std::span<const uint32_t> positions, uint32_t minCount);
// A table of block offsets (null for none): its tail is the low byte of the first, then zeros.
ChunkTable* MakeBlockOffsetTable(std::span<const uint32_t> offsets);
// Appends a table to the list, making the list (capacity 100) when there is none; a full list is
// replaced by one of half as much room again, with the pointers carried over.
void AppendChunkTable(ChunkTableList*& list, ChunkTable* table);
// The list's tables in order (none for a null list).
std::span<ChunkTable* const> ChunkTablesOf(const ChunkTableList* list);

// Free a list with its tables, a MoovInfo with its list (null is accepted).
void FreeChunkTableList(ChunkTableList* list);
void FreeMoovInfo(MoovInfo* info);

// A scan-state file as the chunk tables see it: whole pieces of at most 8 MiB written or read,
// false when the file failed or ended.
class ScanStateStream {
 public:
  virtual ~ScanStateStream() = default;
  virtual bool Write(const void* src, uint32_t bytes) = 0;
  virtual bool Read(void* dst, uint32_t bytes) = 0;
};
constexpr uint32_t kScanStatePieceMax = 8u << 20;

// The one size limit of stored tables, shared by writer and reader: a table of this many entries
// or more (more than 4 MiB) is neither written nor kept. No real movie reaches it (a million
// samples); a larger table can only come from damaged data.
constexpr uint32_t kStoredChunkEntriesLimit = 0x100000;

// Writes u32 t, then each of the list's t tables that are under the limit (4n + 9 bytes each):
// t counts exactly the tables written. A null list is written as the number 0. False when a
// write failed.
bool SaveVideoChunkTables(ScanStateStream& s, const ChunkTableList* list);
// Reads what SaveVideoChunkTables wrote into a new list (capacity 0, room for the tables kept).
// A table with no entries or with entries at or above the limit is passed over by its length
// (4n + 5 bytes), so what follows is read in its place whatever the file says. False, with out
// null and nothing allocated, when the stream ended or failed.
bool LoadVideoChunkTables(ScanStateStream& s, ChunkTableList*& out);

// A stream over memory, for tests and fuzzing.
class MemoryScanStateStream : public ScanStateStream {
 public:
  MemoryScanStateStream() = default;
  explicit MemoryScanStateStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool Write(const void* src, uint32_t bytes) override;
  bool Read(void* dst, uint32_t bytes) override;
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t ReadOffset() const { return at_; }
  // Writes fail once this many bytes are held (a full disk).
  void SetWriteLimit(size_t limit) { limit_ = limit; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
  size_t limit_ = SIZE_MAX;
};
