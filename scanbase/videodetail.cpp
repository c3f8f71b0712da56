#include "scanbase/videodetail.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"

namespace {

constexpr unsigned kTableTag = 4116;
constexpr unsigned kListTag = 4117;
// A stored table is passed over in pieces of this size.
constexpr uint32_t kSkipPiece = 1u << 20;

ChunkTable* NewChunkTable(uint32_t count) {
  auto* t = static_cast<ChunkTable*>(AllocMem(ChunkTableBytes(count), kTableTag));
  t->count = count;
  return t;
}

ChunkTableList* NewChunkTableList(uint32_t capacity, uint32_t count) {
  auto* l = static_cast<ChunkTableList*>(AllocMem(8 + 8 * uint64_t(std::max(capacity, count)), kListTag));
  l->capacity = capacity;
  l->count = count;
  return l;
}

bool ReadU32(ScanStateStream& s, uint32_t& v) {
  uint8_t b[4];
  if (!s.Read(b, 4)) return false;
  std::memcpy(&v, b, 4);
  return true;
}

bool Skip(ScanStateStream& s, uint64_t bytes) {
  std::vector<uint8_t> scratch(size_t(std::min<uint64_t>(bytes, kSkipPiece)));
  while (bytes != 0) {
    const uint32_t take = uint32_t(std::min<uint64_t>(bytes, kSkipPiece));
    if (!s.Read(scratch.data(), take)) return false;
    bytes -= take;
  }
  return true;
}

}  // namespace

ChunkTable* MakeChunkTable(std::span<const uint32_t> positions, uint32_t minCount) {
  if (positions.size() < minCount || positions.size() > UINT32_MAX) return nullptr;
  ChunkTable* t = NewChunkTable(uint32_t(positions.size()));
  if (!positions.empty()) std::memcpy(ChunkTableEntries(t), positions.data(), positions.size() * 4);
  uint8_t* tail = ChunkTableTail(t);
  for (size_t i = 0; i < kChunkTableTailBytes && i < positions.size(); ++i) tail[i] = uint8_t(positions[i]);
  return t;
}

ChunkTable* MakeBlockOffsetTable(std::span<const uint32_t> offsets) {
  if (offsets.empty()) return nullptr;
  ChunkTable* t = MakeChunkTable(offsets, 1);
  std::memset(ChunkTableTail(t) + 1, 0, kChunkTableTailBytes - 1);
  return t;
}

void AppendChunkTable(ChunkTableList*& list, ChunkTable* table) {
  if (!list) list = NewChunkTableList(kNewChunkTableListCapacity, 0);
  if (list->count >= list->capacity) {
    const uint64_t grown = std::max<uint64_t>(uint64_t(list->count) * 150 / 100, kNewChunkTableListCapacity);
    ChunkTableList* bigger = NewChunkTableList(uint32_t(std::min<uint64_t>(grown, UINT32_MAX / 8)), list->count);
    std::memcpy(ChunkTableSlots(bigger), ChunkTableSlots(list), sizeof(ChunkTable*) * list->count);
    FreeMem(list);
    list = bigger;
  }
  ChunkTableSlots(list)[list->count++] = table;
}

std::span<ChunkTable* const> ChunkTablesOf(const ChunkTableList* list) {
  if (!list) return {};
  return {ChunkTableSlots(list), list->count};
}

void FreeChunkTableList(ChunkTableList* list) {
  if (!list) return;
  for (ChunkTable* t : ChunkTablesOf(list))
    if (t) FreeMem(t);
  FreeMem(list);
}

void FreeMoovInfo(MoovInfo* info) {
  if (!info) return;
  FreeChunkTableList(info->tables);
  FreeMem(info);
}

bool SaveVideoChunkTables(ScanStateStream& s, const ChunkTableList* list) {
  uint32_t written = 0;
  for (const ChunkTable* t : ChunkTablesOf(list))
    if (t && t->count < kStoredChunkEntriesLimit) ++written;
  if (!s.Write(&written, 4)) return false;
  for (const ChunkTable* t : ChunkTablesOf(list)) {
    if (!t || t->count >= kStoredChunkEntriesLimit) continue;
    if (!s.Write(t, uint32_t(ChunkTableBytes(t->count)))) return false;
  }
  return true;
}

bool LoadVideoChunkTables(ScanStateStream& s, ChunkTableList*& out) {
  out = nullptr;
  uint32_t stored = 0;
  if (!ReadU32(s, stored)) return false;
  // The tables are gathered first: the stored count is only a claim, and the room of the list is
  // made for what was really read.
  std::vector<ChunkTable*> kept;
  bool ok = true;
  for (uint32_t i = 0; i < stored && ok; ++i) {
    uint32_t n = 0;
    if (!ReadU32(s, n)) {
      ok = false;
      break;
    }
    const uint64_t rest = ChunkTableBytes(n) - 4;
    if (n == 0 || n >= kStoredChunkEntriesLimit) {
      ok = Skip(s, rest);
      continue;
    }
    ChunkTable* t = NewChunkTable(n);
    if (!s.Read(ChunkTableEntries(t), uint32_t(rest))) {
      FreeMem(t);
      ok = false;
      break;
    }
    kept.push_back(t);
  }
  if (!ok) {
    for (ChunkTable* t : kept) FreeMem(t);
    return false;
  }
  ChunkTableList* list = NewChunkTableList(0, uint32_t(kept.size()));
  if (!kept.empty()) std::memcpy(ChunkTableSlots(list), kept.data(), sizeof(ChunkTable*) * kept.size());
  out = list;
  return true;
}

bool MemoryScanStateStream::Write(const void* src, uint32_t bytes) {
  if (bytes > kScanStatePieceMax || bytes_.size() + bytes > limit_) return false;
  const auto* p = static_cast<const uint8_t*>(src);
  bytes_.insert(bytes_.end(), p, p + bytes);
  return true;
}

bool MemoryScanStateStream::Read(void* dst, uint32_t bytes) {
  if (bytes > kScanStatePieceMax || bytes_.size() - at_ < bytes) return false;
  if (bytes) std::memcpy(dst, bytes_.data() + at_, bytes);
  at_ += bytes;
  return true;
}
