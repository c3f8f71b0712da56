#include "scanbase/hitdetail.h"

#include <atomic>
#include <cstring>

#include "base/heap.h"
#include "base/log.h"
#include "core/filetypetable.h"
#include "scanbase/mfthitinfo.h"
#include "scanbase/videodetail.h"

namespace {

void ReleaseMoovInfo(void* detail) { FreeMoovInfo(static_cast<MoovInfo*>(detail)); }
void ReleaseChunkTableList(void* detail) { FreeChunkTableList(static_cast<ChunkTableList*>(detail)); }

// The video details and the MFT-record summary are known here: their parts live beside the hit
// store, and whoever makes or loads such hits may rely on them being freed whole.
std::atomic<HitDetailReleaser>* Releasers() {
  static auto* table = [] {
    auto* t = new std::atomic<HitDetailReleaser>[256]();
    t[kKindMp4Moov].store(&ReleaseMoovInfo);
    t[kKindMftRecord].store(&FreeMftHitInfo);
    for (uint8_t k = kKindVideoSampleChain; k <= kKindVideoSample001; ++k) t[k].store(&ReleaseChunkTableList);
    return t;
  }();
  return table;
}

constexpr uint8_t kLastFileType = 176;

}  // namespace

HitDetailOwnership HitDetailOwner(uint8_t kind, uint8_t endStatus) {
  if (kind <= kLastFileType) return HitDetailOwnership::kBlock;
  switch (kind) {
    case 201: case 202: case 207: case 208:
      return HitDetailOwnership::kBlock;
    case 203: case 204: case 205: case 206:
      return endStatus == 5 ? HitDetailOwnership::kBlock : HitDetailOwnership::kNone;
    case kKindMbr: case kKindEbr: case kKindNtfsBoot: case kKindFat16Boot: case kKindFat32Boot:
    case kKindExfatBoot: case kKindMftRecord: case kKindFat32Table: case kKindFatDirEntries:
    case kKindExfatDirEntries:
      return HitDetailOwnership::kBlock;
    case kKindIndexRecord:
      return HitDetailOwnership::kNumber;
    default:
      return HitDetailOwnership::kNone;
  }
}

void SetHitDetailReleaser(uint8_t kind, HitDetailReleaser releaser) { Releasers()[kind].store(releaser); }

void FreeSectorInfo(SectorHit& hit) {
  const uint8_t kind = hit.kind;
  void* detail = hit.detail;
  if (HitDetailOwner(kind, hit.endStatus) == HitDetailOwnership::kBlock) {
    if (detail != nullptr) {
      if (HitDetailReleaser releaser = Releasers()[kind].load()) releaser(detail);
      else FreeMem(detail);
    } else if (kind == kKindFatDirEntries) {
      // A directory-sector hit always carries its summary; a missing one means the hit was
      // damaged, so nothing is freed.
      WriteLog(u"FreeSectorInfo Pointer error");
      WriteLog(u"****************************************");
    }
  }
  std::memset(static_cast<void*>(&hit), 0, sizeof(hit));
}

void CancelHit(SectorHit& hit) {
  const uint64_t lba = hit.lba, size = hit.size;
  FreeSectorInfo(hit);
  hit.kind = kTypeNone;
  hit.lba = lba;
  hit.size = size;
}
