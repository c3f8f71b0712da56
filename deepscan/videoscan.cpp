#include "deepscan/videoscan.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/fileend.h"
#include "deepscan/fileendrules.h"
#include "deepscan/movrebuild.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/qtbox.h"
#include "deepscan/samplechain.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scansaveoffer.h"
#include "deepscan/scanthread.h"
#include "deepscan/videohits.h"
#include "platform/wndcore.h"
#include "scanbase/carvecandidate.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "scanbase/videodetail.h"

namespace {

constexpr unsigned kMdatInfoTag = 4112;

std::atomic<VideoRebuild> g_rebuild{nullptr};

struct SampleSwitches {
  bool chains;  // "VideoSampleSize": kind 203
  bool ones;    // "VideoSample01": kind 206
  bool twos;    // "VideoSample02": kind 205
  bool lengths; // "VideoSample20": kind 204
};

SampleSwitches TakeSwitches() {
  return {VideoFragOptions.VideoSampleSize != 0, VideoFragOptions.VideoSample01 != 0,
          VideoFragOptions.VideoSample02 != 0, VideoFragOptions.VideoSample20 != 0};
}

// The photo types the video mode still carves: JPEG (46) and TIFF-like raw files (51).
uint32_t PhotoTypeAt(const uint8_t* s) {
  if (s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF) {
    switch (s[3]) {
      case 0xDB: case 0xE0: case 0xE1: case 0xEB: case 0xEE: case 0xFE: case 0xC4: case 0xE9: return 46;
      default: return 0;
    }
  }
  if (std::memcmp(s, "II*\0", 4) == 0 || std::memcmp(s, "MM\0*", 4) == 0 || std::memcmp(s, "IIRO", 4) == 0 ||
      std::memcmp(s, "IIU\0", 4) == 0)
    return 51;
  return 0;
}

void AddFilesFound(ScanProgress& rec, uint32_t n) {
  uint32_t c = rec.scan.filesFound;
  rec.scan.filesFound = c + n;
}

void AddSectorsDone(ScanProgress& rec, uint64_t n) {
  uint64_t c = rec.scan.sectorsDone;
  rec.scan.sectorsDone = c + n;
}

void CarvePhotoAt(uint64_t base, const uint8_t* block, uint32_t sector, uint32_t type, std::vector<SectorHit>& hits) {
  CarveCandidate c{};
  c.typeId = int32_t(type);
  c.startLba = base + sector;
  int32_t status = DetectFileEnd(c, base, block, kScanBlockDataBytes);
  bool pending = false;
  if (status == kEndNeedsMore) {
    pending = AddPendingCandidate(c);
    // A range that cannot be kept is sized open-ended later rather than lost.
    if (!pending) status = c.status = kEndNotDetected;
  }
  // A candidate still waiting keeps its details until it is resolved.
  hits.push_back({uint8_t(c.typeId), uint8_t(status), c.startLba, c.size, pending ? nullptr : c.details});
}

// Appends one offset to a pattern list while it is below the cap; the first offset over it is
// logged.
void KeepPatternOffset(std::vector<uint32_t>& list, uint32_t offset, uint64_t base, uint8_t kind) {
  if (list.size() < kSampleOffsetsPerBlock) {
    list.push_back(offset);
  } else if (list.size() == kSampleOffsetsPerBlock) {
    WriteLogFmt(u"Video sample offsets: block 0x%I64x kind %u keeps its first %u offsets", base, unsigned(kind),
                unsigned(kSampleOffsetsPerBlock));
    list.push_back(offset);  // one past the cap marks the log as written; dropped below
  }
}

void FindSamplePatterns(const uint8_t* block, uint64_t base, const SampleSwitches& sw, std::vector<uint32_t> (&lists)[3]) {
  for (uint32_t off = 0; off < kVideoScanOffsets; ++off) {
    const uint8_t* p = block + off;
    if (p[0] != 0 || p[1] != 0) continue;  // every pattern starts with two zero bytes
    const uint32_t v = FeBe32(p);
    if (sw.lengths && off % 4 == 0 && (v == 32 || v == 36 || v == 40))
      KeepPatternOffset(lists[0], off, base, kKindVideoSampleLen);
    if (sw.twos && v == 2) KeepPatternOffset(lists[1], off, base, kKindVideoSample02);
    if (sw.ones && p[2] == 1) KeepPatternOffset(lists[2], off, base, kKindVideoSample001);
  }
  for (auto& list : lists)
    if (list.size() > kSampleOffsetsPerBlock) list.resize(kSampleOffsetsPerBlock);
}

// The block's own chain candidate: it wants the 32 MiB from the block's start and is decided
// once they have all been read.
SectorHit OpenChainCandidate(uint64_t base) {
  CarveCandidate c{};
  c.typeId = kKindVideoSampleChain;
  c.status = kEndNeedsMore;
  c.startLba = base;
  c.wanted = kChainWindowBytes;
  c.firstNeededLba = base;
  c.endNeededLba = base + (kChainWindowBytes >> 9);
  AddPendingCandidate(c);
  return {kKindVideoSampleChain, kHitNotValid, base, 0, nullptr};
}

}  // namespace

void SetVideoRebuild(VideoRebuild rebuild) { g_rebuild.store(rebuild); }

void InstallVideoScanConsumer() {
  SetVideoRebuild(&RebuildMovFiles);
  SetScanConsumer(ScanConsumerKind::kVideoFragments, &VideoFragmentScanHandThread);
  SetPendingWindowHooks(&BeginPendingWindow, &EndPendingWindow);
}

void MatchQtAtomAt(uint64_t base, const uint8_t* block, uint32_t offset, std::vector<SectorHit>& hits,
                   ScanProgress& progress) {
  const uint8_t* p = block + offset;
  const uint32_t size = FeBe32(p);
  if (size == 0) return;
  const uint32_t type = FeBe32(p + 4);
  const uint64_t lba = base + offset / kSectorBytes;
  if (type == kQtFtyp) {
    if (offset % kSectorBytes != 0 || size > kMaxFtypBox) return;
    hits.push_back({kKindMp4Ftyp, 0, lba, size, nullptr});
    AddFilesFound(progress, 1);
  } else if (type == kQtMoov) {
    if (size >= kMoovBoxLimit) return;
    CarveCandidate c{};
    c.typeId = kKindMp4Moov;
    c.startLba = lba;
    c.currentOffset = offset % kSectorBytes;
    int32_t status = DetectFileEnd(c, base, block, kScanBlockDataBytes);
    bool pending = false;
    if (status == kEndNeedsMore) {
      pending = AddPendingCandidate(c);
      if (!pending) status = c.status = kEndNotValid;
    }
    hits.push_back({kKindMp4Moov, uint8_t(status), lba, 0, pending ? nullptr : c.details});
  } else if (type == kQtMdat) {
    auto* info = static_cast<MdatInfo*>(AllocMem(sizeof(MdatInfo), kMdatInfoTag));
    info->position = base * kSectorBytes + offset;
    info->size = size == 1 ? uint64_t(FeBe32(p + 8)) << 32 | FeBe32(p + 12) : size;
    hits.push_back({kKindMp4Mdat, kHitEndFound, lba, 0, info});
  }
}

void AddSampleCandidateHits(uint64_t base, std::vector<SectorHit>& hits, const std::vector<uint32_t> (&lists)[3]) {
  static constexpr uint8_t kKinds[3] = {kKindVideoSampleLen, kKindVideoSample02, kKindVideoSample001};
  for (int i = 0; i < 3; ++i) {
    ChunkTable* t = MakeBlockOffsetTable(lists[i]);
    if (!t) continue;
    ChunkTableList* list = nullptr;
    AppendChunkTable(list, t);
    hits.push_back({kKinds[i], kHitEndFound, base, 0, list});
  }
}

int ScanVideoBlock(const uint8_t* block, ScanProgress& progress) {
  const uint64_t base = ScanBlockLba(block);
  const SampleSwitches sw = TakeSwitches();
  std::vector<SectorHit> hits;
  for (uint32_t sector = 0; sector < kScanBlockSectors; ++sector) {
    const uint32_t first = sector * kSectorBytes;
    if (const uint32_t type = PhotoTypeAt(block + first)) CarvePhotoAt(base, block, sector, type, hits);
    const uint32_t stop = std::min(first + kSectorBytes, kVideoScanOffsets);
    for (uint32_t off = first; off < stop; ++off) {
      uint32_t type;
      std::memcpy(&type, block + off + 4, 4);
      // The three box types, compared as they lie in memory; the rest of the test only for them.
      if (type == __builtin_bswap32(kQtFtyp) || type == __builtin_bswap32(kQtMoov) || type == __builtin_bswap32(kQtMdat))
        MatchQtAtomAt(base, block, off, hits, progress);
    }
  }

  // The hits that speak for the whole block (LBA = the block's first) go first, so the block's
  // list stays in LBA order.
  std::vector<SectorHit> whole;
  if (sw.chains) whole.push_back(OpenChainCandidate(base));
  std::vector<uint32_t> lists[3];
  if (sw.lengths || sw.twos || sw.ones) FindSamplePatterns(block, base, sw, lists);
  AddSampleCandidateHits(base, whole, lists);
  hits.insert(hits.begin(), whole.begin(), whole.end());

  // Pending candidates, among them moov parses and chain searches of earlier blocks, are tried
  // again on the window of recent blocks.
  AdvancePendingWindow(block, base);
  StoreBlockHits(base, hits);
  SetBlockState(base / kScanBlockSectors, kBlockHandled);
  AddSectorsDone(progress, kScanBlockSectors);
  PostScanProgress(progress);
  if (ScanOptionOn(DeepScanSettingsRecord().showWhileScanning)) ShowVideoModeHits(hits);
  return 1;
}

UINT VideoFragmentScanHandThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"VideoFragmentScanHandThread");
  const VolumeContext target = ScanTarget();
  ScanProgress progress = MakeScanProgress(kProgressSectorScan);
  InitConsumerProgress(target, progress);
  PostScanProgress(progress);

  // A block whose read failed holds zeros: it is left unhandled, so a saved scan reads it
  // again, as the carving consumer leaves it.
  const bool inputEnded = ConsumeScanBlocks(state, [&](const uint8_t* block) {
    if (ScanBlockReadResult(block) != 0) ScanVideoBlock(block, progress);
  });
  // Photos and sample chains that run up to the end of the target are decided with what was
  // read.
  if (inputEnded) ResolvePendingAtInputEnd(TargetEndLba(target));

  AskSaveScanData();
  EndDeepScan();

  uint32_t done = kScanInputDone;
  if (state->compare_exchange_strong(done, kScanRunning)) {
    HWND main = AppVolumeList().mainWindow;
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHING, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(GetScanFinishingPauseMs()));
    std::vector<VolumeContext> volumes;
    bool publish = false;
    if (VideoRebuild rebuild = g_rebuild.load()) publish = rebuild(state, volumes);
    if (publish) PublishScanResults(AppVolumeList(), state, volumes);
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHED, 0, 0);
    uint32_t running = kScanRunning;
    state->compare_exchange_strong(running, kScanInputDone);
  }
  OnThreadEnd(u"VideoFragmentScanHandThread");
  return 0;
}
