#include "deepscan/filestartindex.h"

#include <cstring>
#include <vector>

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/diskreader.h"
#include "core/recordtable.h"

namespace {

constexpr uint32_t kFirstRecordId = 5;
constexpr uint32_t kFirstCapacity = 8;

struct StartIndex {
  FileStartEntry* entries = nullptr;
  uint64_t count = 0;
};

StartIndex& Index() {
  static auto& i = *new StartIndex;
  return i;
}

std::vector<uint64_t>& Registry() {
  static auto& r = *new std::vector<uint64_t>;
  return r;
}

}  // namespace

void AllocFileStartIndex(uint64_t blocks) {
  FreeFileStartIndex();
  StartIndex& i = Index();
  uint64_t bytes = 0;
  if (blocks == 0 || __builtin_mul_overflow(blocks, sizeof(FileStartEntry), &bytes)) return;
  i.entries = static_cast<FileStartEntry*>(AllocMem(bytes, 52));
  i.count = blocks;
}

void FreeFileStartIndex() {
  StartIndex& i = Index();
  for (uint64_t b = 0; b < i.count; ++b)
    if (i.entries[b].lbas != nullptr) FreeMem(i.entries[b].lbas);
  if (i.entries != nullptr) FreeMem(i.entries);
  i = StartIndex{};
}

uint64_t FileStartIndexSize() { return Index().count; }

const FileStartEntry* FileStartIndexEntry(uint64_t block) {
  const StartIndex& i = Index();
  return block < i.count ? &i.entries[block] : nullptr;
}

bool AddFileStartLba(uint64_t lba) {
  StartIndex& i = Index();
  const uint64_t block = lba / kScanBlockSectors;
  if (block >= i.count) return false;
  FileStartEntry& e = i.entries[block];
  if (e.count >= e.capacity) {
    const uint64_t grown = e.capacity == 0 ? kFirstCapacity : uint64_t(e.capacity) * 15 / 10;
    // One block holds 16384 sectors, so more starts than that cannot be distinct.
    if (grown > 0x10000000) return false;
    auto* lbas = static_cast<uint64_t*>(AllocMem(grown * sizeof(uint64_t), 52));
    if (e.lbas != nullptr) {
      std::memcpy(lbas, e.lbas, size_t(e.count) * sizeof(uint64_t));
      FreeMem(e.lbas);
    }
    e.lbas = lbas;
    e.capacity = uint32_t(grown);
  }
  e.lbas[e.count++] = lba;
  return true;
}

bool IsKnownFileStart(uint64_t lba) {
  const FileStartEntry* e = FileStartIndexEntry(lba / kScanBlockSectors);
  if (e == nullptr) return false;
  for (uint32_t k = 0; k < e->count; ++k)
    if (e->lbas[k] == lba) return true;
  return false;
}

bool RecordDataStartLba(VolumeContext& partition, uint32_t id, uint64_t& lba) {
  const FileRecord* rec = GetFileRecord(partition, id);
  if (rec == nullptr) return false;
  const uint16_t flags = rec->flags;
  // Resident data has no start of its own, and an attribute list on the disk would cost a
  // read per record on the consumer thread; neither can match a carved file's start.
  if (flags & (kRecResident | kRecAttrListOnDisk | kRecDirectory)) return false;
  DataExtentList runs;
  if (GetRecordExtents(partition, id, runs) != 1 || runs.empty()) return false;
  lba = runs.front().startLba;
  return lba != 0;
}

void BuildFileStartIndex(VolumeContext& partition) {
  for (uint32_t id = kFirstRecordId; id < partition.idLimit; ++id) {
    uint64_t lba = 0;
    if (RecordDataStartLba(partition, id, lba)) AddFileStartLba(lba);
  }
}

bool RegisterUniqueLba(uint64_t value) {
  std::vector<uint64_t>& r = Registry();
  for (uint64_t v : r)
    if (v == value) return true;
  r.push_back(value);
  return false;
}

void ForgetUniqueLba(uint64_t value) {
  std::vector<uint64_t>& r = Registry();
  std::erase(r, value);
}

void ClearUniqueLbaRegistry() {
  std::vector<uint64_t>().swap(Registry());
}
