#include "deepscan/keepmetadatahit.h"

#include <atomic>
#include <cstring>

#include "base/heap.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/partitionwalk.h"
#include "parsefilesystem/parsefat/fatdirsummary.h"
#include "parsefilesystem/parsentfs/indxrecord.h"

namespace {

constexpr unsigned kTagSectorCopy = 217;
constexpr uint32_t kIndexHeaderOffset = 24;
constexpr uint32_t kIndexEntryMinBytes = 16;  // reference, length, key length, flags
constexpr uint32_t kGptEntryBytes = 128;
constexpr uint32_t kGptEntries = 16;

std::atomic<FoundMftRecordParser> g_mftParser{nullptr};
std::atomic<FatDirSectorSummarizer> g_fatDirSummarizer{&SummarizeFatDirSectorHit};

bool RereadFromDevice(const VolumeContext& target, uint64_t lba, uint8_t* record) {
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) return false;
  const bool ok = reader.ReadSectors(record, lba, kMftRecordBytes / kSectorBytes) != 0;
  reader.Close();
  return ok;
}
std::atomic<MftRecordRereader> g_reread{&RereadFromDevice};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

}  // namespace

void SetFoundMftRecordParser(FoundMftRecordParser parser) { g_mftParser.store(parser); }
void SetFatDirSectorSummarizer(FatDirSectorSummarizer summarizer) {
  g_fatDirSummarizer.store(summarizer ? summarizer : &SummarizeFatDirSectorHit);
}
void SetMftRecordRereader(MftRecordRereader reader) { g_reread.store(reader ? reader : &RereadFromDevice); }

bool FixupMftRecordCopy(uint8_t* record) {
  // The update sequence array of a 1024-byte record sits at 48: the sequence number, then the
  // saved last word of each of the two sectors.
  std::memcpy(record + 510, record + 50, 2);
  std::memcpy(record + 1022, record + 52, 2);
  return true;
}

bool FindIndexRecordParent(const uint8_t* record, const uint8_t* limit, uint32_t* parent) {
  if (limit <= record) return false;
  const uint64_t avail = uint64_t(limit - record);
  if (avail < kIndexHeaderOffset + 4) return false;
  uint64_t off = uint64_t(kIndexHeaderOffset) + Le32(record + kIndexHeaderOffset);
  // A record holds at most 4096 / 16 entries; the bound keeps a hostile chain finite.
  for (uint32_t step = 0; step < kIndxRecordBytes / kIndexEntryMinBytes; ++step) {
    if (off + kIndexEntryMinBytes > avail) return false;
    const uint8_t* e = record + off;
    const uint16_t length = Le16(e + 8);
    const uint16_t flags = Le16(e + 12);
    if (length == 0 || flags > 1) return false;
    // The name's header and the name itself must be readable before they are looked at.
    if (off + kIndexEntryHead <= avail) {
      const uint8_t nameChars = e[80];
      const uint8_t nameSpace = e[81];
      if (nameChars >= 1 && nameSpace <= 3 && off + kIndexEntryHead + uint64_t(nameChars) * 2 <= avail &&
          uint64_t(kIndexEntryHead) + uint64_t(nameChars) * 2 <= length) {
        *parent = uint32_t(Le64(e + 16));
        return true;
      }
    }
    off += length;
  }
  return false;
}

int KeepMetadataHit(const VolumeContext& target, std::vector<SectorHit>& hits, uint32_t i, const uint8_t* sector,
                    const uint8_t* blockEnd, uint64_t lba, uint32_t k) {
  SectorHit hit{};
  hit.kind = uint8_t(k);
  hit.endStatus = 0;
  hit.lba = lba;
  hit.size = 0;
  hit.detail = nullptr;
  switch (k) {
    case kSectorMbr:
    case kSectorPartTable:
    case kSectorNtfsBoot:
    case kSectorFat16Boot:
    case kSectorFat32Boot:
    case kSectorExfatBoot: {
      void* copy = AllocMem(kSectorBytes, kTagSectorCopy);
      if (copy == nullptr) return 1;
      CopyToMem(copy, sector, kSectorBytes, kTagSectorCopy);
      hit.detail = copy;
      break;
    }
    case kSectorMftRecord: {
      // Always a copy: the block is carved after this, and the fix-up must not change it.
      uint8_t record[kMftRecordBytes];
      if (i == kScanBlockSectors - 1 || sector + kMftRecordBytes > blockEnd) {
        if (!g_reread.load()(target, lba, record)) return 1;
      } else {
        std::memcpy(record, sector, kMftRecordBytes);
      }
      FixupMftRecordCopy(record);
      if (FoundMftRecordParser parse = g_mftParser.load()) {
        void* detail = nullptr;
        if (!parse(record, lba, &detail)) return 1;
        hit.detail = detail;
      }
      break;
    }
    case kSectorIndexRecord: {
      // The whole record in the block: the walk and the parse read a repaired copy. A record
      // that runs past the block keeps its hit from what the block holds, but is not parsed.
      const uint8_t* limit = sector + kIndxRecordBytes <= blockEnd ? sector + kIndxRecordBytes : blockEnd;
      static thread_local uint8_t repaired[kIndxRecordBytes];
      const bool whole = limit == sector + kIndxRecordBytes && RepairIndxRecord(sector, repaired);
      uint32_t parent = 0;
      if (!FindIndexRecordParent(whole ? repaired : sector, whole ? repaired + kIndxRecordBytes : limit, &parent))
        return 1;
      hit.detail = reinterpret_cast<void*>(uintptr_t(parent));
      if (whole) ParseIndxRecord(repaired);
      break;
    }
    case kSectorFatDirRun: {
      if (FatDirSectorSummarizer summarize = g_fatDirSummarizer.load()) {
        void* detail = nullptr;
        if (!summarize(sector, lba, &detail)) return 1;
        hit.detail = detail;
      }
      break;
    }
    case kSectorGptHeader:
      QueueGptPartitionStarts(target);
      break;
    default:
      break;
  }
  hits.push_back(hit);
  return 1;
}

void QueueGptPartitionStarts(const VolumeContext& target) {
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) return;
  uint8_t table[4 * kSectorBytes] = {};
  uint32_t sectors = 4;
  if (reader.lastLba >= 0 && reader.lastLba < 5) sectors = reader.lastLba >= 2 ? uint32_t(reader.lastLba - 1) : 0;
  const bool ok = sectors != 0 && reader.ReadSectors(table, 2, sectors) != 0;
  reader.Close();
  if (!ok) return;
  for (uint32_t e = 0; e < kGptEntries && (e + 1) * kGptEntryBytes <= sectors * kSectorBytes; ++e) {
    const uint64_t first = Le64(table + e * kGptEntryBytes + 32);
    if (first != 0) QueuePriorityBlock(first);
  }
}
